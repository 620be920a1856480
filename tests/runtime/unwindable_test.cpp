#include "runtime/unwindable.h"

#include <gtest/gtest.h>

#include "runtime/app_context.h"
#include "runtime/engine_array.h"
#include "runtime/engine_new.h"
#include "support/test_context.h"

namespace vn {
namespace {

// Records which unwind functions ran, in order.
struct Journal {
  char events[16] = {};
  int count = 0;
  void Add(char c) { events[count++] = c; }
};

class Base : public Unwindable {
 public:
  Base(AppContext& context, Journal& journal) : journal_(journal) {
    RegisterUnwindable(context, this, &UnwindBase);
  }
  void ResetBase() {
    UnregisterUnwindable(this);
    journal_.Add('b');
  }

 protected:
  static void UnwindBase(Unwindable* record) { static_cast<Base*>(record)->ResetBase(); }
  Journal& journal_;
};

class Derived : public Base {
 public:
  Derived(AppContext& context, Journal& journal, bool raiseBeforeRegistering) : Base(context, journal) {
    if (raiseBeforeRegistering) RaiseCode(context, kBadData);
    RegisterUnwindable(context, this, &UnwindDerived);
  }

 private:
  static void UnwindDerived(Unwindable* record) {
    auto* self = static_cast<Derived*>(record);
    self->journal_.Add('d');
    self->ResetBase();
  }
};

TEST(Unwindable, HalfConstructedObjectUnwindsOnlyItsBuiltPart) {
  AppContext context;
  Journal journal;
  EXPECT_EQ(test::RaisedCode(context, [&] { Derived object(context, journal, true); }), kBadData);
  EXPECT_STREQ(journal.events, "b");
  EXPECT_EQ(UnwindHead(context), nullptr);
}

TEST(Unwindable, FullyBuiltObjectUnwindsThroughTheDerivedFunction) {
  AppContext context;
  Journal journal;
  EXPECT_EQ(test::RaisedCode(context,
                             [&] {
                               Derived object(context, journal, false);
                               RaiseCode(context, kBadData);
                             }),
            kBadData);
  EXPECT_STREQ(journal.events, "db");
}

TEST(Unwindable, RaiseUnwindsNewestFirstAndOnlyPastTheFrame) {
  AppContext context;
  Journal journal;
  Base survivor(context, journal);
  EXPECT_EQ(test::RaisedCode(context,
                             [&] {
                               Base first(context, journal);
                               Derived second(context, journal, false);
                               RaiseCode(context, kOverflow);
                             }),
            kOverflow);
  EXPECT_STREQ(journal.events, "dbb");
  EXPECT_EQ(UnwindHead(context), &survivor);
  survivor.ResetBase();
}

TEST(Unwindable, UnregisterFromTheMiddleKeepsTheListLinked) {
  AppContext context;
  Unwindable a, b, c;
  auto noop = [](Unwindable* r) { UnregisterUnwindable(r); };
  RegisterUnwindable(context, &a, noop);
  RegisterUnwindable(context, &b, noop);
  RegisterUnwindable(context, &c, noop);
  UnregisterUnwindable(&b);
  EXPECT_EQ(UnwindHead(context), &c);
  EXPECT_EQ(c.next, &a);
  UnregisterUnwindable(&c);
  EXPECT_EQ(UnwindHead(context), &a);
  UnregisterUnwindable(&a);
  EXPECT_EQ(UnwindHead(context), nullptr);
  // Registering twice keeps one registration but takes the newer function.
  RegisterUnwindable(context, &a, noop);
  RegisterUnwindable(context, &a, nullptr);
  EXPECT_EQ(a.next, nullptr);
  EXPECT_EQ(a.unwindFn, nullptr);
  UnregisterUnwindable(&a);
}

TEST(Unwindable, LocalGuardRestoresStateOnlyWhenAnErrorPasses) {
  AppContext context;
  int state = 0;
  auto restore = [](void* p) { *static_cast<int*>(p) = 0; };
  {
    state = 1;
    LocalGuard guard(context, restore, &state);
    guard.Dismiss();
  }
  EXPECT_EQ(state, 1);
  EXPECT_EQ(test::RaisedCode(context,
                             [&] {
                               state = 2;
                               LocalGuard guard(context, restore, &state);
                               RaiseCode(context, kBadData);
                             }),
            kBadData);
  EXPECT_EQ(state, 0);
}

// A class whose members are Unwindables: built through New or Scoped it is
// unwound once, as a whole.
struct Composite {
  Composite(AppContext& context, int* destroyed, bool raise) : array(context), destroyed(destroyed) {
    array.Push(7);
    if (raise) RaiseCode(context, kBadData);
  }
  ~Composite() { ++*destroyed; }
  EngineArray<int> array;
  int* destroyed;
};

TEST(Unwindable, NewFreesStorageWhenTheConstructorRaises) {
  AppContext context;
  int destroyed = 0;
  uint32_t before = context.Budget().BytesInUse();
  EXPECT_EQ(test::RaisedCode(context, [&] { New<Composite>(context, context, &destroyed, true); }), kBadData);
  EXPECT_EQ(context.Budget().BytesInUse(), before);
  EXPECT_EQ(destroyed, 0);  // the destructor of a half-built object never runs
}

TEST(Unwindable, NewLeavesNothingOnTheUnwindList) {
  AppContext context;
  int destroyed = 0;
  uint32_t before = context.Budget().BytesInUse();
  Composite* object = New<Composite>(context, context, &destroyed, false);
  EXPECT_EQ(UnwindHead(context), nullptr);
  EXPECT_EQ(test::RaisedCode(context,
                             [&] {
                               Owned<Composite> owner(context, object);
                               RaiseCode(context, kBadData);
                             }),
            kBadData);
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(context.Budget().BytesInUse(), before);
}

TEST(Unwindable, ScopedObjectIsDestroyedExactlyOnceByARaise) {
  AppContext context;
  int destroyed = 0;
  uint32_t before = context.Budget().BytesInUse();
  EXPECT_EQ(test::RaisedCode(context,
                             [&] {
                               Scoped<Composite> local(context, context, &destroyed, false);
                               local->array.Push(8);
                               RaiseCode(context, kOverflow);
                             }),
            kOverflow);
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(context.Budget().BytesInUse(), before);
  {
    Scoped<Composite> local(context, context, &destroyed, false);
  }
  EXPECT_EQ(destroyed, 2);
  EXPECT_EQ(context.Budget().BytesInUse(), before);
}

TEST(Owned, SettingTheHeldObjectKeepsItAndWrapHandsOver) {
  AppContext context;
  int destroyed = 0;
  const uint32_t before = context.Budget().BytesInUse();
  {
    Owned<Composite> owner(context, New<Composite>(context, context, &destroyed, false));
    Composite* held = owner.get();
    owner.Set(held);  // a stage that handed its source back: nothing to replace
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(owner.get(), held);
    owner.Wrap(held);
    EXPECT_EQ(destroyed, 0);
    Composite* other = New<Composite>(context, context, &destroyed, false);
    owner.Set(other);
    EXPECT_EQ(destroyed, 1);
    // Wrap deletes nothing: the wrapping stage owns what was held.
    Composite* wrapped = owner.Release();
    owner.Wrap(wrapped);
    EXPECT_EQ(destroyed, 1);
  }
  EXPECT_EQ(destroyed, 2);
  EXPECT_EQ(context.Budget().BytesInUse(), before);
}

// Unregistering the record a frame saved as the head, then raising, would
// unwind past the frame into its callers' records: debug builds stop there.
TEST(UnwindableDeathTest, AFramesSavedHeadMustStayRegistered) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEBUG_DEATH(
      {
        AppContext context;
        Journal journal;
        Base caller(context, journal);
        Base head(context, journal);
        test::RaisedCode(context, [&] {
          head.ResetBase();
          RaiseCode(context, kBadData);
        });
        caller.ResetBase();
      },
      "saved head");
}

}  // namespace
}  // namespace vn
