#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "reuse/Idents.h"
#include "reuse/StringM.h"
#include "reuse/rMemory.h"

namespace {

class FrontEndMemoryTest : public ::testing::Test {
protected:
  void SetUp() override {
    CloseIdents();
    CloseStringMemory();
    CloserMemory();
    InitStringMemory();
    InitIdents();
  }
  void TearDown() override {
    CloseIdents();
    CloseStringMemory();
    CloserMemory();
  }
};

using IdentsTest = FrontEndMemoryTest;
using StringMTest = FrontEndMemoryTest;

TEST_F(IdentsTest, NumbersAreDenseFromThreeAndStableForEqualTexts) {
  EXPECT_EQ(MaxIdent(), 2u);
  EXPECT_EQ(MakeIdent(""), NoIdent);
  EXPECT_EQ(MaxIdent(), 2u) << "the empty name must not be entered again";
  tIdent first = MakeIdent("CUST-REC");
  EXPECT_EQ(first, 3u);
  EXPECT_EQ(MakeIdent("CUST-ID"), 4u);
  EXPECT_EQ(MakeIdent("CUST-REC"), first);
  EXPECT_EQ(MakeIdent("CUST-RECORD", 8), first) << "only `length` characters count";
  EXPECT_EQ(MakeIdent("CUST-RE"), 5u) << "a prefix is a different text";
  EXPECT_EQ(MakeIdent(""), NoIdent);
  EXPECT_STREQ(GetCStr(first), "CUST-REC");
  EXPECT_EQ(LengthIdent(first), 8u);
  EXPECT_STREQ(GetCStr(NoIdent), "");
  EXPECT_STREQ(GetCStr(2), "");
  EXPECT_EQ(MaxIdent(), 5u);
}

TEST_F(IdentsTest, TextsWithEmbeddedNulAreDistinguishedByLength) {
  tIdent a = MakeIdent("A\0B", 3);
  tIdent b = MakeIdent("A", 1);
  EXPECT_NE(a, b);
  EXPECT_EQ(MakeIdent("A\0B", 3), a);
  EXPECT_EQ(LengthIdent(a), 3u);
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
    tIdent ident = static_cast<tIdent>(i + 3);
    ASSERT_EQ(MakeIdent(names[i].c_str()), ident) << names[i];
    ASSERT_STREQ(GetCStr(ident), names[i].c_str());
  }
  EXPECT_EQ(MakeIdent(""), NoIdent) << "the reserved number must not capture the empty text";
  EXPECT_EQ(MakeIdent("NAME-1025"), 1025u);
  EXPECT_EQ(MaxIdent(), 1025u);
}

TEST_F(IdentsTest, CloseIdentsStartsNumberingAfresh) {
  MakeIdent("A");
  MakeIdent("B");
  CloseIdents();
  EXPECT_EQ(MaxIdent(), 2u);
  EXPECT_EQ(MakeIdent("B"), 3u);
}

TEST(IdentsHashTest, CharactersAboveSevenBitsHashAsNegative) {
  EXPECT_EQ(HashText("", 0), 0u);
  EXPECT_EQ(HashText("AB", 2), 0x452u);
  EXPECT_EQ(HashText("CUSTOMER-RECORD", 15), 0xafd3694u);
  EXPECT_EQ(HashText("\xff", 1), 0x0fffff0fu);
  EXPECT_EQ(HashText("\xc4\xd6\xdc", 3), 0x0fff3eccu);
}

TEST_F(IdentsTest, TextsAboveSevenBitsRoundTrip) {
  const char *umlauts = "\xc4\xd6\xdc-FELD";
  const char *other = "\xe4\xf6\xfc-feld";
  tIdent a = MakeIdent(umlauts);
  tIdent b = MakeIdent(other);
  EXPECT_NE(a, b);
  EXPECT_EQ(MakeIdent(umlauts), a);
  EXPECT_STREQ(GetCStr(a), umlauts);
  char buffer[32];
  GetString(b, buffer);
  EXPECT_STREQ(buffer, other);
  EXPECT_TRUE(IsEqualSt(GetStringRef(a), umlauts));
}

TEST_F(IdentsTest, WriteIdentWritesTheTextAndReportsOutOfRange) {
  tIdent ident = MakeIdent("CUST-NAME");
  char *text = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&text, &size);
  WriteIdent(stream, ident);
  WriteIdent(stream, NoIdent);
  std::fclose(stream);
  EXPECT_STREQ(text, "CUST-NAME");
  std::free(text);

  ::testing::internal::CaptureStderr();
  stream = open_memstream(&text, &size);
  WriteIdent(stream, ident + 1);
  WriteIdent(stream, 0);
  std::fclose(stream);
  EXPECT_STREQ(text, "");
  std::free(text);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Error       tIdent out of bounds\nError       tIdent out of bounds\n");
}

TEST_F(StringMTest, RecordsArePackedAtEvenSizes) {
  tStringRef a = PutString("abc", 3);   // 2 + 3 + 1 = 6
  tStringRef b = PutString("ab", 2);    // 2 + 2 + 1 = 5 -> 6
  tStringRef c = PutString("", 0);      // 3 -> 4
  tStringRef d = PutString("wxyz!", 3); // only three characters
  EXPECT_EQ(b - a, 6);
  EXPECT_EQ(c - b, 6);
  EXPECT_EQ(d - c, 4);
  EXPECT_STREQ(StGetCStr(a), "abc");
  EXPECT_STREQ(StGetCStr(c), "");
  EXPECT_STREQ(StGetCStr(d), "wxy");
  EXPECT_EQ(LengthSt(d), 3u);
  EXPECT_TRUE(IsEqualSt(d, "wxyz"));
  EXPECT_FALSE(IsEqualSt(d, "wxq"));
}

TEST_F(StringMTest, FullBlockStartsANewOneAndLongRecordsGetTheirOwn) {
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
  EXPECT_EQ(StGetCStr(big), longText);
  char *buffer = static_cast<char *>(std::malloc(30001));
  StGetString(big, buffer);
  EXPECT_EQ(std::string(buffer), longText);
  std::free(buffer);
  EXPECT_EQ(StGetCStr(third), chunk);
}

TEST_F(StringMTest, WriteStringOfNullReportsAndWritesNothing) {
  char *text = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&text, &size);
  ::testing::internal::CaptureStderr();
  WriteString(stream, PutString("PIC X", 5));
  WriteString(stream, nullptr);
  std::fclose(stream);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Error       tStringRef undefined (NULL)\n");
  EXPECT_STREQ(text, "PIC X");
  std::free(text);
}

} // namespace
