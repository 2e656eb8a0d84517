// Tests identifier numbering, table growth, hashing, undefined writes and string records.
#include <atomic>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

#include "support/identifier_table.h"
#include "support/run_memory.h"
#include "support/run_state.h"
#include "support/string_memory.h"

namespace {

// A run of its own for each test.
class IdentsTest : public ::testing::Test {
protected:
  RunState run;
  RunState::Scope scope{run};
};

TEST_F(IdentsTest, NumbersAreDenseFromThreeAndStableForEqualTexts) {
  EXPECT_EQ(MakeIdent(""), NoIdent);
  EXPECT_EQ(MaxIdent(), 2u) << "the empty name must not be entered again";
  tIdent first = MakeIdent("CUST-REC");
  EXPECT_EQ(first, 3u);
  EXPECT_EQ(MakeIdent("CUST-ID"), 4u);
  EXPECT_EQ(MakeIdent("CUST-REC"), first);
  EXPECT_EQ(MakeIdent("CUST-RECORD", 8), first) << "only `length` characters count";
  EXPECT_EQ(MakeIdent("CUST-RE"), 5u) << "a prefix is a different text";
  EXPECT_NE(MakeIdent("A\0B", 3), MakeIdent("A", 1)) << "an embedded NUL counts";
  EXPECT_EQ(LengthIdent(MakeIdent("A\0B", 3)), 3u);
  EXPECT_STREQ(GetCStr(first), "CUST-REC");
  EXPECT_STREQ(GetCStr(2), "");
  EXPECT_STREQ(GetCStr(0), "") << "unknown identifiers read as the empty text";
  EXPECT_STREQ(GetCStr(MaxIdent() + 1), "");
  EXPECT_EQ(LengthIdent(MaxIdent() + 1), 0u);
  // Texts above 127 keep every byte.
  const char *umlauts = "\xc4\xd6\xdc-FELD";
  tIdent upper = MakeIdent(umlauts);
  EXPECT_NE(MakeIdent("\xe4\xf6\xfc-feld"), upper);
  EXPECT_EQ(MakeIdent(umlauts), upper);
  EXPECT_STREQ(GetCStr(upper), umlauts);
  const char *firstText = GetCStr(first);
  CloseIdents();
  EXPECT_EQ(MakeIdent("CUST-ID"), 3u) << "CloseIdents starts numbering afresh";
  EXPECT_STREQ(firstText, "CUST-REC") << "texts stay valid until the run ends";
}

TEST_F(IdentsTest, NumberOf1024GrowsTheTablesWithoutRenumbering) {
  std::vector<std::string> names;
  for (tIdent expected = 3; expected <= 5000; ++expected) {
    names.push_back("NAME-" + std::to_string(expected));
    ASSERT_EQ(MakeIdent(names.back().c_str()), expected);
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    ASSERT_EQ(MakeIdent(names[i].c_str()), i + 3) << names[i];
    ASSERT_STREQ(GetCStr(static_cast<tIdent>(i + 3)), names[i].c_str());
  }
  EXPECT_EQ(MakeIdent(""), NoIdent) << "the reserved number must not capture the empty text";
  EXPECT_EQ(MakeIdent("NAME-5001"), 5001u);
}

// Room reserved after some texts were entered (a copybook's size known
// when its file opens) and again smaller than the table: the same numbers
// as without it, every earlier text found again.
TEST_F(IdentsTest, RoomReservedKeepsNumbersAndEarlierTexts) {
  std::vector<std::string> names;
  for (tIdent expected = 3; expected <= 3000; ++expected) {
    names.push_back("FIELD-" + std::to_string(expected));
    if (expected == 700)
      ReserveIdents(70000);
    if (expected == 2000)
      ReserveIdents(10);
    ASSERT_EQ(MakeIdent(names.back().c_str()), expected);
  }
  for (std::size_t i = 0; i < names.size(); ++i)
    ASSERT_EQ(MakeIdent(names[i].c_str()), i + 3) << names[i];
  EXPECT_EQ(MakeIdent(""), NoIdent);
  EXPECT_EQ(MaxIdent(), 3000u);
}

// A hint from a source of a terabyte (a data file given by mistake) makes
// only a bounded room: unbounded, the links' room alone asked for 8 TB and
// the run ended before its first line.
TEST_F(IdentsTest, RoomForAHugeSourceIsBounded) {
  EXPECT_NO_THROW(ReserveIdents(1UL << 40));
  EXPECT_EQ(MakeIdent("FIELD-1"), 3u);
  EXPECT_EQ(MakeIdent("FIELD-1"), 3u);
  EXPECT_STREQ(GetCStr(3), "FIELD-1");
}

// The bucket's hash of a text of up to six characters below 128 is
// sum(c[i] * 16^(n-1-i)) (nothing reaches the top nibble to be folded), so
// these texts share one value by hand: 'A'*16+'Q' = 'B'*16+'A' = 'C'*16+'1'
// = 'D'*16+'!' = 1121, and the prefix "X-" adds the same to each. They
// share a chain; each must still be told apart and found again, whichever
// end of the chain it stands at. A leading NUL adds nothing either, so
// "\x0a\x01" and "\x00\x0a\x01" (10*16+1 = 161) differ only in length.
TEST_F(IdentsTest, TextsOfEqualBucketHashAreToldApartAlongTheirChain) {
  const std::vector<std::string> sameHash = {"AQ", "BA", "C1", "D!", "X-AQ", "X-BA", "X-C1"};
  std::vector<tIdent> made;
  for (const std::string &text : sameHash)
    made.push_back(MakeIdent(text.c_str()));
  for (std::size_t i = 0; i < made.size(); ++i)
    EXPECT_EQ(made[i], 3 + i) << sameHash[i] << " must be new";
  for (std::size_t i = sameHash.size(); i-- > 0;) {
    EXPECT_EQ(MakeIdent(sameHash[i].c_str()), made[i]) << sameHash[i];
    EXPECT_STREQ(GetCStr(made[i]), sameHash[i].c_str());
  }
  tIdent two = MakeIdent("\x0a\x01", 2);
  tIdent three = MakeIdent("\x00\x0a\x01", 3);
  EXPECT_NE(two, three);
  EXPECT_EQ(MakeIdent("\x00\x0a\x01", 3), three);
  EXPECT_EQ(MakeIdent("\x0a\x01", 2), two);
  EXPECT_EQ(MaxIdent(), 3 + sameHash.size() + 1) << "no text entered twice";
}

// A conversion reads the texts of identifiers already made on another
// thread while the parse makes new ones: the table's growth (past 1024,
// 2048, ... entries) must never move an entry from under the reader. The
// reader checks every published identifier's text and length against the
// name it was made from; a table that moves its entries on growing makes
// it read freed memory (caught by the address sanitizer, and by the thread
// sanitizer as a race).
TEST_F(IdentsTest, TextsOfMadeIdentifiersStayReadableWhileTheTableGrows) {
  constexpr tIdent count = 150000;
  std::vector<std::string> names(count + 3);
  for (tIdent ident = 3; ident < count + 3; ++ident)
    names[ident] = "ITEM-" + std::to_string(ident * 7919 % 1000003);
  std::atomic<tIdent> published{2};
  std::atomic<bool> done{false};
  std::size_t mismatches = 0, reads = 0;
  RunState &parsing = run;
  std::thread reader([&] {
    RunState::Scope readerScope(parsing);
    tIdent next = 3;
    for (bool last = false; !last;) {
      last = done.load();
      for (tIdent upTo = published.load(); next <= upTo; ++next, ++reads)
        if (names[next] != GetCStr(next) || LengthIdent(next) != names[next].size())
          ++mismatches;
      // Reread the oldest ones as the table grows past them.
      for (tIdent old = 3; old < 3 + 64 && old < next; ++old, ++reads)
        if (names[old] != GetCStr(old))
          ++mismatches;
    }
  });
  for (tIdent ident = 3; ident < count + 3; ++ident) {
    if (MakeIdent(names[ident].c_str()) != ident) {
      ADD_FAILURE() << names[ident] << " was not given " << ident;
      break;
    }
    published.store(ident);
  }
  done.store(true);
  reader.join();
  EXPECT_EQ(mismatches, 0u);
  EXPECT_GE(reads, static_cast<std::size_t>(count));
}

TEST_F(IdentsTest, StringRecordsKeepLengthAndCutAt65535) {
  tStringRef a = PutString("abc", 3);
  tStringRef d = PutString("wxyz!", 3); // only three characters
  EXPECT_STREQ(StGetCStr(a), "abc");
  EXPECT_EQ(LengthSt(a), 3u);
  EXPECT_STREQ(StGetCStr(d), "wxy");
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(d) % 2, 0u) << "the length field stays aligned";
  EXPECT_STREQ(StGetCStr(nullptr), "");
  EXPECT_EQ(LengthSt(nullptr), 0u);
  EXPECT_EQ(LengthSt(PutString("", 0)), 0u);

  std::string longText(70000, 'L');
  tStringRef big = PutString(longText.c_str(), longText.size());
  EXPECT_EQ(LengthSt(big), 65535u);
  EXPECT_EQ(StGetCStr(big), longText.substr(0, 65535));
  // An identifier remembers its whole length, but only the record is compared.
  tIdent ident = MakeIdent(longText.c_str(), longText.size());
  EXPECT_EQ(LengthIdent(ident), 70000u);
  EXPECT_EQ(MakeIdent(longText.c_str(), longText.size()), ident);
}

TEST_F(IdentsTest, ArenaCountsWhatItObtainsPerRun) {
  EXPECT_EQ(RunArenaBytes(), 0u);
  void *small = RunAllocate(24, 8);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(small) % 8, 0u);
  const std::size_t afterFirst = RunArenaBytes();
  EXPECT_GE(afterFirst, 24u);
  RunAllocate(8, 8);
  EXPECT_EQ(RunArenaBytes(), afterFirst) << "small requests share the block";
  RunAllocate(1 << 20, 16);
  EXPECT_GE(RunArenaBytes(), afterFirst + (1u << 20));
  RunState other;
  RunState::Scope inner(other);
  EXPECT_EQ(RunArenaBytes(), 0u);
}

} // namespace
