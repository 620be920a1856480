// Decodes corpus streams and compares them with qpdf's own decoding.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "data_io/filter_factory.h"
#include "data_io/memory_stream.h"
#include "data_io/qpdf_dictionary.h"
#include "support/corpus.h"
#include "support/shell.h"
#include "support/test_context.h"

namespace vn::test {
namespace {

int IntParam(const std::string& dict, const char* key, int fallback) {
  std::smatch m;
  std::regex re(std::string("/") + key + "\\s+(-?\\d+)");
  return std::regex_search(dict, m, re) ? std::stoi(m[1]) : fallback;
}

TEST(FilterCorpus, MatchesQpdf) {
  if (CorpusDir().empty() || system("qpdf --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no corpus or qpdf";
  const auto start = std::chrono::steady_clock::now();
  AppContext context;
  int compared = 0, equal = 0, different = 0, skipped = 0;
  for (const CorpusFile& file : CorpusFiles()) {
    if (file.encrypted != "none") continue;
    if (std::chrono::steady_clock::now() - start > std::chrono::seconds(40)) break;
    for (int object = 1; object <= 40; ++object) {
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
      data_io::FilterParams params;
      params.predictor.Set(IntParam(dict, "Predictor", 1));
      params.SetColumns(IntParam(dict, "Columns", 1));
      params.colors.Set(IntParam(dict, "Colors", 1));
      params.bitsPerComponent.Set(IntParam(dict, "BitsPerComponent", 8));
      params.earlyChange.Set(IntParam(dict, "EarlyChange", 1));
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
      if (code < 0 && decoded == std::vector<uint8_t>(filtered.begin(), filtered.end())) {
        ++equal;
      } else {
        ++different;
        ADD_FAILURE() << file.name << " object " << object << " filters " << ::testing::PrintToString(names) << " code " << code
                      << " sizes " << decoded.size() << " vs " << filtered.size();
      }
    }
  }
  std::printf("corpus streams: compared %d, equal %d, different %d, skipped %d\n", compared, equal, different, skipped);
}

}  // namespace
}  // namespace vn::test
