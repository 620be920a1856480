// The scan that repairs damaged files: what it takes for an object, and
// what it passes over (strings, comments, stream data).
#include "pdf/store/object_scan.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "data_io/raw_data_store.h"
#include "support/test_context.h"

namespace vn::pdf::store {
namespace {

struct Found {
  std::vector<std::pair<int32_t, uint64_t>> objects;  // number, offset of the last definition
  std::vector<int32_t> objectStreams;
  std::vector<uint64_t> trailers;
  std::vector<int32_t> xrefStreams;
  std::vector<int32_t> catalogs;
  int32_t code = -1;
};

Found Scan(const std::string& text) {
  AppContext context;
  Found found;
  {
    data_io::RawDataStore store(context, reinterpret_cast<const uint8_t*>(text.data()), text.size());
    ObjectScan scan(context);
    found.code = test::RaisedCode(context, [&] { scan.Run(store); });
    for (const ScanEntry& e : scan.entries) found.objects.emplace_back(e.number, e.Offset());
    for (const ScanObject& o : scan.objectStreams) found.objectStreams.push_back(o.number);
    for (uint64_t t : scan.trailers) found.trailers.push_back(t);
    for (const ScanObject& o : scan.xrefStreams) found.xrefStreams.push_back(o.number);
    for (const ScanObject& o : scan.catalogs) found.catalogs.push_back(o.number);
  }
  EXPECT_EQ(context.Budget().BytesInUse(), 0u);
  return found;
}

using Objects = std::vector<std::pair<int32_t, uint64_t>>;

TEST(ObjectScan, HeadersAndTheLastDefinitionOfEachNumber) {
  std::string text = "%PDF-1.4\n1 0 obj << /Type /Catalog >> endobj\n2 0 obj (first) endobj\n";
  size_t second = text.size();
  text += "2 5 obj(second)endobj 3 0 obj[1 2]endobj\n";
  Found f = Scan(text);
  EXPECT_EQ(f.objects, (Objects{{1, 9}, {2, second}, {3, text.find("3 0 obj")}}));
  EXPECT_EQ(f.catalogs, std::vector<int32_t>{1});
  // Not headers: a generation beyond 65535, a number beyond 2^31 - 1,
  // "obj" glued to more letters, a header split by a delimiter.
  const std::string junk = "1 65536 obj 2147483648 0 obj 5 0 objx 6 [0] obj 7 0 obj";
  f = Scan(junk);
  EXPECT_EQ(f.objects, (Objects{{7, junk.find("7 0 obj")}}));
}

TEST(ObjectScan, StringsCommentsAndStreamDataHideWhatLooksLikeObjects) {
  std::string text =
      "1 0 obj (a (nested) string \\) with 8 0 obj inside) endobj\n"
      "% 9 0 obj in a comment\n"
      "2 0 obj << /Length 20 >>\nstream\n10 0 obj (in data)\nendstream\nendobj\n"
      "3 0 obj << >> endobj";
  Found f = Scan(text);
  ASSERT_EQ(f.objects.size(), 3u);
  EXPECT_EQ(f.objects[2].first, 3);
  // "stream" only after a dictionary inside an object opens stream data.
  f = Scan("stream\n4 0 obj [stream 5 0 obj] endobj");
  ASSERT_EQ(f.objects.size(), 2u);
}

TEST(ObjectScan, DamageDoesNotHideTheRestOfTheFile) {
  // Stream data without "endstream" (a truncated download) is read as text.
  Found f = Scan("1 0 obj << /Length 99 >>\nstream\nxx\n2 0 obj << >> endobj\n");
  EXPECT_EQ(f.objects.size(), 2u);
  // A string that never closes ends at an "endobj" that starts a line.
  f = Scan("1 0 obj (unclosed ( string\nendobj\n2 0 obj << >> endobj\n3 0 obj (x\n  endobj 4 0 obj");
  ASSERT_EQ(f.objects.size(), 3u);  // an indented "endobj" does not count: 4 stays in the string
  EXPECT_EQ(f.objects[1].first, 2);
  EXPECT_EQ(f.objects[2].first, 3);
}

TEST(ObjectScan, TrailersAndTypedObjects) {
  std::string text = "1 0 obj << /Type /ObjStm /N 1 /First 4 >> endobj\n"
                     "2 0 obj << /Type /XRef >> endobj\n"
                     "trailer << /Root 3 0 R >>\n"
                     "3 0 obj << /Type /Catalog /Pages 4 0 R >> endobj\n"
                     "/Catalog trailer\n";  // a name outside an object types nothing
  Found f = Scan(text);
  EXPECT_EQ(f.objectStreams, std::vector<int32_t>{1});
  EXPECT_EQ(f.xrefStreams, std::vector<int32_t>{2});
  EXPECT_EQ(f.catalogs, std::vector<int32_t>{3});
  EXPECT_EQ(f.trailers, (std::vector<uint64_t>{text.find("trailer") + 7, text.rfind("trailer") + 7}));
  // Only the newest of many are kept.
  std::string many;
  for (int i = 0; i < 100; ++i) many += "trailer << >>\n";
  f = Scan(many);
  ASSERT_GE(f.trailers.size(), kScanCandidates);
  EXPECT_LE(f.trailers.size(), 2 * kScanCandidates);
  EXPECT_EQ(f.trailers.back(), many.size() - 7);
}

// A million fake objects of one number fold into one entry (a million
// numbers do not fit: see the hostile store tests).
TEST(ObjectScan, AMillionObjectKeywords) {
  std::string same;
  same.reserve(8000000);
  for (int i = 0; i < 1000000; ++i) same += "5 0 obj\n";
  Found f = Scan(same);
  EXPECT_EQ(f.code, -1);
  EXPECT_EQ(f.objects, (Objects{{5, same.size() - 8}}));
}

TEST(ObjectScan, EntriesCompactToTheLastOfEachNumber) {
  AppContext context;
  EngineArray<ScanEntry> entries(context);
  entries.Push(ScanEntry::Make(3, 10, 0, false));
  entries.Push(ScanEntry::Make(1, 50, 0, false));
  entries.Push(ScanEntry::Make(3, 5000000000ull, 2, false));  // beyond 4 GB
  entries.Push(ScanEntry::Make(3, 70, 9, true));
  CompactScanEntries(entries);
  ASSERT_EQ(entries.Size(), 2u);
  EXPECT_EQ(entries[0].number, 1);
  EXPECT_EQ(entries[1].Offset(), 5000000000ull);
  EXPECT_FALSE(entries[1].IsMember());
  EXPECT_EQ(entries[1].aux, 2);
}

}  // namespace
}  // namespace vn::pdf::store
