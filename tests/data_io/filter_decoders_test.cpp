#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data_io/filter_factory.h"
#include "data_io/filter_encoders.h"
#include "data_io/memory_stream.h"
#include "support/test_context.h"

namespace vn::test {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Of(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes Decode(AppContext& context, const std::string& filter, const Bytes& input, const data_io::FilterParams& params = {},
             uint32_t blockSize = 4096, bool isInline = false) {
  Owned<data_io::DataBlockStream> stream(context, NewMemoryStream(context, input, blockSize));
  AddFilter(context, stream, filter, params, isInline);
  return ReadAll(context, *stream);
}

Bytes Compress(const Bytes& data) { return Encoded("FlateDecode", data); }

Bytes Pattern(size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>((i * 7) ^ (i >> 5));
  return b;
}

TEST(FilterDecoders, FlateRoundTripAndCutData) {
  AppContext context;
  Bytes data = Pattern(100000);
  Bytes packed = Compress(data);
  for (uint32_t block : {1u, 7u, 4096u}) EXPECT_EQ(Decode(context, "FlateDecode", packed, {}, block), data);
  Bytes cut(packed.begin(), packed.begin() + packed.size() / 2);
  Bytes partial = Decode(context, "FlateDecode", cut);
  ASSERT_GT(partial.size(), 0u);
  ASSERT_LT(partial.size(), data.size());
  EXPECT_TRUE(std::equal(partial.begin(), partial.end(), data.begin()));
  Bytes garbage = Of("not zlib at all");
  EXPECT_TRUE(Decode(context, "FlateDecode", garbage).empty());
}

TEST(FilterDecoders, Ascii85ThenFlateWithPngPredictorOnFlateOnly) {
  AppContext context;
  // Two rows of 4 columns, PNG Sub and Up.
  Bytes rows = {1, 1, 1, 1, 1, 2, 2, 2, 2, 2};
  Bytes packed = Compress(rows);
  // ASCII85-encode by hand.
  std::string a85;
  for (size_t i = 0; i < packed.size(); i += 4) {
    uint32_t v = 0;
    size_t n = std::min<size_t>(4, packed.size() - i);
    for (size_t j = 0; j < 4; ++j) v = v << 8 | (j < n ? packed[i + j] : 0);
    char g[5];
    for (int j = 4; j >= 0; --j) { g[j] = static_cast<char>('!' + v % 85); v /= 85; }
    a85.append(g, n + 1);
  }
  a85 += "~>";
  data_io::FilterParams none;
  data_io::FilterParams png;
  png.predictor.Set(12);
  png.SetColumns(4);
  Owned<data_io::DataBlockStream> chain(context, NewMemoryStream(context, Of(a85)));
  AddFilter(context, chain, "ASCII85Decode", none);
  AddFilter(context, chain, "FlateDecode", png);
  EXPECT_EQ(ReadAll(context, *chain), (Bytes{1, 2, 3, 4, 3, 4, 5, 6}));
}

TEST(FilterDecoders, AbbreviationsOnlyInline) {
  AppContext context;
  Bytes packed = Compress(Of("hello"));
  EXPECT_EQ(RaisedCode(context, [&] { Decode(context, "Fl", packed); }), kUnsupported);
  EXPECT_EQ(RaisedCode(context, [&] { Decode(context, "NoSuchDecode", packed); }), kUnsupported);
  EXPECT_EQ(Decode(context, "Fl", packed, {}, 4096, true), Of("hello"));
  EXPECT_EQ(Decode(context, "AHx", Of("4142>"), {}, 4096, true), Of("AB"));
}

TEST(FilterDecoders, RunLength) {
  AppContext context;
  Bytes input = {2, 'a', 'b', 'c', 254, 'x', 128, 'z'};
  EXPECT_EQ(Decode(context, "RunLengthDecode", input, {}, 1), Of("abcxxx"));
  Bytes noEnd = {1, 'q', 'r', 255, 'y'};
  EXPECT_EQ(Decode(context, "RunLengthDecode", noEnd), Of("qryy"));
  Bytes big;
  for (int i = 0; i < 100; ++i) { big.push_back(129); big.push_back(static_cast<uint8_t>(i)); }
  EXPECT_EQ(Decode(context, "RunLengthDecode", big).size(), 12800u);
}

TEST(FilterDecoders, AsciiHexAndAscii85) {
  AppContext context;
  EXPECT_EQ(Decode(context, "ASCIIHexDecode", Of("414>")), (Bytes{0x41, 0x40}));
  EXPECT_EQ(Decode(context, "ASCIIHexDecode", Of("4 1\n6a6B"), {}, 1), Of("Ajk"));
  EXPECT_EQ(Decode(context, "ASCIIHexDecode", Of("41x42")), Of("A"));
  EXPECT_EQ(Decode(context, "ASCII85Decode", Of("87cURD]i,\"Ebo80~>")), Of("Hello World!"));
  EXPECT_EQ(Decode(context, "ASCII85Decode", Of("z!!~>")), (Bytes{0, 0, 0, 0, 0}));
  EXPECT_EQ(RaisedCode(context, [&] { Decode(context, "ASCII85Decode", Of("!!z~>")); }), kBadData);
  EXPECT_EQ(RaisedCode(context, [&] { Decode(context, "ASCII85Decode", Of("!!{~>")); }), kBadData);
}

TEST(FilterDecoders, LzwRoundTripsAndEarlyChange) {
  AppContext context;
  Bytes data = Pattern(60000);
  for (int i = 0; i < 20000; ++i) data.push_back('A');  // KwKwK strings
  data_io::FilterParams late;
  late.earlyChange.Set(0);
  EXPECT_EQ(Decode(context, "LZWDecode", LzwEncoded(data, 1), {}, 3), data);
  EXPECT_EQ(Decode(context, "LZWDecode", LzwEncoded(data, 0), late), data);
  // Data encoded for the late switch does not decode with the early one.
  EXPECT_NE(Decode(context, "LZWDecode", LzwEncoded(data, 0)), data);
  // A code beyond the next one ends the data quietly.
  EXPECT_EQ(Decode(context, "LZWDecode", Bytes{0x80, 0x10, 0xFF, 0xFF}), Of("C"));
}

TEST(FilterDecoders, PredictorParameters) {
  AppContext context;
  data_io::FilterParams p;
  p.predictor.Set(7);
  EXPECT_EQ(RaisedCode(context, [&] { Decode(context, "FlateDecode", Compress(Of("x")), p); }), kBadData);
  p.predictor.Set(2);
  p.bitsPerComponent.Set(4);
  EXPECT_EQ(RaisedCode(context, [&] { Decode(context, "FlateDecode", Compress(Of("x")), p); }), kUnsupported);
  p.bitsPerComponent.Set(8);
  p.colors.Set(2);
  p.SetColumns(2);
  EXPECT_EQ(Decode(context, "FlateDecode", Compress(Bytes{1, 2, 1, 1, 5, 5, 1, 1}), p), (Bytes{1, 2, 2, 3, 5, 5, 6, 6}));
  p.predictor.Set(12);
  p.colors.Set(5);
  EXPECT_EQ(RaisedCode(context, [&] { Decode(context, "FlateDecode", Compress(Of("x")), p); }), kBadData);
}

}  // namespace
}  // namespace vn::test
