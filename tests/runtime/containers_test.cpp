// Checked arithmetic, arenas, engine arrays and intrusive lists.
#include <gtest/gtest.h>

#include "runtime/app_context.h"
#include "runtime/arena.h"
#include "runtime/checked_math.h"
#include "runtime/engine_array.h"
#include "runtime/linked_list.h"
#include "support/test_context.h"

namespace vn {
namespace {

TEST(CheckedMath, RoundUp4AtTheTopOfTheRange) {
  AppContext context;
  EXPECT_EQ(RoundUp4(context, 0), 0u);
  EXPECT_EQ(RoundUp4(context, 1), 4u);
  EXPECT_EQ(RoundUp4(context, 8), 8u);
  EXPECT_EQ(RoundUp4(context, 0xFFFFFFFBu), 0xFFFFFFFCu);
  EXPECT_EQ(test::RaisedCode(context, [&] { RoundUp4(context, 0xFFFFFFFCu); }), kOverflow);
  EXPECT_EQ(test::RaisedCode(context, [&] { RoundUp4(context, 0xFFFFFFFFu); }), kOverflow);
}

TEST(CheckedMath, MultiplyRaisesExactlyWhenTheProductOverflows) {
  AppContext context;
  EXPECT_EQ(CheckedMultiply(context, 0, 0xFFFFFFFFu), 0u);
  EXPECT_EQ(CheckedMultiply(context, 0x10000u, 0xFFFFu), 0xFFFF0000u);
  EXPECT_EQ(CheckedMultiply(context, 0xFFFFFFFFu, 1), 0xFFFFFFFFu);
  EXPECT_EQ(test::RaisedCode(context, [&] { CheckedMultiply(context, 0x10000u, 0x10000u); }), kOverflow);
  EXPECT_EQ(test::RaisedCode(context, [&] { CheckedAdd(context, 0xFFFFFFFFu, 1); }), kOverflow);
}

TEST(Arena, MarksReleaseEverythingAllocatedAfterThem) {
  AppContext context;
  uint32_t before = context.Budget().BytesInUse();
  {
    Arena arena(context, 1024, 256);
    auto* first = static_cast<char*>(arena.Allocate(10));
    first[0] = 'x';
    Arena::Mark mark = arena.GetMark();
    for (int i = 0; i < 100; ++i) arena.Allocate(100);  // several chunks
    arena.Allocate(5000);                                // a block of its own
    EXPECT_GT(arena.BytesReserved(), 10000u);
    arena.ReleaseTo(mark);
    EXPECT_LT(arena.BytesReserved(), 1100u);
    EXPECT_EQ(first[0], 'x');
    auto* again = static_cast<char*>(arena.Allocate(8));
    EXPECT_EQ(again, first + 16);  // allocation resumes right after the mark
    EXPECT_EQ(reinterpret_cast<uintptr_t>(again) % 8, 0u);
  }
  EXPECT_EQ(context.Budget().BytesInUse(), before);
}

TEST(Arena, ScopeReleasesOnRaise) {
  AppContext context;
  Arena arena(context, 1024, 256);
  arena.Allocate(16);
  uint32_t reserved = arena.BytesReserved();
  EXPECT_EQ(test::RaisedCode(context,
                             [&] {
                               ArenaScope scope(context, arena);
                               for (int i = 0; i < 50; ++i) arena.Allocate(300);
                               RaiseCode(context, kBadData);
                             }),
            kBadData);
  EXPECT_EQ(arena.BytesReserved(), reserved);
}

TEST(EngineArray, GrowsAndFreesThroughTheBudget) {
  AppContext context(test::TinyLimits(100000, 200000));
  uint32_t before = context.Budget().BytesInUse();
  {
    EngineArray<uint32_t> values(context);
    for (uint32_t i = 0; i < 1000; ++i) values.Push(i * 3);
    EXPECT_EQ(values.Size(), 1000u);
    EXPECT_EQ(values[999], 2997u);
    values.Resize(1200);
    EXPECT_EQ(values[1100], 0u);
    EXPECT_EQ(test::RaisedCode(context, [&] { values.Reserve(100000); }), kOutOfMemory);
    EXPECT_EQ(values[10], 30u);  // a failed growth keeps the contents
  }
  EXPECT_EQ(context.Budget().BytesInUse(), before);
}

TEST(EngineArray, PushesItsOwnElementWhileGrowing) {
  AppContext context;
  EngineArray<uint64_t> values(context);
  values.Push(7);
  for (int i = 0; i < 100; ++i) values.Push(values[0]);  // grows at 8, 16, 32, 64 while reading itself
  EXPECT_EQ(values.Size(), 101u);
  for (uint64_t v : values) EXPECT_EQ(v, 7u);
}

struct Item : LinkedListElement<Item> {
  explicit Item(int v) : value(v) {}
  int value;
};

TEST(DoublyLinkedList, ElementsUnlinkThemselves) {
  AppContext context;
  uint32_t before = context.Budget().BytesInUse();
  {
    DoublyLinkedList<HeapAllocator<Item>, Item> list{HeapAllocator<Item>(context)};
    Item* a = list.EmplaceBack(1);
    Item* b = list.EmplaceBack(2);
    Item* c = list.EmplaceBack(3);
    EXPECT_EQ(list.First(), a);
    EXPECT_EQ(a->NextElement(), b);
    list.Erase(b);
    EXPECT_EQ(a->NextElement(), c);
    EXPECT_EQ(c->PreviousElement(), a);
    list.Erase(c);
    EXPECT_EQ(list.Last(), a);
    EXPECT_FALSE(list.Empty());
  }
  EXPECT_EQ(context.Budget().BytesInUse(), before);
}

}  // namespace
}  // namespace vn
