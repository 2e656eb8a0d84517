// The division filter of program files and the >> directive reader, line by
// line as the source reader feeds them (fixed-format lines already
// normalised: the indicator in column 1).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "frontend/program_text.h"

namespace {

// The line numbers (from 1) that `filter` keeps of `lines`, and its notes.
struct Filtered {
  std::vector<unsigned> kept;
  std::vector<SourceNote> notes;
};

Filtered runFilter(ProgramFilter &filter, const std::vector<std::string> &lines,
                   bool freeFormat = false) {
  Filtered result;
  unsigned number = 0;
  for (std::string line : lines) {
    line += '\n';
    ++number;
    if (filter.keep(line.c_str(), static_cast<unsigned>(line.size()), number, freeFormat,
                    result.notes))
      result.kept.push_back(number);
  }
  return result;
}

using Lines = std::vector<unsigned>;

const std::vector<std::string> twoPrograms = {
    "       IDENTIFICATION DIVISION.",    // 1
    "       PROGRAM-ID. FIRST-ONE.",      // 2
    "       ENVIRONMENT DIVISION.",       // 3
    "       FILE-CONTROL.",               // 4
    "       DATA DIVISION.",              // 5
    "       WORKING-STORAGE SECTION.",    // 6
    "       01  A PIC X.",                // 7
    "       PROCEDURE DIVISION.",         // 8
    "           MOVE 1 TO A.",            // 9
    "       END PROGRAM FIRST-ONE.",      // 10
    "       ID DIVISION.",                // 11
    "       PROGRAM-ID.",                 // 12
    "           'second' IS INITIAL.",    // 13
    "       DATA DIVISION.",              // 14
    "       LINKAGE SECTION.",            // 15
    "       01  B PIC X.",                // 16
    "       PROCEDURE DIVISION USING B.", // 17
};

TEST(ProgramFilter, KeepsTheDataDivisionOfTheWantedProgramOnly) {
  ProgramFilter outline(-1);
  const Filtered none = runFilter(outline, twoPrograms);
  EXPECT_TRUE(none.kept.empty());
  ASSERT_EQ(outline.units().size(), 2u);
  EXPECT_EQ(outline.units()[0].name, "FIRST-ONE");
  EXPECT_EQ(outline.units()[0].line, 1u);
  // The name on the line after PROGRAM-ID, quotes dropped, case kept.
  EXPECT_EQ(outline.units()[1].name, "second");
  EXPECT_EQ(outline.units()[1].line, 11u);

  ProgramFilter first(0);
  EXPECT_EQ(runFilter(first, twoPrograms).kept, (Lines{5, 6, 7}));
  ProgramFilter second(1);
  EXPECT_EQ(runFilter(second, twoPrograms).kept, (Lines{14, 15, 16}));
}

TEST(ProgramFilter, NestedProgramsAreProgramsOfTheirOwn) {
  const std::vector<std::string> lines = {
      "       IDENTIFICATION DIVISION.", // 1
      "       PROGRAM-ID. OUTER.",       // 2
      "       DATA DIVISION.",           // 3
      "       01  A PIC X.",             // 4
      "       PROCEDURE DIVISION.",      // 5
      "       IDENTIFICATION DIVISION.", // 6
      "       PROGRAM-ID. INNER.",       // 7
      "       DATA DIVISION.",           // 8
      "       01  B PIC X.",             // 9
      "       PROCEDURE DIVISION.",      // 10
      "       END PROGRAM INNER.",       // 11
      "           DISPLAY A.",           // 12: the outer program's code again
      "       END PROGRAM OUTER.",       // 13
  };
  ProgramFilter outer(0);
  EXPECT_EQ(runFilter(outer, lines).kept, (Lines{3, 4}));
  ProgramFilter inner(1);
  EXPECT_EQ(runFilter(inner, lines).kept, (Lines{8, 9}));
  ASSERT_EQ(inner.units().size(), 2u);
  EXPECT_EQ(inner.units()[1].name, "INNER");
}

TEST(ProgramFilter, ADataSectionWithoutTheDivisionHeaderBeginsTheData) {
  const std::vector<std::string> lines = {
      "       IDENTIFICATION DIVISION.", // 1
      "       PROGRAM-ID. NOHEAD.",      // 2
      "       ENVIRONMENT DIVISION.",    // 3
      "       CONFIGURATION SECTION.",   // 4: the environment's own
      "       INPUT-OUTPUT SECTION.",    // 5
      "       WORKING-STORAGE SECTION.", // 6
      "       01  A PIC X.",             // 7
      "       PROCEDURE DIVISION.",      // 8
      "       MAIN SECTION.",            // 9: a procedure section
      "       LINKAGE SECTION.",         // 10: not data once procedures began
      "           GOBACK.",              // 11
  };
  ProgramFilter filter(0);
  EXPECT_EQ(runFilter(filter, lines).kept, (Lines{6, 7}));
}

TEST(ProgramFilter, UserFunctionsAreProgramsToo) {
  const std::vector<std::string> lines = {
      "       IDENTIFICATION DIVISION.", // 1
      "       FUNCTION-ID. DOUBLER.",    // 2
      "       DATA DIVISION.",           // 3
      "       LINKAGE SECTION.",         // 4
      "       01  ARG PIC 9.",           // 5
      "       PROCEDURE DIVISION.",      // 6
      "       END FUNCTION DOUBLER.",    // 7
      "       IDENTIFICATION DIVISION.", // 8
      "       PROGRAM-ID. CALLER.",      // 9
      "       DATA DIVISION.",           // 10
      "       01  RES PIC 9.",           // 11
  };
  ProgramFilter caller(1);
  EXPECT_EQ(runFilter(caller, lines).kept, (Lines{10, 11}));
  ASSERT_EQ(caller.units().size(), 2u);
  EXPECT_EQ(caller.units()[0].name, "DOUBLER");
}

TEST(ProgramFilter, TextBeforeAnyHeaderIsAProgramWithoutName) {
  const std::vector<std::string> lines = {
      "*      a fragment: sections only", // 1
      "       WORKING-STORAGE SECTION.",  // 2
      "       01  A PIC X.",              // 3
      "       PROGRAM-ID. LATER.",        // 4: after text: another program
      "       DATA DIVISION.",            // 5
      "       01  B PIC X.",              // 6
  };
  ProgramFilter fragment(0);
  const Filtered kept = runFilter(fragment, lines);
  EXPECT_EQ(kept.kept, (Lines{1, 2, 3}));
  ASSERT_EQ(fragment.units().size(), 2u);
  EXPECT_EQ(fragment.units()[0].name, "");
  EXPECT_EQ(fragment.units()[1].name, "LATER");

  // Comments before the first header do not make a program of their own.
  ProgramFilter commented(-1);
  runFilter(commented, {"*      header comment", "       IDENTIFICATION DIVISION.",
                        "       PROGRAM-ID. ONLY."});
  ASSERT_EQ(commented.units().size(), 1u);
  EXPECT_EQ(commented.units()[0].name, "ONLY");
}

TEST(ProgramFilter, HeadersInCommentsAndCodeAreNotHeaders) {
  const std::vector<std::string> lines = {
      "       PROGRAM-ID. P.",                     // 1
      "       DATA DIVISION.",                     // 2
      "*      PROCEDURE DIVISION.",                // 3: a comment line
      "       01  A PIC X. *> PROCEDURE DIVISION", // 4
      "       01  B PIC X VALUE 'DATA DIVISION'.", // 5
      "-          'PROCEDURE DIVISION'.",          // 6: a continuation line
      "       01  C PIC X.",                       // 7
  };
  ProgramFilter filter(0);
  EXPECT_EQ(runFilter(filter, lines).kept, (Lines{2, 3, 4, 5, 6, 7}));
}

TEST(ProgramFilter, ScreenSectionIsSkippedWithOneWarning) {
  const std::vector<std::string> lines = {
      "       DATA DIVISION.",           // 1
      "       WORKING-STORAGE SECTION.", // 2
      "       01  A PIC X.",             // 3
      "       SCREEN SECTION.",          // 4
      "       01  S.",                   // 5
      "           05 LINE 1 VALUE 'X'.", // 6
      "       PROCEDURE DIVISION.",      // 7
  };
  ProgramFilter filter(0);
  const Filtered result = runFilter(filter, lines);
  EXPECT_EQ(result.kept, (Lines{1, 2, 3}));
  ASSERT_EQ(result.notes.size(), 1u);
  EXPECT_EQ(result.notes[0].line, 4u);
  EXPECT_EQ(result.notes[0].column, 8u);
  EXPECT_EQ(result.notes[0].text, "SCREEN SECTION skipped");

  // Another program's screen section is not this run's to report.
  ProgramFilter other(1);
  EXPECT_TRUE(runFilter(other, lines).notes.empty());
}

TEST(ProgramFilter, FreeFormatHeadersAnywhereOnTheLine) {
  const std::vector<std::string> lines = {
      "identification division. *> free",
      "program-id. freeprog.",
      "  data division.",
      "01 a pic x.",
      "procedure division.",
  };
  ProgramFilter filter(0);
  EXPECT_EQ(runFilter(filter, lines, true).kept, (Lines{3, 4}));
  EXPECT_EQ(filter.units()[0].name, "freeprog");
}

TEST(ProgramFilter, ReportSectionIsSkippedLikeTheScreenSection) {
  const std::vector<std::string> lines = {
      "       DATA DIVISION.",                    // 1
      "       WORKING-STORAGE SECTION.",          // 2
      "       01  A PIC X.",                      // 3
      "       REPORT SECTION.",                   // 4
      "       RD  SALES PAGE LIMIT IS 66 LINES.", // 5
      "       01  TYPE REPORT HEADING LINE 1.",   // 6
      "       SCREEN SECTION.",                   // 7: no second warning of its own kind
      "       01  S.",                            // 8
      "       PROCEDURE DIVISION.",               // 9
  };
  ProgramFilter filter(0);
  const Filtered result = runFilter(filter, lines);
  EXPECT_EQ(result.kept, (Lines{1, 2, 3}));
  ASSERT_EQ(result.notes.size(), 1u);
  EXPECT_EQ(result.notes[0].line, 4u);
  EXPECT_EQ(result.notes[0].text, "REPORT SECTION skipped");

  // A data section after it is read again.
  ProgramFilter resumed(0);
  EXPECT_EQ(runFilter(resumed, {"       REPORT SECTION.", "       RD  R.",
                                "       LINKAGE SECTION.", "       01  L PIC X."})
                .kept,
            (Lines{3, 4}));
}

TEST(ProgramFilter, DivisionHeadersSplitAfterTheirFirstWord) {
  const std::vector<std::string> lines = {
      "       IDENTIFICATION",    // 1
      "           DIVISION.",     // 2
      "       PROGRAM-ID",        // 3
      "           .",             // 4
      "           SPLIT.",        // 5
      "       DATA",              // 6
      "*      a comment between", // 7
      "           DIVISION",      // 8
      "           .",             // 9
      "       WORKING-STORAGE",   // 10
      "           SECTION.",      // 11
      "       01  A PIC X.",      // 12
      "       PROCEDURE",         // 13
      "           DIVISION.",     // 14
      "           MOVE 1 TO A.",  // 15
  };
  ProgramFilter filter(0);
  // The split DATA DIVISION header is left out with its period, as the
  // header may be; the comment inside it belongs to the heading.
  EXPECT_EQ(runFilter(filter, lines).kept, (Lines{10, 11, 12}));
  ASSERT_EQ(filter.units().size(), 1u);
  EXPECT_EQ(filter.units()[0].name, "SPLIT");

  // A data section header split in the ENVIRONMENT DIVISION begins the data.
  ProgramFilter noHeader(0);
  EXPECT_EQ(runFilter(noHeader, {"       ENVIRONMENT DIVISION.", "       LINKAGE",
                                 "           SECTION.", "       01  L PIC X."})
                .kept,
            (Lines{2, 3, 4}));
}

TEST(ProgramFilter, ReplaceOutsideTheDataDivisionIsKeptForTheProgramsAfterIt) {
  const std::vector<std::string> lines = {
      "       REPLACE ==A.== BY ==B.==",      // 1: the period in pseudo-text ends nothing
      "               ==:N:== BY ==10==.",    // 2
      "       IDENTIFICATION DIVISION.",      // 3
      "       PROGRAM-ID. ONE.",              // 4
      "       DATA DIVISION.",                // 5
      "       01  X PIC X(:N:).",             // 6
      "       PROCEDURE DIVISION.",           // 7
      "           REPLACE ==:M:== BY ==2==.", // 8: in force for the next program
      "       END PROGRAM ONE.",              // 9
      "       REPLACE OFF.",                  // 10
      "       IDENTIFICATION DIVISION.",      // 11
      "       PROGRAM-ID. TWO.",              // 12
      "       REMARKS. THIS PROGRAM",         // 13
      "           REPLACE THE OLD ONE.",      // 14: a comment entry's text
      "       DATA DIVISION.",                // 15
      "       01  Y PIC X.",                  // 16
  };
  ProgramFilter first(0);
  EXPECT_EQ(runFilter(first, lines).kept, (Lines{1, 2, 5, 6}));
  // A REPLACE before the first program is no program of its own.
  ASSERT_EQ(first.units().size(), 2u);
  EXPECT_EQ(first.units()[0].name, "ONE");
  EXPECT_EQ(first.units()[0].line, 3u);
  ProgramFilter second(1);
  EXPECT_EQ(runFilter(second, lines).kept, (Lines{1, 2, 8, 10, 15, 16}));
}

TEST(ProgramFilter, DecimalPointCommaComesFromTheProgramsSpecialNames) {
  const std::vector<std::string> lines = {
      "       IDENTIFICATION DIVISION.",                // 1
      "       PROGRAM-ID. OUTER.",                      // 2
      "       ENVIRONMENT DIVISION.",                   // 3
      "       CONFIGURATION SECTION.",                  // 4
      "       SPECIAL-NAMES.",                          // 5
      "           CURSOR IS WS-CURSOR",                 // 6
      "           CRT STATUS IS WS-CRT",                // 7
      "           DECIMAL-POINT",                       // 8
      "               IS COMMA.",                       // 9
      "       DATA DIVISION.",                          // 10
      "       PROCEDURE DIVISION.",                     // 11
      "       IDENTIFICATION DIVISION.",                // 12: nested, in OUTER's scope
      "       PROGRAM-ID. INNER.",                      // 13
      "       END PROGRAM INNER.",                      // 14
      "       END PROGRAM OUTER.",                      // 15
      "       IDENTIFICATION DIVISION.",                // 16: a program of its own
      "       PROGRAM-ID. NEXT-ONE.",                   // 17
      "       ENVIRONMENT DIVISION.",                   // 18
      "       CONFIGURATION SECTION.",                  // 19
      "       SPECIAL-NAMES. DECIMAL-POINT IS PERIOD.", // 20: no such clause
  };
  ProgramFilter filter(-1);
  runFilter(filter, lines);
  ASSERT_EQ(filter.units().size(), 3u);
  EXPECT_TRUE(filter.units()[0].decimalPointComma);
  EXPECT_TRUE(filter.units()[1].decimalPointComma);
  EXPECT_FALSE(filter.units()[2].decimalPointComma);
}

// Runs `lines` through `directives`; returns the numbers of the lines that
// are delivered, with the format each was read in ('F' fixed, 'R' free).
struct Directed {
  std::vector<unsigned> delivered;
  std::string formats;
  std::vector<SourceNote> notes;
};

Directed runDirectives(SourceDirectives &directives, const std::vector<std::string> &lines) {
  Directed result;
  bool freeFormat = false;
  unsigned number = 0;
  for (std::string line : lines) {
    line += '\n';
    ++number;
    const bool format = freeFormat;
    if (!directives.take(line.c_str(), static_cast<unsigned>(line.size()), number, freeFormat,
                         result.notes)) {
      result.delivered.push_back(number);
      result.formats += format ? 'R' : 'F';
    }
  }
  return result;
}

TEST(SourceDirectives, SourceFormatSwitchesFromTheNextLineOn) {
  SourceDirectives directives;
  const Directed result = runDirectives(directives, {
                                                        "       01 A PIC X.",             // 1
                                                        "       >>SOURCE FORMAT IS FREE", // 2
                                                        "01 B PIC X.",                    // 3
                                                        ">> source free",                 // 4
                                                        ">>SOURCE FIXED",                 // 5
                                                        "000100>>SOURCE FORMAT FREE",     // 6
                                                        "01 C PIC X.",                    // 7
                                                    });
  EXPECT_EQ(result.delivered, (Lines{1, 3, 7}));
  EXPECT_EQ(result.formats, "FRR");
  EXPECT_TRUE(result.notes.empty());
}

TEST(SourceDirectives, SetSourceFormatSwitchesToo) {
  SourceDirectives directives;
  const Directed result = runDirectives(directives, {
                                                        "      $SET SOURCEFORMAT\"FREE\"", // 1
                                                        "01 A PIC X.",                     // 2
                                                        "$set sourceformat(fixed)",        // 3
                                                        "       01 B PIC X.",              // 4
                                                        "      $SET ANS85",                // 5
                                                        "      $SETX", // 6: a comment line
                                                        "      $SET SOURCEFORMAT 'FREE'", // 7
                                                        "  $SET SOURCEFORMAT\"FIXED\"",   // 8
                                                        "       01 C PIC X.",             // 9
                                                    });
  EXPECT_EQ(result.delivered, (Lines{2, 4, 6, 9}));
  EXPECT_EQ(result.formats, "RFFF");
  ASSERT_EQ(result.notes.size(), 1u);
  EXPECT_EQ(result.notes[0].text, "directive $SET skipped");
  EXPECT_EQ(result.notes[0].column, 7u);
}

TEST(SourceDirectives, ConditionsOverDefinedNamesSelectLines) {
  SourceDirectives directives;
  const Directed result =
      runDirectives(directives, {
                                    ">>DEFINE WIDE AS 'Y'",     // 1
                                    ">>IF WIDE IS DEFINED",     // 2
                                    "A",                        // 3
                                    ">>ELSE",                   // 4
                                    "B",                        // 5
                                    ">>END-IF",                 // 6
                                    ">>IF NARROW DEFINED",      // 7
                                    "C",                        // 8
                                    ">>IF WIDE DEFINED",        // 9: nested, outer false
                                    "D",                        // 10
                                    ">>END-IF",                 // 11
                                    ">>ELSE",                   // 12
                                    "E",                        // 13
                                    ">>END-IF",                 // 14
                                    ">>IF WIDE = 'Y'",          // 15
                                    "F",                        // 16
                                    ">>END-IF",                 // 17
                                    ">>DEFINE WIDE OFF",        // 18
                                    ">>IF WIDE IS NOT DEFINED", // 19
                                    "G",                        // 20
                                    ">>END-IF",                 // 21
                                });
  EXPECT_EQ(result.delivered, (Lines{3, 13, 16, 20}));
  EXPECT_TRUE(result.notes.empty());
}

TEST(SourceDirectives, WhatCannotBeReadIsSkippedWithAWarning) {
  SourceDirectives directives;
  const Directed result = runDirectives(directives, {
                                                        ">>IF FUNCTION-LENGTH > 3", // 1
                                                        "A",                        // 2
                                                        ">>ELSE",                   // 3
                                                        "B",                        // 4
                                                        ">>END-IF",                 // 5
                                                        "       >>TURN EC-ALL ON",  // 6
                                                        ">>END-IF",                 // 7
                                                        "C >> D",                   // 8
                                                    });
  EXPECT_EQ(result.delivered, (Lines{2, 8}));
  ASSERT_EQ(result.notes.size(), 3u);
  EXPECT_EQ(result.notes[0].text, "directive condition not evaluated, first branch taken");
  EXPECT_EQ(result.notes[0].line, 1u);
  EXPECT_EQ(result.notes[1].text, "directive >>TURN skipped");
  EXPECT_EQ(result.notes[1].column, 8u);
  EXPECT_EQ(result.notes[2].text, "directive >>END-IF without >>IF skipped");
}

TEST(SourceDirectives, DollarLinesInAnyColumn) {
  SourceDirectives directives;
  const Directed result = runDirectives(directives, {
                                                        "000001 $SET SOURCEFORMAT \"FREE\"", // 1
                                                        "   $DISPLAY compiling",             // 2
                                                        "01 A PIC X.",                       // 3
                                                        "$SET SOURCEFORMAT(FIXED)",          // 4
                                                        "           $SET NO-AREA-CHECK",     // 5
                                                        "       01 B PIC X VALUE '$SET'.",   // 6
                                                    });
  EXPECT_EQ(result.delivered, (Lines{3, 6}));
  EXPECT_EQ(result.formats, "RF");
  ASSERT_EQ(result.notes.size(), 2u);
  EXPECT_EQ(result.notes[0].text, "directive $DISPLAY skipped");
  EXPECT_EQ(result.notes[0].column, 4u);
  EXPECT_EQ(result.notes[1].text, "directive $SET skipped");
  EXPECT_EQ(result.notes[1].column, 12u);
}

TEST(SourceDirectives, ConstantsCountOnceAdoptedAndKeepTheirFirstValue) {
  SourceDirectives directives;
  const Directed result = runDirectives(directives, {
                                                        ">>DEFINE CONSTANT WIDTH AS 12",       // 1
                                                        ">>SET CONSTANT TITLE \"A, B. C\"",    // 2
                                                        "      $SET CONSTANT PET 'Rex' ANS85", // 3
                                                        ">>DEFINE CONSTANT WIDTH 20", // 4: kept 12
                                                        ">>DEFINE CONSTANT PET 'Tom' OVERRIDE", // 5
                                                        ">>DEFINE NAME AS 'x'", // 6: no constant
                                                        ">>DEFINE FROM-CMD AS PARAMETER", // 7
                                                        ">>IF FROM-CMD IS DEFINED",       // 8
                                                        "A",                              // 9
                                                        ">>END-IF",                       // 10
                                                    });
  EXPECT_EQ(result.delivered, (Lines{}));
  // Nothing counts before the scanner adopts what was read.
  EXPECT_EQ(directives.constant("WIDTH"), nullptr);
  EXPECT_TRUE(directives.constantsPending());
  directives.adoptConstants();
  EXPECT_FALSE(directives.constantsPending());
  ASSERT_NE(directives.constant("WIDTH"), nullptr);
  EXPECT_EQ(*directives.constant("WIDTH"), "12");
  ASSERT_NE(directives.constant("TITLE"), nullptr);
  EXPECT_EQ(*directives.constant("TITLE"), "\"A, B. C\"");
  ASSERT_NE(directives.constant("PET"), nullptr);
  EXPECT_EQ(*directives.constant("PET"), "'Tom'");
  EXPECT_EQ(directives.constant("NAME"), nullptr);
  ASSERT_EQ(result.notes.size(), 1u);
  EXPECT_EQ(result.notes[0].text, "directive >>DEFINE of a defined constant skipped: WIDTH");

  const Directed off = runDirectives(directives, {">>DEFINE CONSTANT TITLE OFF"});
  directives.adoptConstants();
  EXPECT_EQ(directives.constant("TITLE"), nullptr);
}

} // namespace
