// The command line's own helpers: argument parsing and JSON output.
#include <gtest/gtest.h>

#include "cli/arguments.h"
#include "cli/json_writer.h"
#include "cli/page_range.h"

namespace folio::cli {
namespace {

const std::vector<OptionSpec> kOptions = {{"--json", false}, {"--password", true}};

TEST(Arguments, OptionsMayStandAnywhereAndTakeValuesEitherWay) {
  Arguments a;
  EXPECT_EQ(a.Parse({"file.pdf", "--password", "secret", "3", "--json"}, kOptions), "");
  EXPECT_EQ(a.Positionals(), (std::vector<std::string>{"file.pdf", "3"}));
  EXPECT_TRUE(a.Has("--json"));
  EXPECT_EQ(a.Value("--password"), "secret");

  Arguments b;
  EXPECT_EQ(b.Parse({"--password=a=b", "--", "--json"}, kOptions), "");
  EXPECT_EQ(b.Value("--password"), "a=b");
  EXPECT_EQ(b.Positionals(), (std::vector<std::string>{"--json"}));
}

TEST(PageRange, ListsAndSpansInTheOrderGiven) {
  std::vector<PageSpan> spans;
  ASSERT_TRUE(ParsePageRange("1,4,7-9", spans));
  EXPECT_EQ(spans, (std::vector<PageSpan>{{1, 1}, {4, 4}, {7, 9}}));
  ASSERT_TRUE(ParsePageRange("5-5", spans));
  EXPECT_EQ(spans, (std::vector<PageSpan>{{5, 5}}));
  for (const char* bad : {"", "0", "5-3", "-2", "2-", "1,", ",1", "1,,2", "+1", "a", "1-2-3", "1234567890"}) {
    EXPECT_FALSE(ParsePageRange(bad, spans)) << bad;
  }
}

TEST(Arguments, UsageErrorsAreDescribed) {
  Arguments a;
  EXPECT_EQ(a.Parse({"--bogus"}, kOptions), "unknown option '--bogus'");
  Arguments b;
  EXPECT_EQ(b.Parse({"--password"}, kOptions), "option '--password' needs a value");
  Arguments c;
  EXPECT_EQ(c.Parse({"--json=1"}, kOptions), "option '--json' takes no value");
}

TEST(JsonWriter, NestsContainersWithCommas) {
  JsonWriter w;
  w.BeginObject().Key("pages").Number(2).Key("box").BeginArray().Fixed(0).Fixed(612 << 16).EndArray();
  w.Key("info").BeginObject().Key("Title").String("A \"quoted\"\n title").EndObject();
  w.Key("encryption").Null().Key("linearized").Bool(false).EndObject();
  EXPECT_EQ(w.Text(),
            "{\"pages\":2,\"box\":[0,612],\"info\":{\"Title\":\"A \\\"quoted\\\"\\n title\"},"
            "\"encryption\":null,\"linearized\":false}");
}

TEST(JsonWriter, BytesThatAreNotUtf8BecomeLatin1) {
  JsonWriter w;
  w.String(std::string("caf\xe9 \xc3\xa9 \x01", 9));
  EXPECT_EQ(w.Text(), "\"caf\xc3\xa9 \xc3\xa9 \\u0001\"");
}

TEST(JsonWriter, FixedPointPrintsShortestDecimals) {
  EXPECT_EQ(FormatFixed(0), "0");
  EXPECT_EQ(FormatFixed(0x8000), "0.5");
  EXPECT_EQ(FormatFixed(-0x8000), "-0.5");
  EXPECT_EQ(FormatFixed(595 << 16 | 0x4000), "595.25");
  EXPECT_EQ(FormatFixed(0x7FFFFFFF), "32767.99998");
  EXPECT_EQ(FormatFixed(1), "0.00002");
}

}  // namespace
}  // namespace folio::cli
