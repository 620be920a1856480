// Decodes the DCTDecode streams of the corpus through the engine's filter
// chain and compares every scanline with libjpeg's own decode of the raw
// JPEG bytes (extracted by qpdf), or with qpdf's decode of a whole chain.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "data_io/filter_factory.h"
#include "data_io/jpg_stream.h"
#include "data_io/jpg_test_support.h"
#include "data_io/memory_stream.h"
#include "data_io/qpdf_dictionary.h"
#include "data_io/stream_objects.h"
#include "support/corpus.h"
#include "support/shell.h"
#include "support/test_context.h"

namespace vn::test {
namespace {

bool Contains(const std::vector<unsigned char>& bytes, const std::string& text) {
  return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
}

TEST(JpgCorpus, MatchesLibjpeg) {
  if (CorpusDir().empty() || system("qpdf --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no corpus or qpdf";
  AppContext context;
  int files = 0, compared = 0, equal = 0, truncated = 0, bothFailed = 0, different = 0;
  long rows = 0;
  for (const CorpusFile& file : CorpusFiles()) {
    if (file.encrypted != "none") continue;
    // Stream dictionaries never sit in object streams, so a file without
    // the name in its bytes has no such stream.
    const std::vector<unsigned char> bytes = ReadWholeFile(file.path);
    if (!Contains(bytes, "DCTDecode")) continue;
    bool counted = false;
    for (int object : StreamObjectNumbers(bytes, 40)) {
      std::string dict, raw, jpeg;
      std::string base = "qpdf --show-object=" + std::to_string(object) + " '" + file.path + "'";
      if (!RunTool(base, dict) || dict.find("/DCTDecode") == std::string::npos) continue;
      const std::vector<std::string> names = StreamFilterNames(dict);
      // DCT last; the stages before it have no parameters.
      if (names.empty() || names.back() != "DCTDecode" || dict.find("/DecodeParms") != std::string::npos) continue;
      if (!RunTool(base + " --raw-stream-data", raw)) continue;
      // A chain: qpdf decodes it all (with libjpeg), so its filtered data
      // is the pixels; a lone DCTDecode stream is the JPEG file itself.
      JpegImage expected;
      if (names.size() == 1) {
        expected = ReferenceDecode(std::vector<uint8_t>(raw.begin(), raw.end()));
      } else {
        if (!RunTool(base + " --filtered-stream-data", jpeg)) continue;
        expected.rows.emplace_back(jpeg.begin(), jpeg.end());
      }
      if (!counted) ++files;
      counted = true;

      std::vector<std::vector<uint8_t>> ours;
      int32_t code = RaisedCode(context, [&] {
        Owned<data_io::DataBlockStream> stream(context, NewMemoryStream(context, std::vector<uint8_t>(raw.begin(), raw.end())));
        for (const std::string& name : names) AddFilter(context, stream, name);
        data_io::DataBlockRef block(context);
        for (;;) {
          stream->GetNextBlock(block);
          if (block.Empty()) break;
          ours.emplace_back(block.Data(), block.Data() + block.Length());
        }
      });
      ++compared;
      long scanlines = static_cast<long>(ours.size());
      if (expected.failed) {
        // libjpeg gives up on it: so do we, quietly or with code 2.
        std::printf("  unreadable: %s object %d (ours: %s, %zu rows)\n", file.name.c_str(), object,
                    code == -1 ? "quiet end" : "code 2", ours.size());
        if (code == kBadData || code == -1) ++bothFailed;
        else ADD_FAILURE() << file.name << " object " << object << " code " << code;
        continue;
      }
      if (names.size() > 1) {  // compared as one run of bytes
        std::vector<uint8_t> flat;
        for (const auto& row : ours) flat.insert(flat.end(), row.begin(), row.end());
        ours.assign(1, flat);
      }
      if (code == -1 && ours == expected.rows) {
        ++equal;
        rows += scanlines;
      } else if (code == -1 && expected.warnings > 0 && ours.size() < expected.rows.size()) {
        // Data cut short: we stop where it ran out, libjpeg pads with gray.
        ++truncated;
      } else {
        ++different;
        ADD_FAILURE() << file.name << " object " << object << " filters " << ::testing::PrintToString(names) << " code " << code
                      << " rows " << scanlines << " vs " << expected.rows.size();
      }
    }
  }
  std::printf("DCT corpus: %d files, %d streams compared, %d equal (%ld scanlines), %d cut short, %d unreadable by "
              "both, %d different\n",
              files, compared, equal, rows, truncated, bothFailed, different);
  EXPECT_GT(compared, 0);
}

}  // namespace
}  // namespace vn::test
