#include <cstdint>
#include <gtest/gtest.h>

#include "diagnostics/message_store.h"
#include "support/dynamic_array.h"
#include "support/integer_math.h"
#include "support/bit_sets.h"
#include "support/memory_pools.h"
#include "support/system_calls.h"

namespace {

char *Bytes(void *address) { return static_cast<char *>(address); }

class MemoryTest : public ::testing::Test {
protected:
  void SetUp() override { CloserMemory(); }
  void TearDown() override { CloserMemory(); }
};

TEST(GeneralTest, Log2RoundsDownAndExp2WrapsAt32) {
  const unsigned long log2[][2] = {{0, 0},  {1, 0},      {63, 5},
                                   {64, 6}, {16384, 14}, {0xFFFFFFFFUL, 31}};
  for (const auto &row : log2)
    EXPECT_EQ(Log2(row[0]), row[1]) << row[0];
  EXPECT_EQ(Exp2(10), 1024u);
  EXPECT_EQ(Exp2(33), 2u);
}

TEST_F(MemoryTest, SmallRequestsAreEightByteBlocksFromThePoolAndReusedBySizeClass) {
  void *a = Alloc(1);
  void *b = Alloc(1);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(a) % 8, 0u);
  EXPECT_EQ(Bytes(b) - Bytes(a), 8);
  EXPECT_EQ(Bytes(Alloc(13)) - Bytes(b), 8);
  EXPECT_EQ(MemoryUsed, 16384u + 8u) << "the first small request fetched one pool";
  Free(1, a);
  EXPECT_NE(Alloc(16), a);
  EXPECT_EQ(Alloc(8), a);
  void *c = Alloc(50);
  Free(50, c);
  EXPECT_EQ(Alloc(56), c);
}

TEST_F(MemoryTest, SixtyBytesIsALargeRequestOfSixtyFour) {
  void *a = Alloc(60);
  EXPECT_EQ(Bytes(Alloc(8)) - Bytes(a), 64);
  Free(60, a);
  EXPECT_EQ(Alloc(64), a);
}

TEST_F(MemoryTest, LargeRequestTakesBestFitOrABiggerClassAndGivesBackTheTail) {
  void *big = Alloc(120);
  void *snug = Alloc(104);
  void *block = Alloc(1024);
  Free(120, big);
  Free(104, snug);
  Free(1024, block);
  EXPECT_EQ(Alloc(72), snug);
  EXPECT_EQ(Alloc(32), Bytes(snug) + 72) << "the tail went to the small list";
  EXPECT_EQ(Alloc(120), big);
  EXPECT_EQ(Alloc(72), block);
  EXPECT_EQ(Alloc(952), Bytes(block) + 72);
}

TEST_F(MemoryTest, BigRequestComesDirectlyFromTheSystemUntilCloserMemory) {
  void *a = Alloc(20000);
  EXPECT_EQ(MemoryUsed, 20008u);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(a) % 8, 0u);
  Bytes(a)[19999] = 'x';
  Free(20000, a);
  EXPECT_EQ(Alloc(20000), a);
  EXPECT_EQ(MemoryUsed, 20008u);
  CloserMemory();
  EXPECT_EQ(MemoryUsed, 0u);
  // An exhausted pool's rest goes to the free lists.
  void *first = Alloc(16000);
  void *second = Alloc(400);
  EXPECT_EQ(MemoryUsed, 2 * (16384u + 8u));
  EXPECT_NE(Bytes(second), Bytes(first) + 16000);
  EXPECT_EQ(Alloc(384), Bytes(first) + 16000);
}

TEST_F(MemoryTest, RefusedSystemMemoryIsFatalAndYieldsNullWhenTheHooksReturn) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the sanitizer's allocator aborts instead of refusing";
#endif
  Alloc(8);
  void (*savedErrorsExit)() = Errors_Exit;
  void (*savedReuseExit)() = Reuse_Exit;
  static int exits;
  exits = 0;
  Errors_Exit = Reuse_Exit = [] { ++exits; };
  ::testing::internal::CaptureStderr();
  void *huge = Alloc(1UL << 62);
  std::string printed = ::testing::internal::GetCapturedStderr();
  Errors_Exit = savedErrorsExit;
  Reuse_Exit = savedReuseExit;
  EXPECT_EQ(huge, nullptr);
  EXPECT_EQ(exits, 2);
  EXPECT_EQ(printed, "Fatal       rMemory.Alloc out of memory: 16392\n");
  EXPECT_EQ(MemoryUsed, 16392u);
  EXPECT_NE(Alloc(8), nullptr) << "the pools stay usable";
}

TEST_F(MemoryTest, ArraysRoundToTheAlignmentAndWholeWords) {
  const unsigned long aligned[][2] = {{1, 1}, {2, 2}, {3, 4},   {4, 4},  {5, 8},
                                      {7, 8}, {8, 8}, {12, 16}, {17, 24}};
  for (const auto &row : aligned)
    EXPECT_EQ(AlignedSize(row[0]), row[1]) << "element size " << row[0];
  // {count asked, element size, count given}
  const unsigned long made[][3] = {{5, 1, 8}, {3, 2, 4}, {3, 12, 3}};
  void *array = nullptr;
  for (const auto &row : made) {
    unsigned long count = row[0];
    MakeArray(array, count, row[1]);
    EXPECT_EQ(count, row[2]) << row[0] << " of size " << row[1];
  }
  EXPECT_EQ(Bytes(Alloc(8)) - Bytes(array), 48) << "three elements of aligned size 16";
}

TEST_F(MemoryTest, ExtendArrayDoublesKeepsContentsAndFreesTheOldArea) {
  int *array = nullptr;
  unsigned long count = 16;
  MakeArray(array, count);
  for (int i = 0; i < 16; ++i)
    array[i] = i * 7;
  int *old = array;
  ExtendArray(array, count);
  EXPECT_EQ(count, 32u);
  for (int i = 0; i < 16; ++i)
    EXPECT_EQ(array[i], i * 7);
  array[31] = 1;
  EXPECT_EQ(Alloc(64), static_cast<void *>(old));
  ReleaseArray(array, count);
  EXPECT_EQ(array, nullptr);
}

TEST_F(MemoryTest, SetExtractReturnsElementsInAscendingOrderThenZero) {
  tSet set, other;
  MakeSet(set, 100);
  MakeSet(other, 100);
  for (unsigned element : {64, 0, 33, 100, 5})
    Include(set, element);
  EXPECT_EQ(Card(set), 5);
  for (unsigned element : {0, 5, 33, 64, 100})
    EXPECT_EQ(Extract(set), element);
  EXPECT_TRUE(IsEmpty(set));
  EXPECT_EQ(Extract(set), 0u);
  Include(set, 50);
  Include(other, 99);
  Union(set, other);
  Exclude(set, 50);
  Assign(other, set);
  EXPECT_EQ(Extract(set), 99u);
  EXPECT_TRUE(IsEmpty(set));
  EXPECT_TRUE(IsElement(99, other) && !IsElement(50, other)) << "Assign copies, not shares";
  ReleaseSet(set);
  ReleaseSet(other);
}

} // namespace
