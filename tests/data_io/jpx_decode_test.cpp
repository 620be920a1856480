// JPXDecode against images of known samples, encoded losslessly here with
// OpenJPEG's encoder: every depth, JP2 and bare codestreams, subsampled YCC,
// alpha, banded decoding, reduction, and hostile data.
#include <gtest/gtest.h>

#include <openjpeg.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "data_io/image_codec_test_support.h"
#include "runtime/app_context.h"

namespace vn::test {
namespace {

struct Component {
  uint32_t precision = 8;
  bool isSigned = false;
  uint32_t dx = 1, dy = 1;
};

// The sample of component `c` at (x, y): a pattern that uses the whole range.
int32_t Sample(uint32_t c, uint32_t x, uint32_t y, const Component& comp) {
  uint32_t top = (1u << comp.precision) - 1;
  int32_t v = static_cast<int32_t>((x * 7 + y * 13 + c * 101 + x * y) % (top + 1));
  return comp.isSigned ? v - static_cast<int32_t>(1u << (comp.precision - 1)) : v;
}

// The encoder's output; JP2 files seek back to write box lengths.
struct Sink {
  std::vector<uint8_t> bytes;
  size_t position = 0;
  static OPJ_SIZE_T Write(void* buffer, OPJ_SIZE_T count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    if (sink->bytes.size() < sink->position + count) sink->bytes.resize(sink->position + count);
    std::memcpy(sink->bytes.data() + sink->position, buffer, count);
    sink->position += count;
    return count;
  }
  static OPJ_OFF_T Skip(OPJ_OFF_T count, void* user) {
    static_cast<Sink*>(user)->position += static_cast<size_t>(count);
    return count;
  }
  static OPJ_BOOL Seek(OPJ_OFF_T offset, void* user) {
    static_cast<Sink*>(user)->position = static_cast<size_t>(offset);
    return OPJ_TRUE;
  }
};

// A lossless encoding of the pattern.
std::vector<uint8_t> Encode(uint32_t width, uint32_t height, const std::vector<Component>& comps, bool jp2,
                            OPJ_COLOR_SPACE space, bool lastIsAlpha = false, int resolutions = 4) {
  std::vector<opj_image_cmptparm_t> parms(comps.size());
  for (size_t c = 0; c < comps.size(); ++c) {
    std::memset(&parms[c], 0, sizeof(parms[c]));
    parms[c].dx = comps[c].dx;
    parms[c].dy = comps[c].dy;
    parms[c].w = (width + comps[c].dx - 1) / comps[c].dx;
    parms[c].h = (height + comps[c].dy - 1) / comps[c].dy;
    parms[c].prec = comps[c].precision;
    parms[c].sgnd = comps[c].isSigned;
  }
  opj_image_t* image = opj_image_create(static_cast<OPJ_UINT32>(comps.size()), parms.data(), space);
  image->x1 = width;
  image->y1 = height;
  for (size_t c = 0; c < comps.size(); ++c) {
    for (uint32_t y = 0; y < parms[c].h; ++y)
      for (uint32_t x = 0; x < parms[c].w; ++x)
        image->comps[c].data[y * parms[c].w + x] = Sample(static_cast<uint32_t>(c), x, y, comps[c]);
  }
  if (lastIsAlpha) image->comps[comps.size() - 1].alpha = 1;
  opj_cparameters_t parameters;
  opj_set_default_encoder_parameters(&parameters);
  // No more levels than the smaller side allows.
  while (resolutions > 1 && (std::min(width, height) >> (resolutions - 1)) == 0) --resolutions;
  parameters.numresolution = resolutions;
  parameters.tcp_mct = 0;
  opj_codec_t* codec = opj_create_compress(jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
  opj_setup_encoder(codec, &parameters, image);
  Sink sink;
  opj_stream_t* stream = opj_stream_create(65536, OPJ_FALSE);
  opj_stream_set_write_function(stream, &Sink::Write);
  opj_stream_set_skip_function(stream, &Sink::Skip);
  opj_stream_set_seek_function(stream, &Sink::Seek);
  opj_stream_set_user_data(stream, &sink, nullptr);
  bool ok = opj_start_compress(codec, image, stream) && opj_encode(codec, stream) && opj_end_compress(codec, stream);
  opj_stream_destroy(stream);
  opj_destroy_codec(codec);
  opj_image_destroy(image);
  EXPECT_TRUE(ok);
  return sink.bytes;
}

data_io::FilterParams Params(int32_t reduce = 0, bool alphaOnly = false) {
  data_io::FilterParams params;
  params.jpxReduce.Set(reduce);
  params.jpxAlphaOnly.Set(alphaOnly);
  return params;
}

DecodedImage Decode(AppContext& context, const std::vector<uint8_t>& data, const data_io::FilterParams& params = Params()) {
  return DecodeThrough(context, data, {"JPXDecode"}, params);
}

// The expected output sample of component `c` at (x, y) scaled to `depth`.
uint32_t Expected(uint32_t c, uint32_t x, uint32_t y, const Component& comp, uint32_t depth) {
  uint32_t v = static_cast<uint32_t>(Sample(c, x / comp.dx, y / comp.dy, comp) +
                                     (comp.isSigned ? 1 << (comp.precision - 1) : 0));
  uint32_t top = (1u << comp.precision) - 1, outTop = (1u << depth) - 1;
  return comp.precision == depth ? v : (v * outTop + top / 2) / top;
}

void ExpectPattern(const DecodedImage& image, uint32_t width, uint32_t height, const std::vector<Component>& comps,
                   uint32_t depth) {
  ASSERT_EQ(image.code, -1);
  ASSERT_EQ(image.layout.width, width);
  ASSERT_EQ(image.rows.size(), height);
  ASSERT_EQ(image.layout.bitsPerComponent, depth);
  int wrong = 0;
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      for (uint32_t c = 0; c < comps.size(); ++c) {
        size_t at = (static_cast<size_t>(x) * comps.size() + c) * (depth / 8);
        uint32_t got = depth == 8 ? image.rows[y][at] : (image.rows[y][at] << 8 | image.rows[y][at + 1]);
        if (got != Expected(c, x, y, comps[c], depth) && ++wrong < 5)
          ADD_FAILURE() << "x " << x << " y " << y << " c " << c << ": " << got;
      }
    }
  }
  EXPECT_EQ(wrong, 0);
}

TEST(JpxDecode, EveryDepthScaledToEightOrSixteenBits) {
  AppContext context;
  for (uint32_t precision : {1u, 4u, 8u, 12u, 16u}) {
    SCOPED_TRACE(precision);
    std::vector<Component> comps(1);
    comps[0].precision = precision;
    DecodedImage image = Decode(context, Encode(37, 23, comps, false, OPJ_CLRSPC_GRAY));
    ExpectPattern(image, 37, 23, comps, precision > 8 ? 16 : 8);
    EXPECT_EQ(image.layout.components, 1u);
  }
  // Signed samples are centred on half the range.
  std::vector<Component> comps(1);
  comps[0].isSigned = true;
  ExpectPattern(Decode(context, Encode(20, 9, comps, false, OPJ_CLRSPC_GRAY)), 20, 9, comps, 8);
  EXPECT_EQ(context.Budget().BytesInUse(), 0u);
}

TEST(JpxDecode, Jp2FilesNameTheirColourSpace) {
  AppContext context;
  std::vector<Component> rgb(3);
  DecodedImage image = Decode(context, Encode(31, 17, rgb, true, OPJ_CLRSPC_SRGB));
  ExpectPattern(image, 31, 17, rgb, 8);
  EXPECT_EQ(image.layout.colorSpace, data_io::DecodedColorSpace::kRGB);
  std::vector<Component> gray(1);
  EXPECT_EQ(Decode(context, Encode(5, 5, gray, true, OPJ_CLRSPC_GRAY)).layout.colorSpace,
            data_io::DecodedColorSpace::kGray);
  std::vector<Component> cmyk(4);
  image = Decode(context, Encode(9, 4, cmyk, true, OPJ_CLRSPC_CMYK));
  ExpectPattern(image, 9, 4, cmyk, 8);  // (OpenJPEG's encoder names no CMYK space)
  // A bare codestream names none.
  EXPECT_EQ(Decode(context, Encode(9, 4, rgb, false, OPJ_CLRSPC_SRGB)).layout.colorSpace,
            data_io::DecodedColorSpace::kUnspecified);
}

TEST(JpxDecode, AlphaIsLeftOutOrGivenAlone) {
  AppContext context;
  std::vector<Component> rgba(4);
  const std::vector<uint8_t> data = Encode(12, 6, rgba, true, OPJ_CLRSPC_SRGB, true);
  DecodedImage colour = Decode(context, data);
  EXPECT_TRUE(colour.layout.hasAlpha);
  ExpectPattern(colour, 12, 6, std::vector<Component>(3), 8);
  DecodedImage alpha = Decode(context, data, Params(0, true));
  ASSERT_EQ(alpha.code, -1);
  ASSERT_EQ(alpha.layout.components, 1u);
  for (uint32_t y = 0; y < 6; ++y)
    for (uint32_t x = 0; x < 12; ++x) EXPECT_EQ(alpha.rows[y][x], Expected(3, x, y, Component(), 8));
  // No alpha to give: bad data.
  EXPECT_EQ(Decode(context, Encode(4, 4, std::vector<Component>(3), true, OPJ_CLRSPC_SRGB), Params(0, true)).code,
            kBadData);
}

// Subsampled chroma in a bare codestream is YCbCr: widened to the grid and
// converted to RGB (checked against the conversion computed here).
TEST(JpxDecode, SubsampledYccBecomesRgb) {
  AppContext context;
  std::vector<Component> ycc(3);
  ycc[1].dx = ycc[1].dy = ycc[2].dx = ycc[2].dy = 2;
  DecodedImage image = Decode(context, Encode(16, 10, ycc, false, OPJ_CLRSPC_UNSPECIFIED));
  ASSERT_EQ(image.code, -1);
  EXPECT_EQ(image.layout.colorSpace, data_io::DecodedColorSpace::kRGB);
  ASSERT_EQ(image.rows.size(), 10u);
  for (uint32_t y = 0; y < 10; ++y) {
    for (uint32_t x = 0; x < 16; ++x) {
      double luma = Sample(0, x, y, ycc[0]), cb = Sample(1, x / 2, y / 2, ycc[1]) - 128.0,
             cr = Sample(2, x / 2, y / 2, ycc[2]) - 128.0;
      double rgb[3] = {luma + 1.402 * cr, luma - 0.344136 * cb - 0.714136 * cr, luma + 1.772 * cb};
      for (int c = 0; c < 3; ++c) {
        double want = rgb[c] < 0 ? 0 : rgb[c] > 255 ? 255 : rgb[c];
        EXPECT_NEAR(image.rows[y][x * 3 + c], want, 1.0) << x << "," << y << " " << c;
      }
    }
  }
}

// A tall image decodes in bands of rows: the same samples, a fraction of
// the memory of a whole decode.
TEST(JpxDecode, TallImagesDecodeInBandsWithinTheBudget) {
  AppContext context;
  std::vector<Component> rgb(3);
  const uint32_t width = 300, height = 2000;  // bands take up to half the budget
  const std::vector<uint8_t> data = Encode(width, height, rgb, false, OPJ_CLRSPC_SRGB);
  context.Budget().ResetPeak();
  ExpectPattern(Decode(context, data), width, height, rgb, 8);
  EXPECT_LT(context.Budget().PeakBytes(), uint64_t{width} * height * 3 * 4);  // a whole decode's samples alone
  EXPECT_EQ(context.Budget().BytesInUse(), 0u);
  // Rewound, it decodes again from the first band.
  Owned<data_io::DataBlockStream> stream(context, NewMemoryStream(context, data));
  const char* name = "JPXDecode";
  stream.Set(data_io::BuildFilter(context, reinterpret_cast<const uint8_t*>(name), 9, false, Params(), stream.Release()));
  data_io::DataBlockRef block(context);
  for (int i = 0; i < 300; ++i) stream->GetNextBlock(block);
  stream->Rewind();
  stream->GetNextBlock(block);
  ASSERT_EQ(block.Length(), width * 3);
  EXPECT_EQ(block.Data()[4], Expected(1, 1, 0, Component(), 8));
}

TEST(JpxDecode, ReductionHalvesTheSize) {
  AppContext context;
  std::vector<Component> gray(1);
  const std::vector<uint8_t> data = Encode(64, 40, gray, false, OPJ_CLRSPC_GRAY, false, 3);
  DecodedImage half = Decode(context, data, Params(1));
  ASSERT_EQ(half.code, -1);
  EXPECT_EQ(half.layout.width, 32u);
  EXPECT_EQ(half.rows.size(), 20u);
  // More levels than the data has: as far as it goes (two).
  DecodedImage most = Decode(context, data, Params(9));
  EXPECT_EQ(most.layout.width, 16u);
  EXPECT_EQ(most.rows.size(), 10u);
}

void Put32(std::vector<uint8_t>& data, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) data[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

TEST(JpxDecode, HostileDataEndsInCleanErrors) {
  AppContext context;
  std::vector<Component> rgb(3);
  const std::vector<uint8_t> data = Encode(64, 64, rgb, false, OPJ_CLRSPC_SRGB);
  // Cut short anywhere: code 2 (never a partial picture).
  for (size_t size : {size_t{0}, size_t{2}, size_t{30}, data.size() / 2, data.size() - 3}) {
    std::vector<uint8_t> cut(data.begin(), data.begin() + static_cast<long>(size));
    EXPECT_EQ(Decode(context, cut).code, kBadData) << size;
  }
  // Not JPEG 2000.
  EXPECT_EQ(Decode(context, std::vector<uint8_t>(100, 0x41)).code, kBadData);
  // A header declaring 60000 x 60000 in one tile: refused before decoding.
  std::vector<uint8_t> huge = data;
  Put32(huge, 8, 60000);    // Xsiz
  Put32(huge, 12, 60000);   // Ysiz
  Put32(huge, 24, 60000);   // XTsiz
  Put32(huge, 28, 60000);   // YTsiz
  EXPECT_EQ(Decode(context, huge).code, kLimitExceeded);
  // A header that lies about the size, within the limits: an error or a picture.
  std::vector<uint8_t> lying = data;
  Put32(lying, 8, 100);
  Put32(lying, 12, 100);
  Put32(lying, 24, 100);
  Put32(lying, 28, 100);
  int32_t lyingCode = Decode(context, lying).code;
  EXPECT_TRUE(lyingCode == -1 || lyingCode == kBadData) << lyingCode;
  // Bytes flipped inside the coded data: an error or a picture, never a crash.
  for (size_t at = 60; at < data.size(); at += 37) {
    std::vector<uint8_t> damaged = data;
    damaged[at] ^= 0x5A;
    int32_t code = Decode(context, damaged).code;
    EXPECT_TRUE(code == -1 || code == kBadData) << at << " " << code;
  }
  EXPECT_EQ(context.Budget().BytesInUse(), 0u);
}

TEST(JpxDecode, RefusedWhenTheBudgetCannotHoldABand) {
  std::vector<Component> rgb(3);
  const std::vector<uint8_t> data = Encode(64, 64, rgb, false, OPJ_CLRSPC_SRGB);
  AppContext tight(TinyLimits(200000, 200000));
  EXPECT_EQ(Decode(tight, data).code, kLimitExceeded);
  EXPECT_EQ(tight.Budget().BytesInUse(), 0u);
}

}  // namespace
}  // namespace vn::test
