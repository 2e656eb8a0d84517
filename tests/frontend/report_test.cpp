// Report descriptions: the links between declarations and report nodes that
// the declaration dumps of data/parser/report_groups* do not show.
#include <gtest/gtest.h>

#include "parse_support.h"

using ReportParse = ParseTest;

TEST_F(ReportParse, ReportNamesAndGroupsAreDeclaredWithTheirNodes) {
  const ParseResult r = ParseCopybook(Fixed("RD R.\n01 G TYPE DE.\n   05 T COLUMN 1 PIC X.\n"));
  ASSERT_EQ(r.messages, "");
  EXPECT_EQ(DeclOf("R")->object, r.root->report_section);
  auto *group = as<tree::report_group_description>(DeclOf("T")->object);
  EXPECT_EQ(group->decl, DeclOf("T"));
  EXPECT_EQ(DeclOf("T")->lower, DeclOf("G"));
}
