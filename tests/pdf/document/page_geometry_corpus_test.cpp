// Page counts, visible boxes and rotations of every corpus page, checked
// against pdfinfo.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "pdf/document/page_tree.h"
#include "pdf/document/store_resolver.h"
#include "support/test_documents.h"
#include "support/shell.h"
#include "support/test_context.h"

namespace vn::pdf::document {
namespace {

// Pages checked per file, to keep the run short on long documents.
constexpr int32_t kMaxPagesPerFile = 200;

struct ReferencePage {
  double media[4] = {};
  double crop[4] = {};
  int rotate = 0;
};

struct ReferenceDocument {
  int pages = -1;
  std::map<int, ReferencePage> page;
};

ReferenceDocument ReadPdfinfo(const test::CorpusFile& file, int lastPage) {
  ReferenceDocument doc;
  std::string password = file.userPassword.empty() ? "" : " -upw '" + file.userPassword + "'";
  std::string command = "pdfinfo -box -f 1 -l " + std::to_string(lastPage) + password + " '" + file.path + "'";
  std::stringstream lines(test::RunShell(command).out);
  static const std::regex pages(R"(^Pages:\s+(\d+))");
  static const std::regex rot(R"(^Page\s+(\d+) rot:\s+(-?\d+))");
  static const std::regex box(R"(^Page\s+(\d+) (MediaBox|CropBox):\s+(\S+)\s+(\S+)\s+(\S+)\s+(\S+))");
  std::string line;
  std::smatch m;
  while (std::getline(lines, line)) {
    if (std::regex_search(line, m, pages)) {
      doc.pages = std::stoi(m[1]);
    } else if (std::regex_search(line, m, rot)) {
      doc.page[std::stoi(m[1])].rotate = std::stoi(m[2]);
    } else if (std::regex_search(line, m, box)) {
      double* out = m[2] == "MediaBox" ? doc.page[std::stoi(m[1])].media : doc.page[std::stoi(m[1])].crop;
      for (int i = 0; i < 4; ++i) out[i] = std::stod(m[3 + i]);
    }
  }
  return doc;
}

bool SameBox(const FixedRect& ours, const double* theirs) {
  const int32_t values[4] = {ours.x0, ours.y0, ours.x1, ours.y1};
  for (int i = 0; i < 4; ++i) {
    // pdfinfo prints two decimals.
    if (std::fabs(values[i] / 65536.0 - theirs[i]) > 0.006) return false;
  }
  return true;
}

std::string BoxText(const FixedRect& r) {
  char text[96];
  std::snprintf(text, sizeof text, "[%.2f %.2f %.2f %.2f]", r.x0 / 65536.0, r.y0 / 65536.0, r.x1 / 65536.0,
                r.y1 / 65536.0);
  return text;
}

TEST(PageGeometryCorpus, CountsBoxesAndRotationsAgreeWithPdfinfo) {
  auto files = test::CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "corpus absent";
  if (std::system("command -v pdfinfo >/dev/null 2>&1") != 0) GTEST_SKIP() << "pdfinfo absent";
  int documents = 0, pagesCompared = 0, pagesEqual = 0, countsDiffer = 0;
  for (const auto& f : files) {
    if (!test::EngineCanOpen(f)) continue;
    AppContext context;
    Owned<store::DocumentStore> store(context);
    if (test::OpenCorpusDocument(context, f, store) != -1) continue;  // the store's own test reports these
    StoreResolver resolver(*store);
    int32_t count = -1;
    if (test::RaisedCode(context, [&] { count = GetPageCount(resolver); }) != -1) {
      ADD_FAILURE() << f.name << ": the page count cannot be read";
      continue;
    }
    const int32_t checked = std::min(count, kMaxPagesPerFile);
    ReferenceDocument reference = ReadPdfinfo(f, checked);
    if (reference.pages < 0) continue;  // pdfinfo cannot open it
    ++documents;
    if (reference.pages != count) {
      ++countsDiffer;
      ADD_FAILURE() << f.name << ": " << count << " pages, pdfinfo says " << reference.pages;
      continue;
    }
    for (int32_t page = 1; page <= checked; ++page) {
      PageGeometry geometry{};
      int32_t code = test::RaisedCode(context, [&] {
        ResolvedValue object(context);
        resolver.GetIndirectObject(GetPageReference(resolver, page - 1), object);
        geometry = GetPageGeometry(resolver, object);
      });
      ++pagesCompared;
      const ReferencePage& theirs = reference.page[page];
      if (code != -1) {
        ADD_FAILURE() << f.name << " page " << page << ": engine error " << code;
      } else if (!SameBox(geometry.mediaBox, theirs.media) || !SameBox(geometry.visible, theirs.crop) ||
                 geometry.rotation != theirs.rotate) {
        ADD_FAILURE() << f.name << " page " << page << ": media " << BoxText(geometry.mediaBox) << " box "
                      << BoxText(geometry.visible) << " rotate " << geometry.rotation << "; pdfinfo media ["
                      << theirs.media[0] << " " << theirs.media[1] << " " << theirs.media[2] << " "
                      << theirs.media[3] << "] crop [" << theirs.crop[0] << " " << theirs.crop[1] << " "
                      << theirs.crop[2] << " " << theirs.crop[3] << "] rotate " << theirs.rotate;
      } else {
        ++pagesEqual;
      }
    }
  }
  std::printf("page geometry: %d documents, %d differ in page count; %d pages compared, %d equal\n", documents,
              countsDiffer, pagesCompared, pagesEqual);
  EXPECT_GT(documents, 200);
}

}  // namespace
}  // namespace vn::pdf::document
