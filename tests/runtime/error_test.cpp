#include "runtime/error.h"

#include <gtest/gtest.h>

#include <cstring>

#include "runtime/app_context.h"
#include "support/test_context.h"

namespace vn {
namespace {

TEST(Error, RaiseReachesTheInnermostFrameWithItsCode) {
  AppContext context;
  TryFrame frame;
  volatile int reached = 0;
  if (VN_TRY(context, frame)) {
    reached = 1;
    RaiseCode(context, kBadData);
  } else {
    const Error& error = Catch(frame);
    EXPECT_EQ(error.code, kBadData);
    EXPECT_STREQ(error.domain, "varnow_runtime");
    EXPECT_FALSE(error.flag);
    EXPECT_TRUE(IsEngineError(frame, kBadData));
    reached = 2;
  }
  EndTry(frame);
  EXPECT_EQ(reached, 2);
  EXPECT_EQ(context.Errors().currentTry, nullptr);
}

TEST(Error, RaiseInsideHandlerGoesOutwardAndDiscardsTheFirstError) {
  AppContext context;
  TryFrame outer;
  volatile int outerCode = -1;
  if (VN_TRY(context, outer)) {
    TryFrame inner;
    if (VN_TRY(context, inner)) {
      RaiseCode(context, kBadData);
    } else {
      Catch(inner);
      RaiseCode(context, kUnsupported);  // raised while handling
    }
    EndTry(inner);
    ADD_FAILURE() << "the inner region must not complete";
  } else {
    outerCode = Catch(outer).code;
  }
  EndTry(outer);
  EXPECT_EQ(outerCode, kUnsupported);
  EXPECT_EQ(context.Errors().currentTry, nullptr);
}

TEST(Error, LeavingARegionWithAnUntakenErrorPassesItOutward) {
  AppContext context;
  TryFrame outer;
  volatile int outerCode = -1;
  if (VN_TRY(context, outer)) {
    TryFrame inner;
    if (VN_TRY(context, inner)) {
      RaiseCode(context, kOverflow);
    }
    // The handler did not Catch: EndTry hands the error on.
    EndTry(inner);
    ADD_FAILURE() << "EndTry must not return with an untaken error";
  } else {
    outerCode = Catch(outer).code;
  }
  EndTry(outer);
  EXPECT_EQ(outerCode, kOverflow);
}

TEST(Error, RethrowSkipsFramesThatAlreadyHoldAnError) {
  AppContext context;
  TryFrame outermost;
  volatile int code = -1;
  if (VN_TRY(context, outermost)) {
    TryFrame middle;
    if (VN_TRY(context, middle)) {
      RaiseCode(context, kBadData);
    } else {
      Catch(middle);
      // While middle holds its error, an error raised in a nested region and
      // rethrown must skip middle and reach the outermost frame.
      TryFrame inner;
      if (VN_TRY(context, inner)) {
        RaiseCode(context, kCancelled);
      } else {
        Catch(inner);
        Rethrow(context);
      }
      EndTry(inner);
    }
    EndTry(middle);
  } else {
    code = Catch(outermost).code;
  }
  EndTry(outermost);
  EXPECT_EQ(code, kCancelled);
  EXPECT_EQ(context.Errors().currentTry, nullptr);
}

TEST(Error, PoliciesAbsorbOrRethrowByCode) {
  AppContext context;
  EXPECT_EQ(test::RaisedCode(context, [&] {
              TryFrame frame;
              if (VN_TRY(context, frame)) RaiseCode(context, kBadData);
              else AbsorbAllButCancel(context, frame);
              EndTry(frame);
            }),
            -1);
  EXPECT_EQ(test::RaisedCode(context, [&] {
              TryFrame frame;
              if (VN_TRY(context, frame)) RaiseCode(context, kCancelled);
              else AbsorbAllButCancel(context, frame);
              EndTry(frame);
            }),
            kCancelled);
  EXPECT_EQ(test::RaisedCode(context, [&] {
              TryFrame frame;
              if (VN_TRY(context, frame)) RaiseCode(context, kOutOfMemory);
              else AbsorbOnly(context, frame, kBadData);
              EndTry(frame);
            }),
            kOutOfMemory);
}

TEST(Error, IsEngineErrorComparesTheDomainByText) {
  TryFrame frame{};
  char copy[] = "varnow_runtime";  // same text, different address
  frame.holdsEngineError = true;
  frame.error = Error{copy, kBadData, false};
  EXPECT_TRUE(IsEngineError(frame, kBadData));
  EXPECT_FALSE(IsEngineError(frame, kOverflow));
  frame.error.domain = "other_domain";
  EXPECT_FALSE(IsEngineError(frame, kBadData));
  frame.holdsEngineError = false;
  frame.error.domain = copy;
  EXPECT_FALSE(IsEngineError(frame, kBadData));
}

TEST(ErrorDeathTest, RaiseWithoutAFrameEndsTheProcessWithMinusOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        AppContext context;
        RaiseCode(context, kBadData);
      },
      ::testing::ExitedWithCode(255), "");
}

}  // namespace
}  // namespace vn
