#include <gtest/gtest.h>

#include <cstring>

#include "data_io/ccitt_stream.h"
#include "data_io/ccitt_test_support.h"
#include "data_io/filter_factory.h"
#include "support/test_context.h"

namespace vn::test {
namespace {

using data_io::CCITTDataBlockStream;
using data_io::FilterParams;

FilterParams Params(int k, int columns, int rows = 0) {
  FilterParams p;
  p.k.Set(k);
  p.faxColumns.Set(columns);
  p.rows.Set(rows);
  return p;
}

std::vector<uint8_t> DecodeBytes(AppContext& context, const std::vector<uint8_t>& data,
                                 const FilterParams& params, uint32_t chunk = 4096) {
  Owned<CCITTDataBlockStream> stream(context, MakeCcitt(context, data, params, chunk));
  return DrainBlocks(context, *stream);
}

std::vector<uint8_t> Bits(const char* text) {
  BitWriter w;
  for (; *text != 0; ++text)
    if (*text == '0' || *text == '1') w.PutBit(*text == '1');
  return w.Bytes();
}

TEST(CcittDecode, HandCodedRows) {
  AppContext context;
  // 1-D: white 3 (1000), black 2 (11), white 3 (1000).
  EXPECT_EQ(DecodeBytes(context, Bits("1000 11 1000"), Params(0, 8)),
            std::vector<uint8_t>({0xE7}));
  FilterParams inverted = Params(0, 8);
  inverted.blackIs1.Set(true);
  EXPECT_EQ(DecodeBytes(context, Bits("1000 11 1000"), inverted), std::vector<uint8_t>({0x18}));
  // A row that starts black: white 0 (00110101), black 8 (000101).
  EXPECT_EQ(DecodeBytes(context, Bits("00110101 000101"), Params(0, 8)),
            std::vector<uint8_t>({0x00}));
  // 2-D: row 1 horizontal (001) white 2 (0111) black 3 (10), then V0 for the
  // end; row 2 V0 V0 V0 copies it; then EOFB.
  EXPECT_EQ(DecodeBytes(context,
                        Bits("001 0111 10 1   1 1 1   000000000001 000000000001"),
                        Params(-1, 8)),
            std::vector<uint8_t>({0xC7, 0xC7}));
  // Row 2 as VR1 (011) VL1 (010) V0: black from 3 to 4.
  EXPECT_EQ(DecodeBytes(context, Bits("001 0111 10 1   011 010 1"), Params(-1, 8)),
            std::vector<uint8_t>({0xC7, 0xEF}));
  // Pass mode (0001): row 2 passes the black run, then V0 at the end.
  EXPECT_EQ(DecodeBytes(context, Bits("001 0111 10 1   0001 1"), Params(-1, 8)),
            std::vector<uint8_t>({0xC7, 0xFF}));
}

struct RoundTripCase {
  int k;
  bool endOfLine;
  bool byteAlign;
  bool blackIs1;
  bool endMarker;
  int columns;
  int meanRun;
  double uncompressed;
};

class CcittRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(CcittRoundTrip, RandomImagesDecodeExactly) {
  const RoundTripCase& c = GetParam();
  AppContext context;
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    Image image = RandomImage(seed, c.columns, 23, c.meanRun);
    EncodeOptions o;
    o.k = c.k;
    o.endOfLine = c.endOfLine;
    o.byteAlign = c.byteAlign;
    o.endMarker = c.endMarker;
    o.uncompressedChance = c.uncompressed;
    o.seed = seed;
    std::vector<uint8_t> data = Encode(image, o);
    FilterParams p = Params(c.k, c.columns);
    p.endOfLine.Set(c.endOfLine);
    p.encodedByteAlign.Set(c.byteAlign);
    p.blackIs1.Set(c.blackIs1);
    std::vector<uint8_t> expected = Pack(image, c.blackIs1);
    EXPECT_EQ(DecodeBytes(context, data, p), expected) << "seed " << seed;
    // Source blocks of 3 bytes and output requests of 1 and 5 bytes.
    EXPECT_EQ(DecodeBytes(context, data, p, 3), expected) << "seed " << seed;
    for (uint32_t step : {1u, 5u}) {
      Owned<CCITTDataBlockStream> stream(context, MakeCcitt(context, data, p, 1));
      EXPECT_EQ(DrainDecode(*stream, step), expected) << "seed " << seed << " step " << step;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, CcittRoundTrip,
    ::testing::Values(RoundTripCase{-1, false, false, false, true, 1728, 20, 0},
                      RoundTripCase{-1, false, false, true, false, 37, 3, 0},
                      RoundTripCase{0, false, false, false, true, 1728, 40, 0},
                      RoundTripCase{0, true, false, true, true, 64, 5, 0},
                      RoundTripCase{0, true, true, false, true, 300, 12, 0},
                      RoundTripCase{0, false, true, false, false, 9, 2, 0},
                      RoundTripCase{2, true, false, false, true, 500, 15, 0},
                      RoundTripCase{4, true, true, true, true, 1728, 30, 0},
                      RoundTripCase{3, false, false, false, false, 120, 6, 0},
                      // Long runs: make-up and extended make-up codes.
                      RoundTripCase{0, false, false, false, true, 7000, 3000, 0},
                      RoundTripCase{-1, false, false, false, true, 9000, 4000, 0},
                      // Uncompressed mode in 1-D and 2-D rows.
                      RoundTripCase{0, false, false, false, true, 80, 3, 0.5},
                      RoundTripCase{-1, false, false, false, true, 90, 4, 0.5},
                      RoundTripCase{2, true, false, false, true, 70, 3, 0.5}));

// EncodedByteAlign with K < 0 (the padding zeros before an aligned row and
// the zeros of its first mode code once read as an end-of-line), and a
// one-column image in 2-D (whose two changing elements once overflowed the
// row's capacity check).
INSTANTIATE_TEST_SUITE_P(Edges, CcittRoundTrip,
                         ::testing::Values(RoundTripCase{-1, false, true, false, true, 200, 10, 0},
                                           RoundTripCase{-1, false, true, true, false, 77, 5, 0},
                                           RoundTripCase{3, false, true, false, true, 150, 6, 0},
                                           RoundTripCase{-1, false, false, false, true, 1, 1, 0}));

TEST(CcittDecode, EndMarkersAndRows) {
  AppContext context;
  Image image = RandomImage(9, 100, 10, 8);
  std::vector<uint8_t> expected = Pack(image, false);
  for (int k : {-1, 0, 3}) {
    EncodeOptions o;
    o.k = k;
    o.endOfLine = k >= 0;
    std::vector<uint8_t> data = Encode(image, o);
    // Bytes after RTC / EOFB are not read.
    std::vector<uint8_t> trailing = data;
    trailing.insert(trailing.end(), {0x12, 0x34, 0xFF, 0x00, 0xAB});
    FilterParams p = Params(k, 100);
    p.endOfLine.Set(k >= 0);
    EXPECT_EQ(DecodeBytes(context, trailing, p), expected) << "k " << k;
    // With EndOfBlock false, Rows rows are decoded and nothing more.
    FilterParams limited = p;
    limited.rows.Set(4);
    limited.endOfBlock.Set(false);
    EXPECT_EQ(DecodeBytes(context, data, limited),
              std::vector<uint8_t>(expected.begin(), expected.begin() + 4 * 13))
        << "k " << k;
    // With EndOfBlock true, Rows does not cut the data.
    FilterParams counted = p;
    counted.rows.Set(4);
    EXPECT_EQ(DecodeBytes(context, data, counted), expected) << "k " << k;
  }
}

TEST(CcittDecode, TruncatedDataEndsQuietlyAtARowBoundary) {
  AppContext context;
  const int columns = 150;
  const size_t rowBytes = (columns + 7) / 8;
  Image image = RandomImage(4, columns, 12, 9);
  std::vector<uint8_t> expected = Pack(image, false);
  for (int k : {-1, 0, 2}) {
    EncodeOptions o;
    o.k = k;
    o.endOfLine = k > 0;
    std::vector<uint8_t> data = Encode(image, o);
    FilterParams p = Params(k, columns);
    p.endOfLine.Set(k > 0);
    size_t previous = 0;
    for (size_t cut = 0; cut <= data.size(); ++cut) {
      std::vector<uint8_t> part(data.begin(), data.begin() + static_cast<long>(cut));
      std::vector<uint8_t> out;
      int32_t code = RaisedCode(context, [&] { out = DecodeBytes(context, part, p); });
      ASSERT_EQ(code, -1) << "k " << k << " cut " << cut;
      ASSERT_EQ(out.size() % rowBytes, 0u);
      ASSERT_LE(out.size(), expected.size());
      ASSERT_TRUE(std::equal(out.begin(), out.end(), expected.begin())) << "cut " << cut;
      ASSERT_GE(out.size(), previous);
      previous = out.size();
    }
    EXPECT_EQ(previous, expected.size());
  }
}

// Rows 0..7 of an 80-column image, with row `bad` replaced by a code that
// does not decode (runs beyond Columns).
std::vector<uint8_t> WithBadRows(const Image& image, int k, const std::vector<size_t>& bad) {
  BitWriter w;
  Row white(image[0].size(), 0);
  const Row* ref = &white;
  for (size_t r = 0; r < image.size(); ++r) {
    PutEol(w, false);
    bool twoD = k > 0 && r % static_cast<size_t>(k) != 0;
    if (k > 0) w.PutBit(!twoD);
    if (std::find(bad.begin(), bad.end(), r) != bad.end()) {
      PutRun(w, false, 64);  // white 64 + 63 > 80 columns
      PutRun(w, true, 63);
      w.Put("0110");
      continue;
    }
    if (twoD) Encode2D(w, image[r], *ref, false);
    else Encode1D(w, image[r], false);
    ref = &image[r];
  }
  for (int i = 0; i < 6; ++i) {
    PutEol(w, false);
    if (k > 0) w.PutBit(1);
  }
  return w.Bytes();
}

TEST(CcittDecode, DamagedRowsRepeatTheLastGoodRowThenWhite) {
  AppContext context;
  Image image = RandomImage(12, 80, 8, 5);
  const size_t rb = 10;
  for (int k : {0, 2}) {
    std::vector<uint8_t> data = WithBadRows(image, k, {2, 3, 4});
    FilterParams p = Params(k, 80, 8);
    p.endOfLine.Set(true);
    p.damagedRowsBeforeError.Set(3);
    std::vector<uint8_t> out = DecodeBytes(context, data, p);
    Image expectedImage = image;
    expectedImage[2] = image[1];
    expectedImage[3] = Row(80, 0);
    expectedImage[4] = Row(80, 0);
    // Rows after the damage refer to the last good row (row 1) in 2-D.
    std::vector<uint8_t> expected = Pack(expectedImage, false);
    ASSERT_EQ(out.size(), expected.size()) << "k " << k;
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 5 * rb, expected.begin())) << "k " << k;
    if (k == 0) {
      EXPECT_EQ(out, expected);
    }
  }
}

TEST(CcittDecode, DamagedRowEndsTheDataWhenNotRecoverable) {
  AppContext context;
  Image image = RandomImage(13, 80, 8, 5);
  std::vector<uint8_t> good = Pack(image, false);
  std::vector<uint8_t> data = WithBadRows(image, 0, {3, 5});
  auto decode = [&](int rows, bool eol, int allowed, int k) {
    FilterParams p = Params(k, 80, rows);
    p.endOfLine.Set(eol);
    p.damagedRowsBeforeError.Set(allowed);
    return DecodeBytes(context, data, p);
  };
  std::vector<uint8_t> three(good.begin(), good.begin() + 30);
  // EndOfLine false: the data ends at the bad row.
  EXPECT_EQ(decode(8, false, 5, 0), three);
  // Rows unknown: the data ends there too.
  EXPECT_EQ(decode(0, true, 5, 0), three);
  // One damaged row allowed: row 3 repeats row 2, the second bad row ends it.
  std::vector<uint8_t> out = decode(8, true, 1, 0);
  ASSERT_EQ(out.size(), 50u);
  EXPECT_TRUE(std::equal(out.begin() + 30, out.begin() + 40, good.begin() + 20));
  EXPECT_TRUE(std::equal(out.begin() + 40, out.end(), good.begin() + 40));
}

TEST(CcittDecode, BadParametersAndModeCodesRaise) {
  AppContext context;
  for (int columns : {0, -5, CCITTDataBlockStream::kMaxColumns + 1}) {
    EXPECT_EQ(RaisedCode(context, [&] { DecodeBytes(context, Bits("1"), Params(-1, columns)); }),
              kBadData)
        << columns;
    // The decoder that could not be built gave its source back.
    EXPECT_EQ(context.Budget().BytesInUse(), 0u) << columns;
  }
  EXPECT_EQ(RaisedCode(context,
                       [&] { DecodeBytes(context, Bits("1"), Params(-1, CCITTDataBlockStream::kMaxColumns)); }),
            -1);
  // Seven zeros then a one is no mode code.
  EXPECT_EQ(RaisedCode(context, [&] { DecodeBytes(context, Bits("1 00000001 00000000"), Params(-1, 8)); }),
            kBadData);
  // An extension other than uncompressed mode.
  EXPECT_EQ(RaisedCode(context, [&] { DecodeBytes(context, Bits("0000001 010 1111 11111111"), Params(-1, 8)); }),
            kBadData);
  // A broken one-dimensional code only damages the row.
  EXPECT_EQ(RaisedCode(context, [&] { DecodeBytes(context, Bits("00000001 0000 1111"), Params(0, 8)); }), -1);
}

TEST(CcittDecode, GarbageNeverHangsOrCrashes) {
  AppContext context;
  uint32_t state = 77;
  for (int trial = 0; trial < 400; ++trial) {
    std::vector<uint8_t> data(1 + trial % 97);
    for (uint8_t& b : data) {
      state = state * 1103515245u + 12345u;
      b = static_cast<uint8_t>(state >> 16);
    }
    FilterParams p = Params(trial % 3 - 1, 1 + trial % 40, trial % 2 ? 10 : 0);
    p.endOfLine.Set(trial % 4 < 2);
    p.encodedByteAlign.Set(trial % 5 == 0);
    p.damagedRowsBeforeError.Set(trial % 7);
    std::vector<uint8_t> out;
    int32_t code = RaisedCode(context, [&] { out = DecodeBytes(context, data, p, 1 + trial % 5); });
    EXPECT_TRUE(code == -1 || code == kBadData) << code;
    // Every output row comes from at least one input bit.
    EXPECT_LE(out.size() / ((p.faxColumns + 7) / 8), data.size() * 8);
  }
}

TEST(CcittDecode, FilterTableBuildsTheDecoder) {
  AppContext context;
  FilterParams p = Params(-1, 8);
  for (const char* name : {"CCITTFaxDecode", "CCF"}) {
    Owned<data_io::DataBlockStream> stream(context, NewMemoryStream(context, Bits("001 0111 10 1   1 1 1")));
    AddFilter(context, stream, name, p, true);
    EXPECT_EQ(ReadAll(context, *stream), std::vector<uint8_t>({0xC7, 0xC7})) << name;
  }
}

TEST(CcittDecode, RewindDecodesAgain) {
  AppContext context;
  Image image = RandomImage(5, 333, 40, 12);
  EncodeOptions o;
  o.k = -1;
  FilterParams p = Params(-1, 333);
  Owned<CCITTDataBlockStream> stream(context, MakeCcitt(context, Encode(image, o), p, 7));
  std::vector<uint8_t> first = DrainBlocks(context, *stream);
  stream->Rewind();
  EXPECT_EQ(DrainBlocks(context, *stream), first);
  EXPECT_EQ(first, Pack(image, false));
  EXPECT_GT(stream->GetMemorySize(), 2u * 333u * 4u);
}

}  // namespace
}  // namespace vn::test
