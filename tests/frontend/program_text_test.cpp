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

} // namespace
