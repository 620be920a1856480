// Decodes corpus streams and compares them with qpdf's own decoding.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "data_io/filter_factory.h"
#include "data_io/memory_stream.h"
#include "data_io/qpdf_dictionary.h"
#include "data_io/stream_objects.h"
#include "support/corpus.h"
#include "support/shell.h"
#include "support/test_context.h"

namespace vn::test {
namespace {

// Every third unencrypted file of the manifest, objects 1-40 of each: the
// same files and objects on every machine, about a third of the corpus.
constexpr size_t kFileStride = 3;
constexpr int kObjectsPerFile = 40;

// The DecodeParms dictionary of a stream dictionary as qpdf prints it,
// direct or through a reference (empty when absent): the filter reads its
// parameters from there only.
std::string DecodeParms(const std::string& dict, const std::string& path) {
  static const std::regex direct("/DecodeParms\\s*<<([^<>]*)>>");
  static const std::regex indirect("/DecodeParms\\s+(\\d+)\\s+\\d+\\s+R");
  std::smatch m;
  if (std::regex_search(dict, m, direct)) return m[1];
  std::string referenced;
  if (std::regex_search(dict, m, indirect) &&
      RunTool("qpdf --show-object=" + std::string(m[1]) + " '" + path + "'", referenced)) {
    return referenced;
  }
  return std::string();
}

// qpdf completes a predictor's last, incomplete row (as if the missing
// encoded bytes were zeros); we hand back the bytes that are there. Equal
// apart from that completion.
bool EqualButForCompletedLastRow(const std::vector<uint8_t>& ours, const std::string& qpdf, int rowBytes) {
  if (rowBytes <= 0 || ours.size() >= qpdf.size() || qpdf.size() % rowBytes != 0 ||
      qpdf.size() - ours.size() >= static_cast<size_t>(rowBytes)) {
    return false;
  }
  return std::equal(ours.begin(), ours.end(), qpdf.begin(),
                    [](uint8_t a, char b) { return a == static_cast<uint8_t>(b); });
}


int IntParam(const std::string& parms, const char* key, int fallback) {
  std::smatch m;
  std::regex re(std::string("/") + key + "\\s+(-?\\d+)");
  return std::regex_search(parms, m, re) ? std::stoi(m[1]) : fallback;
}

TEST(FilterCorpus, MatchesQpdf) {
  if (CorpusDir().empty() || system("qpdf --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no corpus or qpdf";
  AppContext context;
  int files = 0, compared = 0, equal = 0, completedByQpdf = 0, different = 0, skipped = 0;
  size_t unencrypted = 0;
  for (const CorpusFile& file : CorpusFiles()) {
    if (file.encrypted != "none" || unencrypted++ % kFileStride != 0) continue;
    ++files;
    for (int object : StreamObjectNumbers(ReadWholeFile(file.path), kObjectsPerFile)) {
      std::string dict, raw, filtered;
      std::string base = "qpdf --show-object=" + std::to_string(object) + " '" + file.path + "'";
      if (!RunTool(base, dict) || dict.find("/Filter") == std::string::npos) continue;
      const std::vector<std::string> names = StreamFilterNames(dict);
      bool usable = !names.empty() && dict.find("/DecodeParms [") == std::string::npos;
      for (const auto& n : names) usable = usable && n != "DCTDecode" && n != "CCITTFaxDecode" && n != "JBIG2Decode" && n != "JPXDecode";
      if (!usable || !RunTool(base + " --raw-stream-data", raw) || !RunTool(base + " --filtered-stream-data", filtered)) {
        ++skipped;
        continue;
      }
      const std::string parms = DecodeParms(dict, file.path);
      data_io::FilterParams params;
      params.predictor.Set(IntParam(parms, "Predictor", 1));
      params.SetColumns(IntParam(parms, "Columns", 1));
      params.colors.Set(IntParam(parms, "Colors", 1));
      params.bitsPerComponent.Set(IntParam(parms, "BitsPerComponent", 8));
      params.earlyChange.Set(IntParam(parms, "EarlyChange", 1));
      std::vector<uint8_t> decoded;
      int32_t code = RaisedCode(context, [&] {
        Owned<data_io::DataBlockStream> stream(context, NewMemoryStream(context, std::vector<uint8_t>(raw.begin(), raw.end())));
        for (size_t i = 0; i < names.size(); ++i) {
          data_io::FilterParams none;
          AddFilter(context, stream, names[i], i + 1 == names.size() ? params : none);
        }
        decoded = ReadAll(context, *stream);
      });
      ++compared;
      const int rowBytes = params.predictor >= 10 ? (params.columns * params.colors * params.bitsPerComponent + 7) / 8 : 0;
      if (code < 0 && decoded == std::vector<uint8_t>(filtered.begin(), filtered.end())) {
        ++equal;
      } else if (code < 0 && EqualButForCompletedLastRow(decoded, filtered, rowBytes)) {
        ++completedByQpdf;
      } else {
        ++different;
        ADD_FAILURE() << file.name << " object " << object << " filters " << ::testing::PrintToString(names) << " code " << code
                      << " sizes " << decoded.size() << " vs " << filtered.size();
      }
    }
  }
  std::printf("corpus streams: %d files, compared %d, equal %d, equal but for the last row qpdf completes %d, different %d, "
              "skipped %d\n",
              files, compared, equal, completedByQpdf, different, skipped);
  EXPECT_GT(compared, 0);
}

}  // namespace
}  // namespace vn::test
