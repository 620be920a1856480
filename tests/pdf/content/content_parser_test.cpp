#include "pdf/content/content_parser.h"

#include <gtest/gtest.h>

#include <string>

#include "data_io/buffered_stream.h"
#include "data_io/raw_data_store.h"
#include "support/test_context.h"

namespace vn::pdf::content {
namespace {

std::string Text(const Value& v) { return std::string(reinterpret_cast<const char*>(v.Bytes()), v.Length()); }

// Records what the parser hands over, one line per operation.
class Recorder : public ContentParserClient {
 public:
  std::string log;
  int stopAt = -1;  // stop after this many operations
  int operations = 0;

  bool Note(const std::string& line) {
    log += line + ";";
    return ++operations != stopAt;
  }
  static std::string F(Fixed16_16 v) { return std::to_string(v); }

  bool Save() override { return Note("q"); }
  bool Restore() override { return Note("Q"); }
  bool Concat(const FixedMatrix& m) override { return Note("cm " + F(m.a) + " " + F(m.ty)); }
  bool LineWidth(Fixed16_16 w) override { return Note("w " + F(w)); }
  bool LineCap(int32_t v) override { return Note("J " + std::to_string(v)); }
  bool MoveTo(Fixed16_16 x, Fixed16_16 y) override { return Note("m " + F(x) + " " + F(y)); }
  bool LineTo(Fixed16_16 x, Fixed16_16 y) override { return Note("l " + F(x) + " " + F(y)); }
  bool ClosePath() override { return Note("h"); }
  bool PaintPath(bool stroke, FillKind fill) override {
    return Note("paint " + std::to_string(stroke) + " " + std::to_string(fill));
  }
  bool SetDeviceColor(const OperandList& ops, ColorFamily family, bool stroking) override {
    return Note("color " + std::to_string(family) + " " + std::to_string(stroking) + " n" + std::to_string(ops.Count()));
  }
  bool SetColor(const OperandList& ops, bool stroking, bool nForm) override {
    std::string line = "sc " + std::to_string(stroking) + std::to_string(nForm);
    for (uint32_t i = 0; i < ops.Count(); ++i) line += ops.At(i).IsName() ? " /" + Text(ops.At(i)) : " #";
    return Note(line);
  }
  bool HorizontalScaling(Fixed16_16 v) override { return Note("Tz " + F(v)); }
  bool Font(Fixed16_16 size, const Value& name) override { return Note("Tf " + Text(name) + " " + F(size)); }
  bool ShowText(const Value& s) override { return Note("Tj " + Text(s)); }
  bool ShowTextArray(const Value& a) override { return Note("TJ " + std::to_string(a.container->Size())); }
  bool NextLineShowTextSpaced(const Value& s, Fixed16_16 ac, Fixed16_16 aw) override {
    return Note("\" " + Text(s) + " " + F(ac) + " " + F(aw));
  }
  bool BeginMarkedContent() override { return Note("BMC"); }
  bool EndMarkedContent() override { return Note("EMC"); }
  bool InlineImage(const Value& dict, data_io::BufferedStream& source) override {
    int32_t width = store::Get(source.Context(), dict, "W").AsInt();
    std::string data;
    for (int32_t i = 0; i < width; ++i) data += static_cast<char>(source.NextByte());
    return Note("BI W" + std::to_string(width) + " " + data);
  }
};

class ContentParserTest : public ::testing::Test {
 protected:
  // Parses `content` to its end (or the client's stop) and returns the code
  // raised, -1 for none.
  int32_t Parse(const std::string& content, Recorder& recorder, bool* stopped = nullptr) {
    return test::RaisedCode(context, [&] {
      data_io::RawDataStore store(context, reinterpret_cast<const uint8_t*>(content.data()), content.size());
      data_io::BufferedDataStore source(context, &store);
      Arena arena(context, 1024, 256);
      ContentParser parser(context, source, arena, recorder);
      bool s = parser.Run();
      if (stopped != nullptr) *stopped = s;
    });
  }
  AppContext context;
};

TEST_F(ContentParserTest, OperatorsReachTheClientWithConvertedOperands) {
  Recorder r;
  EXPECT_EQ(Parse("q 1 0 0 1 10 -20.5 cm 2 w 1 J 10 20 m 30 40 l h S Q", r), -1);
  EXPECT_EQ(r.log, "q;cm 65536 -1343488;w 131072;J 1;m 655360 1310720;l 1966080 2621440;h;paint 1 2;Q;");
}

TEST_F(ContentParserTest, ClosingPaintOperatorsCloseThePathFirst) {
  Recorder r;
  EXPECT_EQ(Parse("0 0 m s 0 0 m b 0 0 m b* f* B n", r), -1);
  EXPECT_EQ(r.log, "m 0 0;h;paint 1 2;m 0 0;h;paint 1 0;m 0 0;h;paint 1 1;paint 0 1;paint 1 0;paint 0 2;");
}

TEST_F(ContentParserTest, SurplusOperandsAreDroppedAndMissingOnesAreBadData) {
  Recorder r;
  EXPECT_EQ(Parse("1 2 3 4 w", r), -1);
  EXPECT_EQ(r.log, "w 262144;");
  Recorder r2;
  EXPECT_EQ(Parse("10 m", r2), kBadData);
  Recorder r3;
  EXPECT_EQ(Parse("/Name w", r3), kBadData);
}

TEST_F(ContentParserTest, OperandRangesAreChecked) {
  Recorder r;
  EXPECT_EQ(Parse("40000 w", r), -1);
  EXPECT_EQ(r.log, "w 2147483647;");  // saturated
  EXPECT_EQ(Parse("-1 w", r), kBadData);
  EXPECT_EQ(Parse("-0.5 i", r), kBadData);
  EXPECT_EQ(Parse("3 J", r), kBadData);
  EXPECT_EQ(Parse("1.0 J", r), kBadData);
}

TEST_F(ContentParserTest, HorizontalScalingIsAFraction) {
  Recorder r;
  EXPECT_EQ(Parse("100 Tz 50 Tz", r), -1);
  EXPECT_EQ(r.log, "Tz 65536;Tz " + std::to_string(FixedMul((50 << 16) >> 5, 20971)) + ";");
}

TEST_F(ContentParserTest, TextOperatorsTakeTheirOperandsInPdfOrder) {
  Recorder r;
  EXPECT_EQ(Parse("BT /F1 12 Tf (Hi) Tj [(a) 120 (b)] TJ 1 2 (x) \" ET", r), -1);
  EXPECT_EQ(r.log, "Tf F1 786432;Tj Hi;TJ 3;\" x 131072 65536;");
}

TEST_F(ContentParserTest, ColourOperatorsCarryTheirOperands) {
  Recorder r;
  EXPECT_EQ(Parse("1 0 0 rg 0.5 G 0 0 0 1 K /P1 scn 0.1 0.2 /P2 SCN", r), -1);
  EXPECT_EQ(r.log, "color 1 0 n3;color 0 1 n1;color 2 1 n4;sc 01 /P1;sc 11 # # /P2;");
  EXPECT_EQ(Parse("0 0 rg", r), kBadData);
}

TEST_F(ContentParserTest, UnknownOperatorsAreSkippedOnlyInsideCompatibilitySections) {
  Recorder r;
  EXPECT_EQ(Parse("BX 1 2 foo ~weird EX 3 w", r), -1);
  EXPECT_EQ(r.log, "w 196608;");
  Recorder r2;
  EXPECT_EQ(Parse("2 w foo 3 w", r2), kBadData);
  EXPECT_EQ(r2.log, "w 131072;");  // what came before stays with the client
}

TEST_F(ContentParserTest, GlyphMetricsAndObjectSyntaxAreIgnored) {
  Recorder r;
  EXPECT_EQ(Parse("0 0 d0 1 0 0 0 1 1 d1 true 5 w 1 0 R 2 w", r), -1);
  EXPECT_EQ(r.log, "w 327680;w 131072;");
}

TEST_F(ContentParserTest, MarkedContentPointsAreABeginAndAnEnd) {
  Recorder r;
  EXPECT_EQ(Parse("/Tag BMC EMC /Tag <</MCID 0>> BDC EMC /P MP /P <<>> DP", r), -1);
  EXPECT_EQ(r.log, "BMC;EMC;BMC;EMC;BMC;EMC;BMC;EMC;");
}

TEST_F(ContentParserTest, InlineImageDataIsHandedToTheClientThenEIIsRequired) {
  Recorder r;
  EXPECT_EQ(Parse("BI /W 3 /H 1 /BPC 8 /CS /G ID abc EI 2 w", r), -1);
  EXPECT_EQ(r.log, "BI W3 abc;w 131072;");
  Recorder r2;
  EXPECT_EQ(Parse("BI /W 3 /H 1 ID abc 2 w", r2), kBadData);  // no EI
  Recorder r3;
  EXPECT_EQ(Parse("BI /W 1 /H 1 IDx EI", r3), kBadData);  // no white space after ID
  Recorder r4;
  EXPECT_EQ(Parse("ID", r4), kBadData);
}

TEST_F(ContentParserTest, StopsAtTheClientsBoundaryAndResumesFromThere) {
  Recorder r;
  r.stopAt = 2;
  bool stopped = false;
  std::string content = "q 1 w 2 w Q";
  int32_t code = test::RaisedCode(context, [&] {
    data_io::RawDataStore store(context, reinterpret_cast<const uint8_t*>(content.data()), content.size());
    data_io::BufferedDataStore source(context, &store);
    Arena arena(context, 1024, 256);
    ContentParser parser(context, source, arena, r);
    stopped = parser.Run();
    EXPECT_EQ(parser.OperatorOffset(), 4u);  // the "w" just handed over
    EXPECT_FALSE(parser.Run());              // the rest, to the end
  });
  EXPECT_EQ(code, -1);
  EXPECT_TRUE(stopped);
  EXPECT_EQ(r.log, "q;w 65536;w 131072;Q;");
}

TEST_F(ContentParserTest, StrayDelimitersAreSkipped) {
  Recorder r;
  EXPECT_EQ(Parse(") ] } { >> 4 w", r), -1);
  EXPECT_EQ(r.log, "w 262144;");
}

TEST_F(ContentParserTest, OperandMemoryDoesNotGrowWithTheStream) {
  std::string content;
  for (int i = 0; i < 20000; ++i) content += "1 2 3 4 5 6 7 8 9 10 11 12 (some string) /Name 2 w\n";
  Recorder r;
  uint32_t peakBefore = context.Budget().PeakBytes();
  EXPECT_EQ(Parse(content, r), -1);
  EXPECT_LT(context.Budget().PeakBytes() - peakBefore, 64u * 1024u);
}

}  // namespace
}  // namespace vn::pdf::content
