// Decodes the JPXDecode and JBIG2Decode streams of the corpus through the
// engine's filter chain and compares the samples with pdfimages' (poppler's
// own JBIG2 decoder; OpenJPEG for JPX, with poppler's colour handling).
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstdio>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "data_io/image_codec_test_support.h"
#include "data_io/qpdf_dictionary.h"
#include "data_io/stream_objects.h"
#include "support/corpus.h"
#include "support/shell.h"

namespace vn::test {
namespace {

bool Contains(const std::vector<unsigned char>& bytes, const std::string& text) {
  return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
}

// pdfimages' image index of each object's first use, for the JPX and JBIG2 images.
std::map<int, int> ImageIndexes(const std::string& path) {
  std::string list;
  std::map<int, int> indexes;
  if (!RunTool("pdfimages -list '" + path + "' 2>/dev/null", list)) return indexes;
  std::istringstream lines(list);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string page, num, type, width, height, color, comp, bpc, enc, interp, object;
    if (!(fields >> page >> num >> type >> width >> height >> color >> comp >> bpc >> enc >> interp >> object)) continue;
    if ((enc != "jpx" && enc != "jbig2") || !std::isdigit(static_cast<unsigned char>(num[0]))) continue;
    indexes.emplace(std::stoi(object), std::stoi(num));
  }
  return indexes;
}

// The reference's samples as ours are laid out: bitmaps as stored (pdfimages
// writes 1 for black, the PDF's data has 0 for black), 16-bit samples
// compared by their high byte.
std::vector<uint8_t> Flatten(const DecodedImage& image) {
  std::vector<uint8_t> flat;
  for (const auto& row : image.rows) {
    if (image.layout.bitsPerComponent == 16) {
      for (size_t i = 0; i < row.size(); i += 2) flat.push_back(row[i]);
    } else {
      flat.insert(flat.end(), row.begin(), row.end());
    }
  }
  return flat;
}

TEST(ImageCodecCorpus, MatchesPdfimages) {
  if (CorpusDir().empty() || system("qpdf --version >/dev/null 2>&1 && pdfimages -v >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "no corpus, qpdf or pdfimages";
  char directory[] = "/tmp/folio-codecs-XXXXXX";
  ASSERT_NE(mkdtemp(directory), nullptr);
  AppContext context;
  std::map<std::string, int> counts;  // "jpx equal", "jbig2 different", ...
  std::string ignoredOutput;
  for (const CorpusFile& file : CorpusFiles()) {
    if (file.encrypted != "none") continue;
    const std::vector<unsigned char> bytes = ReadWholeFile(file.path);
    if (!Contains(bytes, "JPXDecode") && !Contains(bytes, "JBIG2Decode")) continue;
    const std::map<int, int> indexes = ImageIndexes(file.path);
    const std::string prefix = std::string(directory) + "/img";
    std::string ignored;
    RunTool("rm -f " + prefix + "-*; pdfimages '" + file.path + "' " + prefix + " 2>/dev/null", ignored);
    // The images pdfimages lists, among the stream objects of the file's bytes.
    const std::set<int> streams = StreamObjectNumbers(bytes, 999);
    for (const auto& [object, index] : indexes) {
      if (streams.count(object) == 0) continue;
      std::string dict, raw;
      std::string base = "qpdf --show-object=" + std::to_string(object) + " '" + file.path + "'";
      if (!RunTool(base + " 2>/dev/null", dict)) continue;
      const std::vector<std::string> names = StreamFilterNames(dict);
      if (names.empty() || (names.back() != "JPXDecode" && names.back() != "JBIG2Decode")) continue;
      const std::string kind = names.back() == "JPXDecode" ? "jpx" : "jbig2";
      if (!RunTool(base + " --raw-stream-data 2>/dev/null", raw)) continue;
      std::string globals;
      std::smatch m;
      static const std::regex globalsReference("/JBIG2Globals (\\d+) 0 R");
      if (std::regex_search(dict, m, globalsReference)) {
        RunTool("qpdf --show-object=" + m[1].str() + " --filtered-stream-data '" + file.path + "' 2>/dev/null", globals);
      }
      data_io::FilterParams params;
      params.jbig2Globals = reinterpret_cast<const uint8_t*>(globals.data());
      params.jbig2GlobalsLength = static_cast<uint32_t>(globals.size());
      const DecodedImage ours =
          DecodeThrough(context, std::vector<uint8_t>(raw.begin(), raw.end()), names, params);

      PnmImage reference;
      bool haveReference = false;
      char number[16];
      std::snprintf(number, sizeof(number), "-%03d", index);
      for (const char* extension : {".pbm", ".pgm", ".ppm"}) {
        if (reference.Read(prefix + number + extension)) haveReference = true;
      }
      std::string outcome;
      if (ours.code != -1) {
        // Damaged data: a clean error, and the reference has nothing either.
        outcome = std::string(haveReference ? "failed (reference decodes)" : "failed by both") + " code " + std::to_string(ours.code);
        if (ours.code != kBadData && ours.code != kUnsupported) ADD_FAILURE() << file.name << " " << object << " code " << ours.code;
      } else if (!haveReference) {
        outcome = "no reference";
      } else if (reference.width != static_cast<int>(ours.layout.width) ||
                 reference.height != static_cast<int>(ours.layout.height)) {
        outcome = "different size " + std::to_string(reference.width) + "x" + std::to_string(reference.height) +
                  " vs " + std::to_string(ours.layout.width) + "x" + std::to_string(ours.layout.height);
      } else if (reference.channels != (ours.layout.bitsPerComponent == 1 ? 0 : static_cast<int>(ours.layout.components))) {
        outcome = "skipped (reference converted the colours)";
      } else if (dict.find("/SMaskInData") != std::string::npos && ours.layout.hasAlpha) {
        // pdfimages reads the colour-and-alpha data as colour-only pixels.
        outcome = "skipped (pdfimages misreads SMaskInData)";
      } else {
        std::vector<uint8_t> flat = Flatten(ours);
        if (reference.channels == 0) {
          for (uint8_t& byte : flat) byte = static_cast<uint8_t>(~byte);
          // Bits past the width: ignored.
          uint32_t rowBytes = (ours.layout.width + 7) / 8;
          uint8_t mask = static_cast<uint8_t>(0xFF << ((8 - ours.layout.width % 8) % 8));
          for (size_t i = rowBytes - 1; i < flat.size(); i += rowBytes) {
            flat[i] &= mask;
            reference.data[i] &= mask;
          }
        }
        int maxDifference = 0;
        for (size_t i = 0; i < flat.size() && i < reference.data.size(); ++i)
          maxDifference = std::max(maxDifference, std::abs(flat[i] - reference.data[i]));
        outcome = flat.size() != reference.data.size() ? "different size"
                  : maxDifference == 0                  ? "equal"
                  : maxDifference <= 2                  ? "within 2"
                                                        : "different";
        if (outcome != "equal" && outcome != "within 2")
          ADD_FAILURE() << file.name << " object " << object << " max difference " << maxDifference;
      }
      std::printf("  %s object %d %s: %s\n", file.name.c_str(), object, kind.c_str(), outcome.c_str());
      ++counts[kind + " " + outcome];
    }
  }
  RunTool(std::string("rm -rf ") + directory, ignoredOutput);
  std::printf("JPX/JBIG2 corpus:");
  for (const auto& [what, count] : counts) std::printf(" %s %d;", what.c_str(), count);
  std::printf("\n");
  EXPECT_GT(counts["jbig2 equal"] + counts["jpx equal"], 0);
}

}  // namespace
}  // namespace vn::test
