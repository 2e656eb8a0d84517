// The -lenient token filter on token sequences the parser cases cannot pin
// down: what it reads ahead is handed on unchanged and in order when the
// form it looked for is not there, and each change happens only in its
// place.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/keywords.h"
#include "frontend/lenient_tokens.h"
#include "support/string_memory.h"
#include "tree_support.h"

namespace {

class LenientTokens : public FrontEndTest {
protected:
  void SetUp() override {
    FrontEndTest::SetUp();
    init_keywords("");
  }

  // A terminal at line 1, `column`, spanning `length` characters; words are
  // interned, every other terminal carries `text`.
  static tToken make(int code, unsigned column, const std::string &text, unsigned length = 0) {
    tToken token;
    token.code = code;
    token.attribute.Word = token.attribute.Spelling = NoIdent;
    token.attribute.Position = At(1, column);
    token.attribute.EndPosition = At(1, column + (length > 0 ? length : text.size()) - 1);
    if (code == tok::string || code == tok::unsigned_integer || code == tok::level_number)
      token.attribute.Text = PutString(text.data(), text.size());
    else
      token.attribute.Word = Id(text.c_str());
    if (code == tok::level_number || code == tok::unsigned_integer)
      token.attribute.Value = std::stol(text);
    return token;
  }
  static tToken word(unsigned column, const std::string &text) {
    const int keyword = KeywordToken(Id(text.c_str()));
    return make(keyword != 0 ? keyword : tok::name, column, text);
  }
  static tToken punct(int code, unsigned column) {
    tToken token;
    token.code = code;
    token.attribute.Word = token.attribute.Spelling = NoIdent;
    token.attribute.Position = token.attribute.EndPosition = At(1, column);
    return token;
  }

  // Runs the filter over `input` (then end of input) and returns every
  // terminal it delivers, as "code:word-or-text".
  std::vector<std::string> run(const std::vector<tToken> &input) {
    std::size_t next = 0;
    const LenientTokenFilter::Source source = [&] {
      return next < input.size() ? input[next++] : tToken{};
    };
    std::vector<std::string> out;
    for (tToken token = filter.next(source); token.code != tok::EndOfInput;
         token = filter.next(source)) {
      std::string shown = TerminalName(token.code);
      if (token.attribute.Text != nullptr)
        shown += std::string(":") + StGetCStr(token.attribute.Text);
      else if (token.attribute.Word != NoIdent)
        shown += std::string(":") + GetCStr(token.attribute.Word);
      out.push_back(shown);
    }
    return out;
  }

  LenientTokenFilter filter;
};

using Tokens = std::vector<std::string>;

TEST_F(LenientTokens, AReservedWordIsANameOnlyRightAfterTheLevelThatBeginsAnEntry) {
  // 05 EMPTY OCCURS 12 TIMES. 05 DISPLAY.: TIMES follows the integer 12,
  // which is a level_number terminal but begins no entry; DISPLAY may begin
  // a clause, so it stays the usage.
  const Tokens out =
      run({make(tok::level_number, 8, "05"), word(11, "EMPTY"), word(17, "OCCURS"),
           make(tok::level_number, 24, "12"), word(27, "TIMES"), punct(tok::Period, 32),
           make(tok::level_number, 8, "05"), word(11, "DISPLAY"), punct(tok::Period, 18)});
  EXPECT_EQ(out, (Tokens{"level_number:05", "name:EMPTY", "OCCURS:OCCURS", "level_number:12",
                         "TIMES:TIMES", ".", "level_number:05", "DISPLAY:DISPLAY", "."}));
  EXPECT_NE(Messages().find("reserved word taken as a name: EMPTY"), std::string::npos);
}

TEST_F(LenientTokens, WhatFollowsAnAmpersandThatIsNoLiteralIsHandedOnInOrder) {
  const Tokens out = run({make(tok::string, 20, "'A'"), punct(tok::Ampersand, 24), word(26, "B"),
                          punct(tok::Period, 27)});
  EXPECT_EQ(out, (Tokens{"string:'A'", "&", "name:B", "."}));
  EXPECT_EQ(Messages(), "");
}

TEST_F(LenientTokens, JoinedLiteralsBecomeHexadecimalWhenAnyPartIs) {
  const Tokens out = run({make(tok::string, 20, "'A'''"), punct(tok::Ampersand, 26),
                          make(tok::string, 28, "\"B\""), punct(tok::Ampersand, 32),
                          make(tok::string, 34, "X'0'"), punct(tok::Period, 38)});
  EXPECT_EQ(out, (Tokens{"string:X'41274200'", "."}));
}

TEST_F(LenientTokens, HIsHexadecimalOnlyWithTheLiteralRightBehindIt) {
  const Tokens apart = run({word(20, "H"), make(tok::string, 22, "'01'")});
  EXPECT_EQ(apart, (Tokens{"name:H", "string:'01'"}));
  LenientTokenFilter fresh;
  filter = fresh;
  const Tokens joined = run({word(20, "H"), make(tok::string, 21, "'01'")});
  EXPECT_EQ(joined, (Tokens{"string:X'01'"}));
}

TEST_F(LenientTokens, BIsANumberOnlyForBitsRightBehindIt) {
  tToken lower = word(40, "B");
  lower.attribute.Spelling = Id("b");
  const Tokens out =
      run({word(20, "B"), make(tok::string, 22, "'1'"), word(30, "B"),
           make(tok::string, 31, "'012'"), lower, make(tok::string, 41, "'101'"), word(50, "B"),
           make(tok::string, 51, "\"1000000\""), word(60, "B"), make(tok::string, 61, "''")});
  EXPECT_EQ(out, (Tokens{"name:B", "string:'1'", "name:B", "string:'012'", "level_number:5",
                         "unsigned_integer:64", "name:B", "string:''"}));
  EXPECT_NE(Messages().find("boolean literal read as the number it stands for: b'101'"),
            std::string::npos);
  EXPECT_EQ(Messages().find("'012'"), std::string::npos);
}

TEST_F(LenientTokens, GnuCobolUsagesAreTerminalsAfterAnEntrysName) {
  // 05 SIGNED-INT BINARY-C-LONG UNSIGNED COMP-N COMP-X.
  const Tokens out =
      run({make(tok::level_number, 8, "05"), word(11, "SIGNED-INT"), word(22, "BINARY-C-LONG"),
           word(36, "UNSIGNED"), word(45, "COMP-N"), word(52, "COMP-X"), punct(tok::Period, 58)});
  EXPECT_EQ(out,
            (Tokens{"level_number:05", "name:SIGNED-INT", "BINARY-C-LONG:BINARY-C-LONG",
                    "UNSIGNED:UNSIGNED", "COMPUTATIONAL-N:COMP-N", "COMPUTATIONAL-X:COMP-X", "."}));
  EXPECT_NE(Messages().find("same size and kind: COMP-N"), std::string::npos);
  EXPECT_NE(Messages().find("same size and kind: COMP-X"), std::string::npos);
}

TEST_F(LenientTokens, DateWithoutFormatIsHandedOnUnchanged) {
  const Tokens out = run({word(20, "DATE"), word(25, "WRITTEN"), word(33, "DATE"),
                          word(38, "FORMAT"), word(45, "YYXXXX")});
  EXPECT_EQ(out, (Tokens{"DATE:DATE", "name:WRITTEN", "FORMAT:FORMAT", "name:YYXXXX"}));
}

TEST_F(LenientTokens, AConstantStandsForItsValueOnlyWhereALiteralMay) {
  filter.defineConstant(Id("MAX-LINES"), make(tok::unsigned_integer, 1, "80"));
  // REDEFINES MAX-LINES is a reference; OCCURS MAX-LINES and VALUE IS
  // MAX-LINES take the value.
  const Tokens out =
      run({word(20, "REDEFINES"), word(30, "MAX-LINES"), word(40, "OCCURS"), word(47, "MAX-LINES"),
           word(57, "VALUE"), word(63, "IS"), word(66, "MAX-LINES")});
  EXPECT_EQ(out, (Tokens{"REDEFINES:REDEFINES", "name:MAX-LINES", "OCCURS:OCCURS",
                         "unsigned_integer:80", "VALUE:VALUE", "IS:IS", "unsigned_integer:80"}));
}

TEST_F(LenientTokens, APictureFactorIsJoinedFromItsPiecesOnlyWhenItIsAConstant) {
  filter.defineConstant(Id("MAX-LINES"), make(tok::level_number, 1, "3"));
  // PIC X(MAX-LINES) X(NO-SUCH): the scanner delivers MAX, "-", LINES.
  const Tokens out =
      run({word(20, "PICTURE"), word(24, "X"), punct(tok::LParen, 25), word(26, "MAX"),
           punct(tok::MinusSign, 29), word(30, "LINES"), punct(tok::RParen, 35), word(36, "X"),
           punct(tok::LParen, 37), word(38, "NO"), punct(tok::MinusSign, 40), word(41, "SUCH"),
           punct(tok::RParen, 45), punct(tok::end_of_picture, 46)});
  EXPECT_EQ(out, (Tokens{"PICTURE:PICTURE", "name:X", "(", "level_number:3", ")", "name:X", "(",
                         "name:NO", "-", "name:SUCH", ")", "end_of_picture"}));
}

TEST_F(LenientTokens, DialectWordsAreNamesWhereAnEntryIsNamed) {
  // 05 NATIONAL BINARY-LONG UNSIGNED. 05 SIGNED PIC X.
  const Tokens out = run({make(tok::level_number, 8, "05"), word(11, "NATIONAL"),
                          word(20, "BINARY-LONG"), word(32, "UNSIGNED"), punct(tok::Period, 40),
                          make(tok::level_number, 8, "05"), word(11, "SIGNED")});
  EXPECT_EQ(out, (Tokens{"level_number:05", "name:NATIONAL", "BINARY-LONG:BINARY-LONG",
                         "UNSIGNED:UNSIGNED", ".", "level_number:05", "name:SIGNED"}));
}

TEST_F(LenientTokens, GnuCobolClauseWordsAreTerminalsInsideAnEntryOnly) {
  // 01 BASED BASED ANY LENGTH REDEFINES BASED OCCURS 1 TO UNBOUNDED
  //    IS SPECIAL-NAMES CRT STATUS. BASED ANY X: the entry's name and a
  // reference stay names, and so does every word outside an entry; ANY
  // without LENGTH hands on what it read.
  const Tokens out =
      run({make(tok::level_number, 8, "01"), word(11, "BASED"), word(17, "BASED"), word(23, "ANY"),
           word(27, "LENGTH"), word(34, "REDEFINES"), word(44, "BASED"), word(50, "OCCURS"),
           make(tok::level_number, 57, "1"), word(59, "TO"), word(62, "UNBOUNDED"), word(12, "IS"),
           word(15, "SPECIAL-NAMES"), word(29, "CRT"), word(33, "STATUS"), punct(tok::Period, 39),
           word(8, "BASED"), word(14, "ANY"), word(18, "X")});
  EXPECT_EQ(out, (Tokens{"level_number:01", "name:BASED", "BASED:BASED", "ANY LENGTH:ANY",
                         "REDEFINES:REDEFINES", "name:BASED", "OCCURS:OCCURS", "level_number:1",
                         "TO:TO", "UNBOUNDED:UNBOUNDED", "IS:IS", "SPECIAL-NAMES:SPECIAL-NAMES",
                         "CRT:CRT", "STATUS:STATUS", ".", "name:BASED", "name:ANY", "name:X"}));
}

TEST_F(LenientTokens, ConstantsOfAConstantExpressionAreJoinedByAmpersand) {
  filter.defineConstant(Id("CAT"), make(tok::string, 1, "'Cat '"));
  filter.defineConstant(Id("DOG"), make(tok::string, 1, "'Dog '"));
  // 01 YARD CONSTANT CAT & "& " & DOG. 01 ALLEY CONSTANT GLOBAL AS CAT.
  // 01 EXT PIC X EXTERNAL AS "E".
  const Tokens out = run({make(tok::level_number, 8, "01"),
                          word(11, "YARD"),
                          word(16, "CONSTANT"),
                          word(25, "CAT"),
                          punct(tok::Ampersand, 29),
                          make(tok::string, 31, "\"& \""),
                          punct(tok::Ampersand, 36),
                          word(38, "DOG"),
                          punct(tok::Period, 41),
                          make(tok::level_number, 8, "01"),
                          word(11, "ALLEY"),
                          word(17, "CONSTANT"),
                          word(26, "GLOBAL"),
                          word(33, "AS"),
                          word(36, "CAT"),
                          punct(tok::Period, 39),
                          make(tok::level_number, 8, "01"),
                          word(11, "EXT"),
                          word(15, "EXTERNAL"),
                          word(24, "AS"),
                          make(tok::string, 27, "\"E\""),
                          punct(tok::Period, 30)});
  EXPECT_EQ(out, (Tokens{"level_number:01", "name:YARD", "CONSTANT:CONSTANT", "string:'Cat & Dog '",
                         ".", "level_number:01", "name:ALLEY", "CONSTANT:CONSTANT", "GLOBAL:GLOBAL",
                         "AS:AS", "string:'Cat '", ".", "level_number:01", "name:EXT",
                         "EXTERNAL:EXTERNAL", "AS:AS", "string:\"E\"", "."}));
}

TEST_F(LenientTokens, ByteLengthIsATerminalInAConstantOnly) {
  // 01 X CONSTANT AS BYTE-LENGTH OF BYTE-LENGTH. 05 Y PIC X VALUE BYTE-LENGTH.
  const Tokens out =
      run({make(tok::level_number, 8, "01"), word(11, "X"), word(13, "CONSTANT"), word(22, "AS"),
           word(25, "BYTE-LENGTH"), word(37, "OF"), word(40, "BYTE-LENGTH"), punct(tok::Period, 51),
           make(tok::level_number, 8, "05"), word(11, "Y"), word(13, "VALUE"),
           word(19, "BYTE-LENGTH"), punct(tok::Period, 30)});
  EXPECT_EQ(out, (Tokens{"level_number:01", "name:X", "CONSTANT:CONSTANT", "AS:AS",
                         "BYTE-LENGTH:BYTE-LENGTH", "OF:OF", "name:BYTE-LENGTH", ".",
                         "level_number:05", "name:Y", "VALUE:VALUE", "name:BYTE-LENGTH", "."}));
}

} // namespace
