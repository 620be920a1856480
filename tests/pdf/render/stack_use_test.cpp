// The stack page drawing takes on an engine thread, measured on a fixed set
// of corpus pages and on deep synthetic nesting: the figures the render
// consumer's nesting thresholds are set from (printed), and the checks that
// one level's own work fits in the stack a nested replay starts with.
#include <gtest/gtest.h>

#include <cstdio>

#include "pdf/render/render_stack_probe.h"
#include "runtime/threads/thread_test_support.h"
#include "support/render_pages.h"
#include "support/test_context.h"
#include "support/test_documents.h"

namespace vn::test {
namespace {

using pdf::render::kNestedReplayStackReserve;

class StackUseTest : public ThreadsTest {
 protected:
  // Measures page 1 of `pdf` (file bytes) on a fresh engine thread.
  int32_t Measure(const std::string& bytes, StackFigures& figures) {
    Owned<pdf::store::DocumentStore> store(context);
    int32_t error = OpenMemoryDocument(context, bytes, store);
    if (error != -1) return error;
    Scoped<pdf::document::Document> document(context, *store);
    Scoped<pdf::pdfcolor::DocumentColorSpaces> colors(context, document->Resolver());
    Spawn([&] {
      const int32_t raised = RaisedCode(context, [&] { error = MeasurePage(context, *document, *colors, 0, figures); });
      if (raised != -1) error = raised;
    });
    Drain();
    return error;
  }
};

TEST_F(StackUseTest, OneLevelsOwnWorkFitsTheStackANestedReplayStartsWith) {
  if (kStackScale != 1) GTEST_SKIP() << "instrumented build: stack sizes differ";
  StackFigures figures;
  std::string nested;
  for (int i = 0; i < 30; ++i) nested += "q ";
  ASSERT_EQ(Measure(OnePagePdf(nested + "0 g 0 0 10 10 re f"), figures), -1);
  const uint32_t levelBytes = figures.levelBytes;

  int pages = 0, index = 0;
  for (const CorpusFile& file : CorpusFiles()) {
    if (index++ % 8 != 0 || !EngineCanOpen(file) || file.bytes > 3000000) continue;
    const std::vector<unsigned char> data = ReadWholeFile(file.path);
    Measure(std::string(data.begin(), data.end()), figures);
    ++pages;
  }
  std::printf("render stack: %u bytes per nested level; a level's own work reaches %u bytes below its frame "
              "(populating %u, painting %u; %u paths on %d corpus pages) and meets stack checks %u bytes down\n",
              levelBytes, std::max(figures.populateBytes, figures.paintBytes), figures.populateBytes,
              figures.paintBytes, figures.paths, pages, figures.checkBytes);
  // A nested replay starts with at least kNestedReplayStackReserve bytes.
  // Its frames and its deepest work must fit in them with room to spare,
  // and the stack checks met on the way must find their reserve intact.
  const uint32_t deepest = std::max(figures.populateBytes, figures.paintBytes);
  EXPECT_LT(levelBytes + deepest + 1024, kNestedReplayStackReserve);
  EXPECT_LE(levelBytes + figures.checkBytes + kStackCheckReserve, kNestedReplayStackReserve);
  EXPECT_GT(levelBytes, 0u);
}

}  // namespace
}  // namespace vn::test
