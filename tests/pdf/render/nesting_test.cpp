// Graphics-state levels on an engine thread's small stack: deep q nesting
// moves to helper threads and is bounded, clips add no nesting, forms are
// clipped to their box and never drawn inside themselves, unbalanced Q is
// harmless, and a drawing that is killed and started again gives the same
// pixels.
#include <gtest/gtest.h>

#include <string>

#include "pdf/render/display_events.h"
#include "pdf/render/render_consumer.h"
#include "runtime/threads/stack_pool.h"
#include "support/render_pages.h"

namespace vn::test {
namespace {

using namespace pdf::render;

std::string Repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

const std::string kForm =
    StreamObject("/Type /XObject /Subtype /Form /BBox [0 0 50 50] /Matrix [1 0 0 1 10 10] /Resources << /XObject "
                 "<< /Self 5 0 R >> >>",
                 "0 0 1 rg -10 -10 100 100 re f /Self Do");

class NestingTest : public ::testing::Test {
 protected:
  Rendered Draw(const std::string& content, const std::string& resources = "",
                const std::vector<std::string>& objects = {}) {
    RenderRequest request;
    request.onEngineThread = true;
    return RenderPdf(context, OnePagePdf(content, resources, objects), request);
  }
  AppContext context;
};

TEST_F(NestingTest, DeepSavesContinueOnHelperStacks) {
  const int depth = static_cast<int>(kMaxNestedReplays) - 4;
  Rendered r = Draw(Repeat("q ", depth) + "1 0 0 rg 0 0 10 10 re f" + Repeat(" Q", depth) + " 0 0 1 rg 90 90 10 10 re f");
  EXPECT_EQ(r.error, -1);
  EXPECT_EQ(r.At(5, 95), "255,0,0");
  EXPECT_EQ(r.At(95, 5), "0,0,255");
  EXPECT_EQ(StackPool::Shared().FreeSlots(), kStackSlotCount);
}

TEST_F(NestingTest, NestingBeyondTheBoundEndsTheDrawingKeepingWhatWasDrawn) {
  // Unbalanced q, as damaged files have them: the replay nests past the bound.
  Rendered r = Draw("1 0 0 rg 0 0 10 10 re f " + Repeat("q 0 g ", 200) + "0 0 100 100 re f");
  EXPECT_EQ(r.error, kStackExhausted);
  EXPECT_EQ(r.At(5, 95), "255,0,0");
  EXPECT_EQ(StackPool::Shared().FreeSlots(), kStackSlotCount);
}

TEST_F(NestingTest, ManyClipsOnOneLevelCostNeitherStackNorMemory) {
  // 3000 clips at page level, each a path clip (not pixel-aligned): the
  // same one again and again, then each a little narrower.
  std::string same, narrowing;
  for (int i = 0; i < 3000; ++i) {
    same += "0.5 0.5 99 99 re W n ";
    narrowing += std::to_string(0.5 + i * 0.01) + " 0.5 99 99 re W n ";
  }
  for (const std::string& clips : {same, narrowing}) {
    const size_t before = context.Budget().PeakBytes();
    Rendered r = Draw(clips + "0 0 1 rg 0 0 100 100 re f");
    EXPECT_EQ(r.error, -1);
    EXPECT_EQ(r.At(50, 50), "0,0,255");
    // The first clip starts at x 0.5, the last of the narrowing ones at 30.49.
    EXPECT_EQ(r.At(0, 50), clips == same ? "128,128,255" : "255,255,255");
    EXPECT_EQ(r.At(29, 50), clips == same ? "0,0,255" : "255,255,255");
    EXPECT_EQ(r.At(31, 50), "0,0,255");
    EXPECT_LT(context.Budget().PeakBytes(), before + 2000000);
  }
}

TEST_F(NestingTest, UnbalancedRestoreIsHarmless) {
  Rendered r = Draw("Q Q 1 0 0 rg 0 0 10 10 re f q Q Q 0 0 1 rg 90 90 10 10 re f");
  EXPECT_EQ(r.error, -1);
  EXPECT_EQ(r.At(5, 95), "255,0,0");
  EXPECT_EQ(r.At(95, 5), "0,0,255");
}

TEST_F(NestingTest, FormsAreClippedToTheirBoxAndNeverDrawnInsideThemselves) {
  Rendered r = Draw("/Fm Do 0 1 0 rg 90 90 10 10 re f", "/XObject << /Fm 5 0 R >>", {kForm});
  EXPECT_EQ(r.error, -1);
  // The form paints its whole page blue, but only its box (10..60 in both
  // directions) shows.
  EXPECT_EQ(r.At(15, 85), "0,0,255");
  EXPECT_EQ(r.At(59, 41), "0,0,255");
  EXPECT_EQ(r.At(5, 95), "255,255,255");
  EXPECT_EQ(r.At(65, 35), "255,255,255");
  // The form's call of itself is skipped and the page goes on.
  EXPECT_EQ(r.Count(kEventObjectSkipped, kBadData), 1u);
  EXPECT_EQ(r.At(95, 5), "0,255,0");
}

TEST_F(NestingTest, AKilledDrawingStartedAgainGivesTheSamePixels) {
  std::string content = "1 0 0 RG 3 w ";
  for (int i = 0; i < 60; ++i) {
    content += "q " + std::to_string(i % 7 * 0.1) + " 0.5 0.2 rg " + std::to_string(i) + " " + std::to_string(i) +
               " 30 20 re f " + std::to_string(i) + " 0 m 100 " + std::to_string(100 - i) + " 50 50 " +
               std::to_string(i) + " 100 c S Q ";
  }
  const std::string pdf = OnePagePdf(content);
  RenderRequest whole;
  whole.onEngineThread = true;
  Rendered reference = RenderPdf(context, pdf, whole);
  ASSERT_EQ(reference.error, -1);
  for (uint64_t after : {3u, 40u, 150u}) {
    RenderRequest killed = whole;
    killed.killAfterSwitches = after;
    Rendered again = RenderPdf(context, pdf, killed);
    EXPECT_EQ(again.killedError, kCancelled) << after;
    EXPECT_EQ(again.error, -1);
    EXPECT_TRUE(again.bgr == reference.bgr) << "killed after " << after << " switches";
  }
  EXPECT_EQ(StackPool::Shared().FreeSlots(), kStackSlotCount);
}

}  // namespace
}  // namespace vn::test
