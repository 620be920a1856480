#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "data_io/buffered_stream.h"
#include "data_io/data_store_stream.h"
#include "data_io/raw_data_store.h"
#include "pdf/store/char_classes.h"
#include "pdf/store/parse_object.h"
#include "pdf/store/union_stream.h"
#include "runtime/app_context.h"
#include "runtime/engine_new.h"
#include "support/test_context.h"

namespace vn::pdf::store {
namespace {

using data_io::BufferedDataStore;
using data_io::RawDataStore;

class ParserTest : public ::testing::Test {
 protected:
  // Parses `text` as object data; returns the value (copied out of the arena's life by the fixture).
  Value Parse(const std::string& text, StringDecrypter* decrypter = nullptr) {
    text_ = text;
    store_ = std::make_unique<RawDataStore>(context_, reinterpret_cast<const uint8_t*>(text_.data()), text_.size());
    in_ = std::make_unique<BufferedDataStore>(context_, store_.get(), 0);
    return ParseObject(*in_, arena_, decrypter);
  }
  int32_t Code(const std::string& text) {
    // The previous parse's holders go before the frame is entered: destroyed
    // inside it they would take the frame's saved unwind head with them.
    in_.reset();
    store_.reset();
    return test::RaisedCode(context_, [&] { Parse(text); });
  }
  static std::string Bytes(const Value& v) { return std::string(reinterpret_cast<const char*>(v.Bytes()), v.Length()); }

  AppContext context_;
  Arena arena_{context_, 1024, 256};
  std::string text_;
  std::unique_ptr<RawDataStore> store_;
  std::unique_ptr<BufferedDataStore> in_;
};

TEST(CharClasses, TableValues) {
  const auto classes = [](char c) { return kCharClasses[static_cast<uint8_t>(c)]; };
  EXPECT_EQ(kCharClasses[0], 0x05);
  EXPECT_EQ(classes('\r'), 0x45);
  EXPECT_EQ(classes('['), 0x0E);
  EXPECT_EQ(classes(')'), 0x1E);
  EXPECT_EQ(classes('\\'), 0x1C);
  EXPECT_EQ(classes('7'), 0x20);
  EXPECT_EQ(classes('9'), 0x00);
  EXPECT_EQ(classes('f'), 0x04);
  EXPECT_EQ(kCharClasses[0xFF], 0x04);
  EXPECT_EQ(classes('g'), 0x0C);
}

TEST_F(ParserTest, Numbers) {
  struct Case {
    const char* text;
    int32_t type;
    int32_t value;
  } cases[] = {
      {"2147483647", kInteger, 2147483647},  {"-3", kInteger, -3},
      {"0.5", kReal, 0x8000},                {"1.25", kReal, 0x14000},
      {"32767.99999", kReal, 0x7FFFFFFF},    {"32768.0", kReal, 0x7FFFFFFF},
      {"40000.5", kReal, 0x7FFFFFFF},        {"-.5", kReal, -0x8000},
      {"1.2.3", kReal, 0x13333},             {"12abc", kInteger, 12},
      {"0000000000002", kInteger, 2},        {"+", kInteger, 0},
      {"3.14159265358979", kReal, 0x3243F},  {"0.999999", kReal, 0x10000},
      {"0.1", kReal, 0x199A},                {"-0.00001", kReal, -1},
  };
  for (const Case& c : cases) {
    Value v = Parse(c.text);
    EXPECT_EQ(v.type, c.type) << c.text;
    EXPECT_EQ(v.i, c.value) << c.text;
  }
  Value big = Parse("2147483648");
  ASSERT_EQ(big.type, kIntegerOutOfRange);
  EXPECT_EQ(*big.outOfRange, 0x7FFFFFFF);
  Value small = Parse("-2147483648");
  ASSERT_EQ(small.type, kIntegerOutOfRange);
  EXPECT_EQ(*small.outOfRange, static_cast<int32_t>(0x80000000u));
  // Bit fields written unsigned keep their low 32 bits.
  EXPECT_EQ(Parse("4294967292").AsInt32Bits(), -4);
  EXPECT_EQ(Parse("4294963392").AsInt32Bits(), -3904);
  EXPECT_EQ(Parse("-4294967292").AsInt32Bits(), 4);
  EXPECT_EQ(Parse("18446744073709551615").AsInt32Bits(), -1);  // 2^64 - 1
  EXPECT_EQ(Parse("4294967292").AsInt(), 0x7FFFFFFF);
  EXPECT_EQ(Parse("-3904").AsInt32Bits(), -3904);
  Value huge = Parse(std::string(1000, '9') + ".5");
  ASSERT_EQ(huge.type, kIntegerOutOfRange);
  Value longFraction = Parse("1." + std::string(1000, '5'));
  EXPECT_EQ(longFraction.type, kReal);
}

// Reals become the nearest 16.16 value, as a double-precision reading of
// the same text rounds.
TEST_F(ParserTest, RealsRoundToTheNearestFixedValue) {
  std::mt19937 random(5);
  for (int i = 0; i < 20000; ++i) {
    const int whole = static_cast<int>(random() % 32767);
    const int digits = 1 + static_cast<int>(random() % 9);
    std::string text = std::to_string(whole) + ".";
    for (int d = 0; d < digits; ++d) text += static_cast<char>('0' + random() % 10);
    const Value v = Parse(text);
    ASSERT_EQ(v.type, kReal) << text;
    EXPECT_EQ(v.i, static_cast<int32_t>(std::llround(std::strtod(text.c_str(), nullptr) * 65536.0))) << text;
  }
}

TEST_F(ParserTest, Names) {
  EXPECT_EQ(Bytes(Parse("/A#42")), "AB");
  EXPECT_EQ(Bytes(Parse("/A#4")), std::string("A\x04", 2));
  EXPECT_EQ(Bytes(Parse("/A#G")), std::string("A\0G", 3));
  EXPECT_EQ(Bytes(Parse("/a#2f#2F ")), "a//");
  EXPECT_EQ(Bytes(Parse("/")), "");
  Value v = Parse("/Type/Page");
  EXPECT_TRUE(v.NameIs("Type"));
  std::string longName = "/" + std::string(100 * 1024, 'x');
  EXPECT_EQ(Parse(longName).Length(), 100u * 1024u);
}

TEST_F(ParserTest, LiteralStrings) {
  EXPECT_EQ(Bytes(Parse("(a\\053b)")), "a+b");
  EXPECT_EQ(Bytes(Parse("(ab\\\ncd)")), "abcd");
  EXPECT_EQ(Bytes(Parse("(ab\\\r\ncd)")), "abcd");
  EXPECT_EQ(Bytes(Parse("(a\r\nb\rc)")), "a\nb\nc");
  EXPECT_EQ(Bytes(Parse("(x(y)\\)z)")), "x(y))z");
  EXPECT_EQ(Bytes(Parse("(\\n\\r\\t\\b\\f\\q\\0\\1234)")), std::string("\n\r\t\b\fq\0S4", 9));
  EXPECT_EQ(Code("(never closes"), kBadData);
  EXPECT_EQ(Code("(ends in an escape\\"), kBadData);
  EXPECT_EQ(Code("(" + std::string(200000, '(')), kBadData);
}

TEST_F(ParserTest, HexStrings) {
  EXPECT_EQ(Bytes(Parse("<414>")), std::string("\x41\x40", 2));
  EXPECT_EQ(Bytes(Parse("<41 42>")), "AB");
  EXPECT_EQ(Bytes(Parse("<>")), "");
  EXPECT_EQ(Code("<4142"), kBadData);
}

class XorDecrypter final : public StringDecrypter {
 public:
  uint32_t DecryptString(AppContext&, uint8_t* bytes, uint32_t length) override {
    for (uint32_t i = 0; i < length; ++i) bytes[i] ^= 0x20;
    ++calls;
    return length;
  }
  int calls = 0;
};

TEST_F(ParserTest, StringsGoThroughTheDecrypter) {
  XorDecrypter decrypter;
  Value v = Parse("[(abc) <4142> /Name]", &decrypter);
  EXPECT_EQ(Bytes(ArrayAt(context_, v, 0)), "ABC");
  EXPECT_EQ(Bytes(ArrayAt(context_, v, 1)), "ab");
  EXPECT_EQ(Bytes(ArrayAt(context_, v, 2)), "Name");
  EXPECT_EQ(decrypter.calls, 2);
}

TEST_F(ParserTest, ObjectsArraysDictionariesReferences) {
  Value v = Parse("12 0 obj\n<< /Type /Page /Kids [1 0 R 2 0 R] /N 25 /Flag true /Nil null /F false >>\nendobj");
  ASSERT_TRUE(v.IsDictionary());
  EXPECT_TRUE(Get(context_, v, "Type").NameIs("Page"));
  Value kids = Get(context_, v, "Kids");
  ASSERT_EQ(ArraySize(context_, kids), 2u);
  EXPECT_EQ(ArrayAt(context_, kids, 1).type, kReference);
  EXPECT_EQ(ArrayAt(context_, kids, 1).ref->number, 2);
  EXPECT_EQ(Get(context_, v, "N").AsInt(), 25);
  EXPECT_EQ(Get(context_, v, "N").AsFixed(), 25 << 16);
  EXPECT_TRUE(Get(context_, v, "Flag").AsBool());
  EXPECT_TRUE(Get(context_, v, "Nil").IsNull());
  EXPECT_EQ(Get(context_, v, "F").type, kBoolean);
  EXPECT_TRUE(Get(context_, v, "Missing").IsNull());
  EXPECT_EQ(StreamDataOffset(v), 0u);

  // More than one segment of cells.
  std::string many = "[";
  for (int i = 0; i < 95; ++i) many += std::to_string(i) + " ";
  Value array = Parse(many + "]");
  ASSERT_EQ(ArraySize(context_, array), 95u);
  EXPECT_EQ(ArrayAt(context_, array, 94).AsInt(), 94);
  EXPECT_EQ(ArrayAt(context_, array, 10).AsInt(), 10);

  EXPECT_EQ(Parse("7 0 obj 42 endobj 8 0 obj").AsInt(), 42);
  Value ref = Parse("5 0 R");
  EXPECT_EQ(ref.type, kReference);
  EXPECT_EQ(Parse("% comment\r\n 9").AsInt(), 9);
  EXPECT_EQ(Parse("<< /A 1 >> >> 5").type, kDictionary);
  EXPECT_EQ(Parse(">> 5").AsInt(), 5);  // a stray >> is skipped
}

TEST_F(ParserTest, StreamKeyword) {
  std::string text = "<< /Length 3 >>\nstream \t\r\nabc\nendstream";
  Value v = Parse(text);
  EXPECT_EQ(StreamDataOffset(v), text.find("abc"));
  EXPECT_EQ(StreamDataOffset(Parse("<<>>stream\rxyz")), 11u);
  EXPECT_EQ(Code("<< >> stream x"), kBadData);
  EXPECT_EQ(Code("<< >> streamer"), kBadData);  // "stream" must be followed by an end of line
}

TEST_F(ParserTest, BadSyntaxRaisesTwo) {
  for (const char* text : {"nullx", ")", "{", "}", "]", "ID", "R", "1 R", "obj", "(a", "<< /A 1", "[1 2",
                           "<< /A 1 >", "<< /A >x", "", "   ", "trailer", "endobj"}) {
    EXPECT_EQ(Code(text), kBadData) << text;
  }
  // Deep nesting is bounded.
  EXPECT_EQ(Code(std::string(100000, '[')), kBadData);
  EXPECT_EQ(Code(std::string(5000, '[') + std::string(5000, ']')), kBadData);
  std::string deepDicts;
  for (int i = 0; i < 300; ++i) deepDicts += "<</A ";
  EXPECT_EQ(Code(deepDicts), kBadData);
  std::string ok = std::string(200, '[') + std::string(200, ']');
  EXPECT_TRUE(Parse(ok).IsArray());
}

TEST_F(ParserTest, GetRules) {
  Value notDict = Parse("[1]");
  EXPECT_EQ(test::RaisedCode(context_, [&] { Get(context_, notDict, "A"); }), kBadData);
  Value badKey = Parse("<< 1 2 >>");
  EXPECT_EQ(test::RaisedCode(context_, [&] { Get(context_, badKey, "A"); }), kBadData);
  Value noValue = Parse("<< /B 1 /A >>");
  EXPECT_EQ(test::RaisedCode(context_, [&] { Get(context_, noValue, "A"); }), kBadData);
  EXPECT_EQ(Get(context_, noValue, "B").AsInt(), 1);
  Value first = Parse("<< /A 1 /A 2 >>");
  EXPECT_EQ(Get(context_, first, "A").AsInt(), 1);
}

TEST_F(ParserTest, DeepCopyOutlivesTheSourceArena) {
  Arena target(context_, 1024, 256);
  Value copy;
  {
    Arena scratch(context_, 1024, 256);
    text_ = "<< /K [1 (two) /three 4 5 R 99999999999] /S << /X 1.5 >> >> stream\nxx";
    RawDataStore store(context_, reinterpret_cast<const uint8_t*>(text_.data()), text_.size());
    BufferedDataStore in(context_, &store, 0);
    Value v = ParseObject(in, scratch, nullptr);
    copy = CopyValue(target, v);
  }
  Value k = Get(context_, copy, "K");
  EXPECT_EQ(Bytes(ArrayAt(context_, k, 1)), "two");
  EXPECT_TRUE(ArrayAt(context_, k, 2).NameIs("three"));
  EXPECT_EQ(ArrayAt(context_, k, 3).ref->number, 4);
  EXPECT_EQ(ArrayAt(context_, k, 4).type, kIntegerOutOfRange);
  EXPECT_EQ(Get(context_, Get(context_, copy, "S"), "X").AsFixed(), 0x18000);
  EXPECT_NE(StreamDataOffset(copy), 0u);
}

TEST_F(ParserTest, HelpersOnTheByteSource) {
  text_ = "  % note\r\n\t xref";
  RawDataStore store(context_, reinterpret_cast<const uint8_t*>(text_.data()), text_.size());
  BufferedDataStore in(context_, &store, 0);
  SkipWhiteSpaceAndComments(in);
  EXPECT_EQ(in.Position(), text_.find("xref"));
  EXPECT_EQ(test::RaisedCode(context_, [&] { ExpectKeyword(in, "xrefs"); }), kBadData);
  ExpectKeyword(in, "xref");
  EXPECT_TRUE(in.AtEnd());
}

TEST_F(ParserTest, InlineImageDictionaryStopsAtID) {
  text_ = "/W 4 /H 2 /CS /G ID \x01\x02";
  RawDataStore store(context_, reinterpret_cast<const uint8_t*>(text_.data()), text_.size());
  BufferedDataStore in(context_, &store, 0);
  Value dict = ParseInlineImageDictionary(in, arena_);
  EXPECT_EQ(Get(context_, dict, "H").AsInt(), 2);
  EXPECT_EQ(in.Position(), text_.find("ID") + 2);
}

TEST(UnionDataBlockStream, JoinsStreamsWithASeparator) {
  AppContext context;
  std::string a = "1 2", b = "3";
  UnionDataBlockStream u(context, true);
  u.Add(New<data_io::DataStoreStream>(context, context, New<RawDataStore>(context, context, reinterpret_cast<const uint8_t*>(a.data()), a.size())));
  u.Add(New<data_io::DataStoreStream>(context, context, New<RawDataStore>(context, context, reinterpret_cast<const uint8_t*>(b.data()), b.size())));
  for (int round = 0; round < 2; ++round) {
    std::string all;
    data_io::DataBlockRef block(context);
    for (;;) {
      u.GetNextBlock(block);
      if (block.Empty()) break;
      all.append(reinterpret_cast<const char*>(block.Data()), block.Length());
    }
    EXPECT_EQ(all, "1 2 3");
    EXPECT_TRUE(u.IsAtEnd());
    u.Rewind();
  }
}

}  // namespace
}  // namespace vn::pdf::store
