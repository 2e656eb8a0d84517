// COPY, INCLURE and include lines through the scanner: which file each
// terminal comes from, what is reported when a copybook is missing or copies
// itself, and the repair text served in place of a missing copybook.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "cobol/Eval.h"
#include "cobol/Parser.h"
#include "cobol/Scanner.h"
#include "cobol/copy.h"
#include "common/Errors.h"
#include "copy_support.h"
#include "parse_support.h"
#include "reuse/rFsearch.h"
#include "tokens_support.h"

namespace {

// Lines of a listing that mention `text`.
int count(const std::string &text, const std::string &what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
    ++n;
  return n;
}

// ParseCopybook with copybooks beside the main file T.cpy.
ParseResult parseWithCopybooks(const std::string &source, const CopyFiles &copybooks) {
  ReleaseTreeModule();
  StartFrontEnd(false);
  BeginDeftab();
  NameCheck = true;
  NameCheckMsg = true;
  init_copy_pars();
  const std::string path = WriteTempFile(source, "T.cpy");
  const auto dir = std::filesystem::path(path).parent_path();
  for (const auto &[name, text] : copybooks.files)
    std::ofstream(dir / name, std::ios::binary) << text;
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  Close_rFsearch();
  Begin_rFsearch(false);
  rAddDir("./", 0, true);
  rAddExtension(".cpy");
  rAddExtension("");
  rReadAllDirs();
  BeginFile("T.cpy");
  BeginScanner();
  push(MakeIdent("T.cpy"));
  ParseResult result;
  result.syntaxErrors = Parser2(ParserStartCopybook);
  result.root = as<tree::data_division>(TreeRoot);
  result.root->deftab = deftab_decls;
  Eval(TreeRoot);
  result.messages = StoredMessages();
  CloseParser();
  CloseScanner();
  Close_rFsearch();
  std::filesystem::current_path(previous);
  return result;
}

std::string names(tTree list) {
  std::string text;
  for (tTree entry = list; auto *f = as_if<tree::format>(entry); entry = f->next)
    text += std::string(text.empty() ? "" : " ") + GetCStr(f->name);
  return text;
}

std::string declNames(tTree list) {
  std::string text;
  for (tTree d = list; auto *decl = as_if<tree::decl>(d); d = decl->next)
    text += std::string(text.empty() ? "" : " ") + GetCStr(decl->name);
  return text;
}

} // namespace

class CopyParse : public ParseTest {};

TEST_F(CopyParse, EntriesCopiedIntoAnEntryBelongToIt) {
  ParseResult r = parseWithCopybooks(Fixed("01 REC COPY RECX.\n01 AFTER PIC X.\n"),
                                     {{{"RECX.cpy", "           05 F1 PIC X.\n"
                                                    "           05 F2.\n"
                                                    "              10 F21 PIC 9.\n"}}});
  ASSERT_EQ(r.syntaxErrors, 0) << r.messages;
  EXPECT_EQ(r.messages, "");
  // The declarations: RECX's entries under REC.
  tree::decl *rec = DeclOf("REC");
  ASSERT_NE(rec, nullptr);
  EXPECT_EQ(declNames(rec->fields), "F1 F2");
  EXPECT_EQ(DeclOf("F21")->lower, DeclOf("F2"));
  EXPECT_EQ(as<tree::decl>(rec->next)->name, MakeIdent("AFTER"));
  // The restructured entries: exactly RECX's, then the entry after them.
  auto *copy = as<tree::format_copy>(r.root->working_storage_section);
  EXPECT_EQ(names(copy->data_description_entry_l), "F1 F2 F21");
  EXPECT_EQ(names(copy->next), "AFTER");
  EXPECT_EQ(GetCStr(as<tree::format>(copy->data_description_entry_l)->pos.File),
            std::string("RECX.cpy"));
}

TEST_F(CopyParse, ReplacedCopybookEntriesReportCopybookPositions) {
  ParseResult r = parseWithCopybooks(
      Fixed("01 REC COPY RECX REPLACING ==OLD== BY ==NEW-NAME==\n    ==9== BY ==X==.\n"),
      {{{"RECX.cpy", "           05 OLD PIC 9.\n"
                     "           05 OLD-2 PIC 9 VALUE.\n"}}});
  // VALUE without a literal is an error in the copybook, at its line and
  // column there, not in the temporary file.
  EXPECT_NE(r.messages.find("\"RECX.cpy\":   2, 32: Error"), std::string::npos) << r.messages;
  tree::format *entry = EntryOf("NEW-NAME");
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(GetCStr(entry->pos.File), std::string("RECX.cpy"));
  EXPECT_EQ(entry->pos.Line, 1u);
  EXPECT_EQ(entry->pos.Column, 15);
  EXPECT_EQ(Text(as<tree::picture>(as<tree::format_1>(entry)->data_clause_l)->value), "X");
  EXPECT_NE(EntryOf("OLD-2"), nullptr);
  EXPECT_EQ(EntryOf("OLD"), nullptr);
}

TEST(Copy, CopybookTokensNameTheCopybookAndPositionsReturnAfterIt) {
  CopyRun run = RunCopy({{{"main.cbl", "       01 A.\n       COPY CB.\n       01 C.\n"},
                          {"CB.cpy", "           05 B PIC X.\n"}}});
  EXPECT_EQ(run.tokens, "main.cbl:1,8-9 01\n"
                        "main.cbl:1,11 A\n"
                        "main.cbl:1,12 .\n"
                        "main.cbl:2,8 COPY -> CB.cpy\n"
                        "CB.cpy:1,12-13 05\n"
                        "CB.cpy:1,15 B\n"
                        "CB.cpy:1,17-19 PIC\n"
                        "CB.cpy:1,21 X\n"
                        "CB.cpy:1,22 end_of_picture\n"
                        "CB.cpy:1,22 .\n"
                        "main.cbl:3,8-9 01\n"
                        "main.cbl:3,11 C\n"
                        "main.cbl:3,12 .\n"
                        "main.cbl:4,1 _EOF_\n");
  EXPECT_EQ(run.messages, "");
  EXPECT_EQ(run.level, 0);
}

TEST(Copy, NestedCopybooksAndTheirSearch) {
  // The bare name wins over the ".cpy" one; a literal names a file with a
  // directory part; the search ignores case.
  CopyRun run = RunCopy({{{"main.cbl", "       COPY OUTER.\n       01 Z.\n"},
                          {"OUTER", "       01 O.\n       COPY 'sub/inner'.\n"},
                          {"OUTER.cpy", "       01 WRONG.\n"},
                          {"sub/inner.CPY", "           05 I PIC X.\n"}}});
  EXPECT_EQ(run.tokens, "main.cbl:1,8 COPY -> OUTER\n"
                        "OUTER:1,8-9 01\n"
                        "OUTER:1,11 O\n"
                        "OUTER:1,12 .\n"
                        "OUTER:2,8 COPY -> sub/inner.CPY\n"
                        "sub/inner.CPY:1,12-13 05\n"
                        "sub/inner.CPY:1,15 I\n"
                        "sub/inner.CPY:1,17-19 PIC\n"
                        "sub/inner.CPY:1,21 X\n"
                        "sub/inner.CPY:1,22 end_of_picture\n"
                        "sub/inner.CPY:1,22 .\n"
                        "main.cbl:2,8-9 01\n"
                        "main.cbl:2,11 Z\n"
                        "main.cbl:2,12 .\n"
                        "main.cbl:3,1 _EOF_\n");
}

TEST(Copy, MissingCopybookIsAnErrorAndTheTextGoesOn) {
  CopyRun run = RunCopy({{{"main.cbl", "       01 A.\n       COPY NOPE.\n       01 C.\n"}}});
  EXPECT_EQ(run.tokens, "main.cbl:1,8-9 01\n"
                        "main.cbl:1,11 A\n"
                        "main.cbl:1,12 .\n"
                        "main.cbl:2,8 COPY -> -\n"
                        "main.cbl:3,8-9 01\n"
                        "main.cbl:3,11 C\n"
                        "main.cbl:3,12 .\n"
                        "main.cbl:4,1 _EOF_\n");
  EXPECT_EQ(run.messages, "\"main.cbl\":   2, 13: Error       cannot access include file: NOPE\n");
}

TEST(Copy, MissingCopybookWithRepairServesTheDotLine) {
  CopyFiles files{{{"main.cbl", "       01 A COPY NOPE.\n       01 C.\n"}}};
  files.repair = 1;
  CopyRun run = RunCopy(files);
  EXPECT_EQ(run.tokens, "main.cbl:1,8-9 01\n"
                        "main.cbl:1,11 A\n"
                        "main.cbl:1,13 COPY -> -\n"
                        "dot:1,10 .\n"
                        "main.cbl:2,8-9 01\n"
                        "main.cbl:2,11 C\n"
                        "main.cbl:2,12 .\n"
                        "main.cbl:3,1 _EOF_\n");
  EXPECT_EQ(count(run.messages, "cannot access include file: NOPE"), 1);
}

TEST(Copy, SelfCopyingCopybookStopsAtLevel32) {
  CopyRun run = RunCopy({{{"main.cbl", "       COPY SELF.\n"},
                          {"SELF.cpy", "           05 S PIC X.\n           COPY SELF.\n"}}});
  EXPECT_TRUE(run.fatal);
  // The main file is level 1; copybooks fill levels 2 to 31.
  EXPECT_EQ(run.level, 31);
  EXPECT_EQ(count(run.tokens, "COPY"), 30);
  EXPECT_EQ(run.messages, "\"SELF.cpy\":   2, 17: Fatal       too many nested COPY's\n");
}

TEST(Copy, IncludeLineOpensTheMemberAsWritten) {
  CopyRun run = RunCopy({{{"main.cbl", "       01 A.\n-INC member\n       01 C.\n"},
                          {"member", "           05 M PIC X.\n"}}});
  EXPECT_EQ(run.tokens, "main.cbl:1,8-9 01\n"
                        "main.cbl:1,11 A\n"
                        "main.cbl:1,12 .\n"
                        "member:1,12-13 05\n"
                        "member:1,15 M\n"
                        "member:1,17-19 PIC\n"
                        "member:1,21 X\n"
                        "member:1,22 end_of_picture\n"
                        "member:1,22 .\n"
                        "main.cbl:3,8-9 01\n"
                        "main.cbl:3,11 C\n"
                        "main.cbl:3,12 .\n"
                        "main.cbl:4,1 _EOF_\n");
}

TEST(Copy, InclurePrefixesNamesAndRaisesLevelsOfItsMemberOnly) {
  CopyRun run = RunCopy({{{"main.cbl", "       01 A.\n      *INCLURE MEMBRE X 2\n       01 C.\n"},
                          {"MEMBRE.cpy", "           03 M REDEFINES N PIC X.\n"}}});
  EXPECT_EQ(run.tokens, "main.cbl:1,8-9 01\n"
                        "main.cbl:1,11 A\n"
                        "main.cbl:1,12 .\n"
                        "main.cbl:2,8 INCLURE -> MEMBRE.cpy\n"
                        "MEMBRE.cpy:1,12-13 03 +2\n"
                        "MEMBRE.cpy:1,15 XM +prefix\n"
                        "MEMBRE.cpy:1,17-25 REDEFINES\n"
                        "MEMBRE.cpy:1,27 XN +prefix\n"
                        "MEMBRE.cpy:1,29-31 PIC\n"
                        "MEMBRE.cpy:1,33 X\n"
                        "MEMBRE.cpy:1,34 end_of_picture\n"
                        "MEMBRE.cpy:1,34 .\n"
                        "main.cbl:3,8-9 01\n"
                        "main.cbl:3,11 C\n"
                        "main.cbl:3,12 .\n"
                        "main.cbl:4,1 _EOF_\n");
}

TEST(Copy, BrokenCopyStatementIsASyntaxErrorAndIncludesNothing) {
  CopyRun run =
      RunCopy({{{"main.cbl", "       COPY CB REPLACING ==A== WITH ==B==.\n       01 C.\n"},
                {"CB.cpy", "       01 X.\n"}}});
  EXPECT_EQ(run.tokens, "main.cbl:1,8 COPY -> -\n"
                        "main.cbl:2,8-9 01\n"
                        "main.cbl:2,11 C\n"
                        "main.cbl:2,12 .\n"
                        "main.cbl:3,1 _EOF_\n");
  EXPECT_EQ(run.messages, "\"main.cbl\":   1, 32: Error       found/expected : name/BY\n");
}
