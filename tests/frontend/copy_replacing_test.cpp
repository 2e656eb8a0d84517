// The replacement matcher on token windows: which copybook text a REPLACING
// pair matches (plain, LEADING, TRAILING; several tokens with and without
// white space between them) and what it gives. Positions, REPLACE and the
// text around replacements are pinned by the data cases of data/copy.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "copy_support.h"

namespace {

// The words and texts of the terminals the copybook CB.cpy gave, in order
// (end_of_picture left out).
std::string copied(const std::string &listing) {
  std::istringstream lines(listing);
  std::string line, words;
  while (std::getline(lines, line)) {
    if (line.rfind("CB.cpy:", 0) != 0 || line.find(" end_of_picture") != std::string::npos)
      continue;
    std::string rest = line.substr(line.find(' ') + 1); // TERMINAL [DETAIL]
    if (rest.rfind("name in area A ", 0) == 0)
      rest = rest.substr(15);
    else if (rest.find(' ') != std::string::npos)
      rest = rest.substr(rest.find(' ') + 1);
    words += (words.empty() ? "" : " ") + rest.substr(0, rest.find(' '));
  }
  return words;
}

} // namespace

TEST(Replace, PairsMatchTheTextTheyShould) {
  struct Row {
    const char *phrase, *copybook, *words;
  } rows[] = {
      // A word, not a part of a longer one.
      {"==XN== BY ==LONGER-NAME==", "05 XN PIC X. 05 XN-1 PIC X(2).",
       "05 LONGER-NAME PIC X . 05 XN-1 PIC X ( 2 ) ."},
      // LEADING and TRAILING replace a part (a whole word too); a literal
      // loses its delimiters there.
      {"LEADING ==AB== BY ==CD==", "05 AB-F. 05 AB. 05 XAB-F.", "05 CD-F . 05 CD . 05 XAB-F ."},
      {"TRAILING ==REC== BY 'ROW'", "05 OLD-REC. 05 REC. 05 XAB-REC-Y.",
       "05 OLD-ROW . 05 ROW . 05 XAB-REC-Y ."},
      // A blank in the pattern matches any white space, a comma, a line end.
      {"==A B== BY ==AB1==", "05 A B. 05 A   B. 05 A, B. 05 A\n           B.",
       "05 AB1 . 05 AB1 . 05 AB1 . 05 AB1 ."},
      // Adjacent tokens match adjacent ones only, separated ones separated.
      {"==C(1)== BY ==C1== ==D (1)== BY ==D1==", "05 C(1). 05 C (1). 05 D(1). 05 D (1).",
       "05 C1 . 05 C ( 1 ) . 05 D ( 1 ) . 05 D1 ."},
      // A literal also matches the name of its content.
      {"=='AB'== BY ==X1==", "05 Y VALUE 'AB'. 05 AB. 05 'ABC'.",
       "05 Y VALUE X1 . 05 X1 . 05 'ABC' ."},
      {"F OF G BY H", "05 R REDEFINES F OF G. 05 F OF H.", "05 R REDEFINES H . 05 F OF H ."},
      // An integer matches a picture's repetition count as written (not 03).
      {"3 BY 4 ==(== BY ==[==", "03 S. 05 R PIC X(3).", "03 S . 05 R PIC X [ 4 ) ."},
  };
  for (const Row &row : rows) {
    const CopyRun run = RunCopy(
        {{{"main.cbl", "       COPY CB REPLACING\n           " + std::string(row.phrase) + ".\n"},
          {"CB.cpy", "           " + std::string(row.copybook) + "\n"}}});
    EXPECT_EQ(copied(run.tokens), row.words) << row.phrase << "\n" << run.tokens;
    EXPECT_EQ(run.messages, "") << row.phrase;
  }
}
