#include <cstdint>
#include <gtest/gtest.h>

#include "common/Errors.h"
#include "reuse/DynArray.h"
#include "reuse/General.h"
#include "reuse/Sets.h"
#include "reuse/rMemory.h"
#include "reuse/rSystem.h"

namespace {

char *Bytes(void *address) { return static_cast<char *>(address); }

class MemoryTest : public ::testing::Test {
protected:
  void SetUp() override { CloserMemory(); }
  void TearDown() override { CloserMemory(); }
};

TEST(GeneralTest, Log2RoundsDownAndExp2WrapsAt32) {
  EXPECT_EQ(Log2(0), 0u);
  EXPECT_EQ(Log2(1), 0u);
  EXPECT_EQ(Log2(63), 5u);
  EXPECT_EQ(Log2(64), 6u);
  EXPECT_EQ(Log2(16384), 14u);
  EXPECT_EQ(Log2(0xFFFFFFFFUL), 31u);
  EXPECT_EQ(Exp2(0), 1u);
  EXPECT_EQ(Exp2(10), 1024u);
  EXPECT_EQ(Exp2(33), 2u);
}

TEST_F(MemoryTest, SmallRequestsAreEightByteBlocksFromThePool) {
  void *a = Alloc(1);
  void *b = Alloc(1);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(a) % 8, 0u);
  EXPECT_EQ(Bytes(b) - Bytes(a), 8);
  void *c = Alloc(13);
  EXPECT_EQ(Bytes(c) - Bytes(b), 8);
  // The first small request fetched one pool directly from the system.
  EXPECT_EQ(MemoryUsed, 16384u + 8u);
}

TEST_F(MemoryTest, FreedSmallBlockIsReusedForTheSameSizeClassOnly) {
  void *a = Alloc(1);
  Free(1, a);
  void *other = Alloc(16);
  EXPECT_NE(other, a);
  EXPECT_EQ(Alloc(8), a);
  void *b = Alloc(50);
  Free(50, b);
  EXPECT_EQ(Alloc(56), b);
}

TEST_F(MemoryTest, SixtyBytesIsALargeRequestOfSixtyFour) {
  void *a = Alloc(60);
  void *next = Alloc(8);
  EXPECT_EQ(Bytes(next) - Bytes(a), 64);
  Free(60, a);
  // Kept on the large list of its size: a 64-byte request gets it back.
  EXPECT_EQ(Alloc(64), a);
}

TEST_F(MemoryTest, LargeRequestTakesBestFitAndGivesBackTheTail) {
  void *big = Alloc(120);
  void *snug = Alloc(104);
  Free(120, big);
  Free(104, snug);
  void *got = Alloc(72);
  EXPECT_EQ(got, snug);
  // The 32-byte tail of the chosen block went to the small list.
  EXPECT_EQ(Alloc(32), Bytes(snug) + 72);
  EXPECT_EQ(Alloc(120), big);
}

TEST_F(MemoryTest, LargeRequestFallsBackToABiggerSizeClass) {
  void *block = Alloc(1024);
  Free(1024, block);
  EXPECT_EQ(Alloc(72), block);
  EXPECT_EQ(Alloc(952), Bytes(block) + 72);
}

TEST_F(MemoryTest, BigRequestComesDirectlyFromTheSystem) {
  unsigned long before = MemoryUsed;
  void *a = Alloc(20000);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(MemoryUsed - before, 20008u);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(a) % 8, 0u);
  Bytes(a)[19999] = 'x';
  Free(20000, a);
  before = MemoryUsed;
  EXPECT_EQ(Alloc(20000), a);
  EXPECT_EQ(MemoryUsed, before);
}

TEST_F(MemoryTest, ExhaustedPoolRestGoesToTheFreeLists) {
  void *first = Alloc(16000);
  void *second = Alloc(400);
  EXPECT_EQ(MemoryUsed, 2 * (16384u + 8u));
  EXPECT_NE(Bytes(second), Bytes(first) + 16000);
  EXPECT_EQ(Alloc(384), Bytes(first) + 16000);
}

TEST_F(MemoryTest, CloserMemoryReturnsEverythingAndResetsTheCount) {
  Alloc(20000);
  Alloc(8);
  EXPECT_GT(MemoryUsed, 0u);
  CloserMemory();
  EXPECT_EQ(MemoryUsed, 0u);
  Alloc(8);
  EXPECT_EQ(MemoryUsed, 16384u + 8u);
}

TEST_F(MemoryTest, RefusedSystemMemoryIsFatalAndYieldsNullWhenTheHooksReturn) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the sanitizer's allocator aborts instead of refusing";
#endif
  Alloc(8);
  void (*savedErrorsExit)() = Errors_Exit;
  void (*savedReuseExit)() = Reuse_Exit;
  static int exits = 0;
  exits = 0;
  Errors_Exit = [] { ++exits; };
  Reuse_Exit = [] { ++exits; };
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

TEST(DynArrayTest, AlignedSizeRoundsToTheAlignment) {
  const unsigned long cases[][2] = {{1, 1}, {2, 2}, {3, 4}, {4, 4}, {5, 8}, {7, 8}, {8, 8}, {12, 16}, {17, 24}};
  for (const auto &c : cases)
    EXPECT_EQ(AlignedSize(c[0]), c[1]) << "element size " << c[0];
}

TEST_F(MemoryTest, MakeArrayRoundsTheCountToWholeWords) {
  void *array = nullptr;
  unsigned long count = 5;
  MakeArray(array, count, 1);
  EXPECT_EQ(count, 8u);
  count = 3;
  MakeArray(array, count, 2);
  EXPECT_EQ(count, 4u);
  count = 3;
  MakeArray(array, count, 12);
  EXPECT_EQ(count, 3u);
  // Three elements of aligned size 16: a 48-byte block, so the next one is 48 further.
  void *next = Alloc(8);
  EXPECT_EQ(Bytes(next) - Bytes(array), 48);
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
  EXPECT_NE(array, old);
  for (int i = 0; i < 16; ++i)
    EXPECT_EQ(array[i], i * 7);
  array[31] = 1;
  EXPECT_EQ(Alloc(64), static_cast<void *>(old));
  ReleaseArray(array, count);
  EXPECT_EQ(array, nullptr);
  EXPECT_EQ(count, 0u);
}

class SetsTest : public MemoryTest {};

TEST_F(SetsTest, ExtractReturnsElementsInAscendingOrderThenZero) {
  tSet set;
  MakeSet(set, 100);
  Include(set, 7);
  Include(set, 3);
  EXPECT_EQ(Extract(set), 3u);
  EXPECT_EQ(Extract(set), 7u);
  EXPECT_TRUE(IsEmpty(set));
  EXPECT_EQ(Extract(set), 0u);
  EXPECT_EQ(Card(set), 0);

  Include(set, 64);
  Include(set, 33);
  Include(set, 100);
  Include(set, 5);
  EXPECT_EQ(Card(set), 4);
  EXPECT_EQ(Extract(set), 5u);
  EXPECT_EQ(Extract(set), 33u);
  EXPECT_EQ(Extract(set), 64u);
  EXPECT_EQ(Extract(set), 100u);
  EXPECT_TRUE(IsEmpty(set));
  ReleaseSet(set);
}

TEST_F(SetsTest, ElementZeroIsAMemberLikeAnyOther) {
  tSet set;
  MakeSet(set, 31);
  EXPECT_TRUE(IsEmpty(set));
  Include(set, 0);
  EXPECT_FALSE(IsEmpty(set));
  EXPECT_TRUE(IsElement(0, set));
  EXPECT_EQ(Extract(set), 0u);
  EXPECT_TRUE(IsEmpty(set));
  ReleaseSet(set);
}

TEST_F(SetsTest, UnionAssignAndExcludeKeepBoundsUsable) {
  tSet a, b;
  MakeSet(a, 200);
  MakeSet(b, 200);
  Include(a, 150);
  Include(b, 2);
  Include(b, 199);
  Union(a, b);
  EXPECT_EQ(Card(a), 3);
  EXPECT_TRUE(IsElement(2, a) && IsElement(150, a) && IsElement(199, a));
  Exclude(a, 2);
  Exclude(a, 199);
  EXPECT_FALSE(IsElement(2, a));
  EXPECT_EQ(Extract(a), 150u);
  EXPECT_TRUE(IsEmpty(a));

  Assign(a, b);
  EXPECT_EQ(Card(a), 2);
  EXPECT_EQ(Extract(a), 2u);
  EXPECT_TRUE(IsElement(2, b)) << "Assign must copy, not share";
  AssignEmpty(b);
  EXPECT_TRUE(IsEmpty(b));
  EXPECT_FALSE(IsElement(200, b));
  ReleaseSet(a);
  ReleaseSet(b);
}

} // namespace
