// How much engine-thread stack parsing takes: a parser-shaped recursion over
// synthetic nesting (bytes per level, deepest nesting a slot allows) and
// over real documents, expanded with qpdf so that every object is plain
// text. The numbers are printed; the checks are that real documents fit and
// that nesting too deep for the stack ends in kStackExhausted, not a crash.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/threads/mini_parser.h"
#include "runtime/threads/thread_test_support.h"
#include "support/corpus.h"
#include "support/shell.h"

namespace vn {
namespace {

struct ParseResult {
  test::MiniStats stats;
  uint32_t stackBytes = 0;
  int32_t error = -1;
};

class StackDepthTest : public test::ThreadsTest {
 protected:
  void SetUp() override {
    test::ThreadsTest::SetUp();
    StackPool::Shared().SetPainting(true);
  }
  void TearDown() override {
    StackPool::Shared().SetPainting(false);
    test::ThreadsTest::TearDown();
  }

  ParseResult ParseOnThread(const std::string& data) {
    ParseResult result;
    ThreadImpl* thread = Spawn([&] {
      test::MiniLexer lexer(reinterpret_cast<const unsigned char*>(data.data()), data.size());
      test::MiniParser parser(context, lexer, ScratchArena(context), result.stats);
      parser.ParseAll();
    });
    Drain();
    result.stackBytes = thread->StackHighWater();
    if (thread->EndedByError()) result.error = thread->EndError().code;
    return result;
  }
};

std::string Nested(const char* open, const char* close, uint32_t depth) {
  std::string data;
  for (uint32_t i = 0; i < depth; ++i) data += open;
  data += "1";
  for (uint32_t i = 0; i < depth; ++i) data += close;
  return data;
}

TEST_F(StackDepthTest, SyntheticNestingCostPerLevel) {
  // The first run may bind library symbols lazily on the thread's stack
  // (the dynamic linker's resolver saves the vector registers there); the
  // second shows the parser's own use.
  ParseResult first = ParseOnThread("1 2 3");
  ParseResult flat = ParseOnThread("1 2 3");
  ParseResult arrays10 = ParseOnThread(Nested("[", "]", 10));
  ParseResult arrays20 = ParseOnThread(Nested("[", "]", 20));
  ParseResult dicts10 = ParseOnThread(Nested("<< /K ", " >>", 10));
  ParseResult dicts20 = ParseOnThread(Nested("<< /K ", " >>", 20));
  for (const ParseResult* result : {&arrays10, &arrays20, &dicts10, &dicts20}) EXPECT_EQ(result->error, -1);
  EXPECT_EQ(arrays20.stats.deepest, 20u);
  EXPECT_EQ(dicts20.stats.deepest, 20u);
  ASSERT_GT(arrays20.stackBytes, arrays10.stackBytes);
  ASSERT_GT(dicts20.stackBytes, dicts10.stackBytes);
  uint32_t perArray = (arrays20.stackBytes - arrays10.stackBytes) / 10;
  uint32_t perDict = (dicts20.stackBytes - dicts10.stackBytes) / 10;

  ParseResult tooDeep = ParseOnThread(Nested("[", "]", 5000));
  EXPECT_EQ(tooDeep.error, kStackExhausted);
  std::printf(
      "[ stack    ] thread + parser base %u bytes (%u on a first run); %u bytes per array level, %u per "
      "dictionary level; deepest nesting reached on a %u-byte stack: %u\n",
      flat.stackBytes, first.stackBytes, perArray, perDict, kStackSlotBytes, tooDeep.stats.deepest);
}

TEST_F(StackDepthTest, RealDocumentsFitAnEngineStack) {
  if (test::CorpusDir().empty()) GTEST_SKIP() << "no corpus";
  if (std::system("qpdf --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no qpdf";
#if defined(__SANITIZE_ADDRESS__)
  const size_t maxFiles = 12;
#else
  const size_t maxFiles = 60;
#endif
  std::string expanded = test::ScratchPath("stack_depth.pdf");
  uint32_t deepestNesting = 0;
  uint32_t deepestStack = 0;
  std::string deepestFile;
  size_t parsed = 0;
  for (const test::CorpusFile& file : test::CorpusFiles()) {
    if (parsed == maxFiles) break;
    if (file.bytes > 1500000 || file.encrypted != "none") continue;
    std::string command = "qpdf --qdf --object-streams=disable --decode-level=none '" + file.path + "' '" +
                          expanded + "' >/dev/null 2>&1";
    int status = std::system(command.c_str());
    if (status != 0 && WEXITSTATUS(status) != 3) continue;  // 3: warnings
    std::vector<unsigned char> bytes = test::ReadWholeFile(expanded);
    if (bytes.empty()) continue;
    ParseResult result = ParseOnThread(std::string(bytes.begin(), bytes.end()));
    ++parsed;
    EXPECT_EQ(result.error, -1) << file.name;
    EXPECT_GT(result.stats.objects, 0u) << file.name;
    if (result.stackBytes > deepestStack) {
      deepestStack = result.stackBytes;
      deepestFile = file.name;
    }
    deepestNesting = std::max(deepestNesting, result.stats.deepest);
  }
  std::remove(expanded.c_str());
  std::printf("[ stack    ] %zu documents: deepest object nesting %u, deepest stack use %u of %u bytes (%s)\n", parsed,
              deepestNesting, deepestStack, kStackSlotBytes, deepestFile.c_str());
}

}  // namespace
}  // namespace vn
