#include "runtime/threads/main_thread_task.h"

#include <gtest/gtest.h>

#include <cstring>

#include "runtime/threads/thread_test_support.h"
#include "runtime/yield_points.h"
#include "support/test_context.h"

namespace vn {
namespace {

using test::RaisedCode;
using test::ThreadsTest;

struct RecordingTask {
  ThreadScheduler* scheduler = nullptr;
  int runs = 0;
  bool ranOnMain = false;
  int32_t Run(AppContext&) {
    ++runs;
    ranOnMain = scheduler->MainIsCurrent();
    return 42;
  }
};

TEST_F(ThreadsTest, PostedTaskRunsOnTheMainThreadAndReturnsItsResult) {
  RecordingTask task;
  task.scheduler = &S();
  int32_t result = 0;
  Spawn([&] { result = PostMainThreadTask(context, task); });
  S().Yield();  // the poster queues the task and blocks
  EXPECT_EQ(task.runs, 0);
  EXPECT_EQ(S().RingSize(), 1u);
  S().RunScheduler(1000);
  EXPECT_EQ(task.runs, 1);
  EXPECT_TRUE(task.ranOnMain);
  Drain();
  EXPECT_EQ(result, 42);
  test::ThreadsTest::DropThreads();
  EXPECT_EQ(context.Budget().BytesInUse(), startBytes);
}

TEST_F(ThreadsTest, TaskPostedOnTheMainThreadRunsDirectly) {
  RecordingTask task;
  task.scheduler = &S();
  EXPECT_EQ(PostMainThreadTask(context, task), 42);
  EXPECT_EQ(task.runs, 1);
  EXPECT_EQ(context.Budget().BytesInUse(), startBytes);
}

struct FailingTask {
  int32_t Run(AppContext& context) { RaiseUnsupported(context); }
};

TEST_F(ThreadsTest, ErrorOfATaskIsRaisedOnThePoster) {
  FailingTask task;
  ThreadImpl* poster = Spawn([&] { PostMainThreadTask(context, task); });
  Drain();
  EXPECT_EQ(poster->EndError().code, kUnsupported);
  EXPECT_EQ(context.Errors().currentTry, nullptr);
}

TEST_F(ThreadsTest, KilledPosterTakesItsQueuedTaskAlong) {
  RecordingTask task;
  task.scheduler = &S();
  ThreadImpl* poster = Spawn([&] { PostMainThreadTask(context, task); });
  S().Yield();
  S().Kill(poster);
  S().RunScheduler(1000);
  EXPECT_EQ(task.runs, 0);
  DropThreads();
  EXPECT_EQ(context.Budget().BytesInUse(), startBytes);
}

TEST_F(ThreadsTest, SchedulerDoesNotNestInsideATask) {
  struct Nesting {
    ThreadScheduler* scheduler;
    uint64_t switchesDuring = 0;
    int32_t Run(AppContext&) {
      uint64_t before = scheduler->Switches();
      scheduler->RunScheduler(100);
      scheduler->Yield();
      switchesDuring = scheduler->Switches() - before;
      return 0;
    }
  } task{&S()};
  Spawn([&] { PostMainThreadTask(context, task); });
  Spawn([&] {
    for (int i = 0; i < 100; ++i) YieldPoint(context);
  });
  Drain();
  EXPECT_EQ(task.switchesDuring, 0u);
}

class FakeDialogs : public PasswordHost, public MessageBoxHost, public OpenDocumentHost {
 public:
  int32_t AskPassword(char* password, uint32_t capacity, uint32_t* length) override {
    if (answer == nullptr) return 0;
    size_t n = std::strlen(answer);
    if (n > capacity) n = capacity;
    std::memcpy(password, answer, n);
    *length = static_cast<uint32_t>(n);
    return 1;
  }
  void PrepareForMessageBox() override { trace += "prepare;"; }
  int32_t ShowMessageBox(const wchar_t* text, const wchar_t* caption, uint32_t style) override {
    trace += "show(" + std::to_string(std::wcslen(text)) + "," + std::to_string(std::wcslen(caption)) + "," +
             std::to_string(style) + ");";
    return 7;
  }
  void RestoreAfterMessageBox() override { trace += "restore;"; }
  int32_t CompleteOpen(void* document) override {
    trace += document != nullptr ? "open;" : "none;";
    return 1;
  }
  const char* answer = nullptr;
  std::string trace;
};

TEST_F(ThreadsTest, TheThreeTaskKinds) {
  FakeDialogs dialogs;
  char password[8];
  PasswordDialogTask ask{&dialogs, password, sizeof password};
  MessageBoxTask plain{&dialogs, L"Hello", L"Folio", 3, 0};
  MessageBoxTask prepared{&dialogs, L"Hi", L"F", 1, 1};
  int document = 0;
  OpenDocumentTask open{&dialogs, &document};
  int32_t results[5] = {};
  Spawn([&] {
    results[0] = PostMainThreadTask(context, ask);
    dialogs.answer = "secret-longer";
    results[1] = PostMainThreadTask(context, ask);
    results[2] = PostMainThreadTask(context, plain);
    results[3] = PostMainThreadTask(context, prepared);
    results[4] = PostMainThreadTask(context, open);
  });
  Drain();
  EXPECT_EQ(results[0], 0);  // no answer the first time: cancelled
  EXPECT_EQ(results[1], 1);
  EXPECT_EQ(ask.cancelled, 0);
  EXPECT_EQ(std::string(password, ask.length), "secret-l");
  EXPECT_EQ(results[2], 7);
  EXPECT_EQ(plain.result, 7);
  EXPECT_EQ(results[3], 7);
  EXPECT_EQ(results[4], 1);
  EXPECT_EQ(dialogs.trace, "show(5,5,3);prepare;show(2,1,1);restore;open;");

  dialogs.answer = nullptr;
  EXPECT_EQ(PostMainThreadTask(context, ask), 0);
  EXPECT_EQ(ask.cancelled, 1);
}

}  // namespace
}  // namespace vn
