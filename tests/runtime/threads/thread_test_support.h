// Helpers for the engine-thread tests: a thread kind whose body is a lambda,
// a host that counts notifications, and a fixture with a scheduler.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>

#include "runtime/app_context.h"
#include "runtime/engine_new.h"
#include "runtime/threads/scheduler.h"
#include "runtime/threads/stack_pool.h"
#include "runtime/threads/thread_impl.h"

namespace vn::test {

template <class Body>
class LambdaThread final : public ThreadImpl {
 public:
  LambdaThread(AppContext& context, Body body, uint32_t stackBytes)
      : ThreadImpl(context, 1024, 256, stackBytes), body_(std::move(body)) {}
  void Run() override { body_(); }

 protected:
  ~LambdaThread() override = default;

 private:
  Body body_;
};

template <class Body>
ThreadImpl* MakeThread(AppContext& context, Body body, uint32_t stackBytes = kMaxStackRequest) {
  return New<LambdaThread<Body>>(context, context, std::move(body), stackBytes);
}

class CountingHost : public HostServices {
 public:
  void NotifyThreadsRunnable() override {
    ++notifications;
    byteAtNotification = threadsRunnable;
  }
  int notifications = 0;
  int byteAtNotification = -1;
};

class ThreadsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    context.SetHost(&host);
    scheduler.emplace(context);
    startBytes = context.Budget().BytesInUse();
  }
  void TearDown() override {
    scheduler.reset();
    EXPECT_EQ(StackPool::Shared().FreeSlots(), kStackSlotCount);
  }
  ThreadScheduler& S() { return *scheduler; }
  // Starts a thread whose body is `body`; the test keeps a reference.
  template <class Body>
  ThreadImpl* Spawn(Body body, uint32_t stackBytes = kMaxStackRequest) {
    ThreadImpl* thread = MakeThread(context, std::move(body), stackBytes);
    thread->AddRef();
    held_.push_back(thread);
    S().Start(thread);
    return thread;
  }
  // Runs the scheduler until no engine thread is runnable (bounded).
  void Drain() {
    for (int i = 0; i < 10000 && S().RingSize() > 1; ++i) S().RunScheduler(1000);
  }
  void DropThreads() {
    for (ThreadImpl* thread : held_) thread->Release(context);
    held_.clear();
  }
  ~ThreadsTest() override { DropThreads(); }

  CountingHost host;
  AppContext context;
  std::optional<ThreadScheduler> scheduler;
  uint32_t startBytes = 0;
  std::string log;

 private:
  std::vector<ThreadImpl*> held_;
};

}  // namespace vn::test
