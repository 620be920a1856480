// Engine-thread tests of the imaging core: long work yields at the work
// counter, and a kill there cancels it cleanly.
#pragma once

#include <gtest/gtest.h>

#include "runtime/error.h"
#include "runtime/threads/thread_test_support.h"

namespace vn::im::test {

class ImagingThreadsTest : public vn::test::ThreadsTest {
 protected:
  // Runs `thread` until its work counter yields (before `finished` is set),
  // then kills it: it must end with kCancelled, its memory given back.
  void ExpectCancelledMidWay(ThreadImpl* thread, const bool& finished) {
    S().Yield();
    EXPECT_FALSE(finished);
    EXPECT_FALSE(thread->HasEnded());
    S().Kill(thread);
    EXPECT_TRUE(thread->HasEnded());
    EXPECT_TRUE(thread->EndedByError());
    EXPECT_EQ(thread->EndError().code, kCancelled);
    DropThreads();
    S().ReapEnded();
    EXPECT_EQ(context.Budget().BytesInUse(), startBytes);
  }
};

}  // namespace vn::im::test
