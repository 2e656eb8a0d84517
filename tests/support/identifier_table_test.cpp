#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "support/identifier_table.h"
#include "support/string_memory.h"
#include "support/memory_pools.h"

namespace {

// What `write` prints to a stream, and what it prints to standard error.
template <class Write> std::pair<std::string, std::string> Written(Write write) {
  char *text = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&text, &size);
  ::testing::internal::CaptureStderr();
  write(stream);
  std::fclose(stream);
  std::pair<std::string, std::string> result{std::string(text, size),
                                             ::testing::internal::GetCapturedStderr()};
  std::free(text);
  return result;
}

class IdentsTest : public ::testing::Test {
protected:
  void SetUp() override {
    TearDown();
    InitStringMemory();
    InitIdents();
  }
  void TearDown() override {
    CloseIdents();
    CloseStringMemory();
    CloserMemory();
  }
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
  // Texts above 127 keep every byte.
  const char *umlauts = "\xc4\xd6\xdc-FELD";
  tIdent upper = MakeIdent(umlauts);
  EXPECT_NE(MakeIdent("\xe4\xf6\xfc-feld"), upper);
  EXPECT_EQ(MakeIdent(umlauts), upper);
  char buffer[32];
  GetString(upper, buffer);
  EXPECT_STREQ(buffer, umlauts);
  EXPECT_TRUE(IsEqualSt(GetStringRef(upper), umlauts));
  CloseIdents();
  EXPECT_EQ(MakeIdent("CUST-ID"), 3u) << "CloseIdents starts numbering afresh";
}

TEST_F(IdentsTest, NumberOf1024DoublesTablesWithoutRenumbering) {
  std::vector<std::string> names;
  for (tIdent expected = 3; expected < 1024; ++expected) {
    names.push_back("NAME-" + std::to_string(expected));
    ASSERT_EQ(MakeIdent(names.back().c_str()), expected);
  }
  EXPECT_EQ(IdentTableSize(), 1024u);
  EXPECT_EQ(IdentBucketCount(), 256u);
  names.push_back("NAME-1024");
  EXPECT_EQ(MakeIdent(names.back().c_str()), 1024u);
  EXPECT_EQ(IdentTableSize(), 2048u);
  EXPECT_EQ(IdentBucketCount(), 512u);
  for (std::size_t i = 0; i < names.size(); ++i) {
    ASSERT_EQ(MakeIdent(names[i].c_str()), i + 3) << names[i];
    ASSERT_STREQ(GetCStr(static_cast<tIdent>(i + 3)), names[i].c_str());
  }
  EXPECT_EQ(MakeIdent(""), NoIdent) << "the reserved number must not capture the empty text";
  EXPECT_EQ(MakeIdent("NAME-1025"), 1025u);
}

TEST(IdentsHashTest, CharactersAboveSevenBitsHashAsNegative) {
  EXPECT_EQ(HashText("", 0), 0u);
  EXPECT_EQ(HashText("AB", 2), 0x452u);
  EXPECT_EQ(HashText("CUSTOMER-RECORD", 15), 0xafd3694u);
  EXPECT_EQ(HashText("\xff", 1), 0x0fffff0fu);
  EXPECT_EQ(HashText("\xc4\xd6\xdc", 3), 0x0fff3eccu);
}

TEST_F(IdentsTest, WritingReportsUndefinedReferences) {
  tIdent ident = MakeIdent("CUST-NAME");
  auto idents = Written([&](FILE *stream) {
    for (tIdent i : {ident, NoIdent, ident + 1, 0u})
      WriteIdent(stream, i);
  });
  EXPECT_EQ(idents.first, "CUST-NAME");
  EXPECT_EQ(idents.second, "Error       tIdent out of bounds\nError       tIdent out of bounds\n");
  auto strings = Written([](FILE *stream) {
    WriteString(stream, PutString("PIC X", 5));
    WriteString(stream, nullptr);
  });
  EXPECT_EQ(strings.first, "PIC X");
  EXPECT_EQ(strings.second, "Error       tStringRef undefined (NULL)\n");
}

TEST_F(IdentsTest, StringRecordsArePackedAtEvenSizesAndLongOnesGetTheirOwnBlock) {
  tStringRef a = PutString("abc", 3);   // 2 + 3 + 1 = 6
  tStringRef b = PutString("ab", 2);    // 2 + 2 + 1 = 5 -> 6
  tStringRef c = PutString("", 0);      // 3 -> 4
  tStringRef d = PutString("wxyz!", 3); // only three characters
  EXPECT_EQ(b - a, 6);
  EXPECT_EQ(c - b, 6);
  EXPECT_EQ(d - c, 4);
  EXPECT_STREQ(StGetCStr(d), "wxy");
  EXPECT_TRUE(IsEqualSt(d, "wxyz"));
  EXPECT_FALSE(IsEqualSt(d, "wxq"));

  std::string chunk(10000, 'x');
  tStringRef first = PutString(chunk.c_str(), chunk.size());
  tStringRef second = PutString(chunk.c_str(), chunk.size());
  EXPECT_EQ(second - first, 10004);
  tStringRef third = PutString(chunk.c_str(), chunk.size());
  EXPECT_NE(third - second, 10004) << "the third record does not fit into a 20480-byte block";
  std::string longText(30000, 'L');
  longText[29999] = 'E';
  tStringRef big = PutString(longText.c_str(), longText.size());
  EXPECT_EQ(LengthSt(big), 30000u);
  std::string buffer(30001, '\0');
  StGetString(big, buffer.data());
  EXPECT_EQ(buffer.c_str(), longText);
  EXPECT_EQ(StGetCStr(third), chunk);
}

} // namespace
