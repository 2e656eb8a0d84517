// Tests the shared string records: one record per text and run, never one of PutString's.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "support/run_state.h"
#include "support/string_memory.h"

namespace {

class SharedStringsTest : public ::testing::Test {
protected:
  RunState run;
  RunState::Scope scope{run};
};

tStringRef shared(const std::string &text) { return PutSharedString(text.data(), text.size()); }

TEST_F(SharedStringsTest, EqualTextsShareARecordAndOthersDoNot) {
  const tStringRef level = shared("05");
  EXPECT_EQ(shared("05"), level);
  EXPECT_STREQ(StGetCStr(level), "05");
  EXPECT_EQ(LengthSt(level), 2u);
  // Texts that differ only in length, an embedded NUL or one character each
  // have their own record.
  EXPECT_NE(shared("0"), level);
  EXPECT_NE(shared("050"), level);
  EXPECT_NE(shared(std::string("05\0", 3)), level);
  EXPECT_EQ(LengthSt(shared(std::string("05\0", 3))), 3u);
  EXPECT_NE(shared("06"), level);
  EXPECT_EQ(PutSharedString("S9(4)V99 and more", 8), shared("S9(4)V99"))
      << "only `length` characters count";
  // The empty text is a text like any other.
  EXPECT_EQ(shared(""), shared(""));
  EXPECT_EQ(LengthSt(shared("")), 0u);
  // A record of PutString stays its caller's own.
  const tStringRef own = PutString("05", 2);
  EXPECT_NE(own, level);
  EXPECT_EQ(shared("05"), level);
  EXPECT_EQ(SharedStringCount(), 7u); // 05, 0, 050, 05 and NUL, 06, S9(4)V99, ""
}

TEST_F(SharedStringsTest, RecordsSurviveTheTableGrowing) {
  // Far more texts than the first table holds: every growth moves the
  // records to new slots, and each must still be found there.
  std::vector<tStringRef> first;
  for (int i = 0; i < 20000; ++i)
    first.push_back(shared("X(" + std::to_string(i) + ")"));
  EXPECT_EQ(SharedStringCount(), 20000u);
  for (int i = 0; i < 20000; ++i) {
    const std::string text = "X(" + std::to_string(i) + ")";
    ASSERT_EQ(shared(text), first[i]) << text;
    ASSERT_EQ(StGetCStr(first[i]), text);
  }
  EXPECT_EQ(SharedStringCount(), 20000u);
}

TEST_F(SharedStringsTest, LongTextsAreCutBeforeTheyAreCompared) {
  const std::string longText(70000, 'L');
  const tStringRef cut = shared(longText);
  EXPECT_EQ(LengthSt(cut), 65535u);
  EXPECT_EQ(shared(longText.substr(0, 65535)), cut);
  EXPECT_EQ(shared(longText + "M"), cut) << "characters past 65535 are not kept";
}

TEST_F(SharedStringsTest, EachRunHasItsOwnRecords) {
  const tStringRef outer = shared("88");
  {
    RunState other;
    RunState::Scope inner(other);
    EXPECT_EQ(SharedStringCount(), 0u);
    const tStringRef there = shared("88");
    EXPECT_NE(there, outer);
    EXPECT_STREQ(StGetCStr(there), "88");
  }
  EXPECT_EQ(shared("88"), outer);
  EXPECT_EQ(SharedStringCount(), 1u);
}

} // namespace
