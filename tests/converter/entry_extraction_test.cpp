// Tests extraction of entries into item contexts (extract.cases), REDEFINES, prefixed names.
#include <gtest/gtest.h>

#include "converter/conversion.h"
#include "converter/item_contexts.h"
#include "converter/entry_extraction.h"
#include "converter/value_clauses.h"
#include "support/identifier_table.h"
#include "tests/converter/converter_support.h"

namespace {

VexCblObjContext extracted(VexCblConversion &conv, Tree_Node *entry) {
  VexCblObjContext item;
  vexCblAheadObjExtr(entry, item);
  vexCblExtractObj(conv, entry, item);
  return item;
}

// The fields of `item` that differ from a fresh context.
std::string summary(const VexCblObjContext &item) {
  std::ostringstream out;
  out << "name=" << item.name;
  if (item.picture)
    out << " picture=" << item.picture->getPictureVal();
  if (item.usage != 0)
    out << " usage=" << item.usage;
  if (item.sign != 0)
    out << " sign=" << item.sign;
  if (item.cardinality.isSet()) {
    const VexRange range = item.cardinality.get();
    out << " occurs=" << range.lbound() << ".." << range.ubound();
  }
  if (!item.dependingOn.empty())
    out << " depending=" << item.dependingOn;
  if (!item.getRedefinesName().empty())
    out << " redefines=" << item.getRedefinesName();
  if (item.value)
    out << " value=" << item.value->getType() << ":" << item.value->getValue()
        << (item.value->isExpandable() ? " all" : "");
  if (item.justified)
    out << " justified";
  if (item.blankWhenZero)
    out << " blank-when-zero";
  return out.str();
}

TEST(Extraction, EveryCaseOfTheTable) {
  for (const VexCase &c : vexReadCases("extract.cases")) {
    SCOPED_TRACE("extract.cases:" + std::to_string(c.line) + " " + c.title);
    const VexFrontEnd frontEnd(vexFixed(c.get("")));
    ASSERT_EQ(frontEnd.errors, 0) << frontEnd.messages;
    for (const auto &[name, expected] : c.section) {
      if (name.empty())
        continue;
      auto *entry = as<tree::format_1>(frontEnd.decl(name.c_str())->object);
      VexCblConversion conv(vexOptions(c.options));
      const VexCblReportContext context(conv.report, name.c_str(), &entry->pos);
      VexCblObjContext item;
      const VexStreams streams = vexCaptured([&] { item = extracted(conv, entry); });
      EXPECT_EQ(item.description + "\n" + summary(item) + "\n" + streams.err, expected) << name;
    }
  }
}

TEST(Extraction, IsRedefiningLooksAtTheFirstClauseOnly) {
  const VexFrontEnd fe(vexFixed("01 REC.\n"
                                "    05 BASE PIC X(4).\n"
                                "    05 ALT REDEFINES BASE PIC 9(4).\n"
                                "    05 LATE PIC 9(4) REDEFINES BASE.\n"
                                "    05 low-name PIC X(4).\n"
                                "    05 ALT2 REDEFINES low-name PIC X(4).\n"));
  ASSERT_EQ(fe.errors, 0) << fe.messages;
  EXPECT_TRUE(vexCblIsRedefining(fe.decl("ALT"), fe.decl("BASE")->name));
  EXPECT_TRUE(vexCblIsRedefining(fe.decl("ALT")->object, MakeIdent("BASE")));
  EXPECT_FALSE(vexCblIsRedefining(fe.decl("ALT"), MakeIdent("OTHER")));
  EXPECT_FALSE(vexCblIsRedefining(fe.decl("ALT"), NoIdent));
  EXPECT_FALSE(vexCblIsRedefining(fe.decl("LATE"), fe.decl("BASE")->name));
  EXPECT_FALSE(vexCblIsRedefining(fe.decl("BASE"), fe.decl("BASE")->name));
  EXPECT_FALSE(vexCblIsRedefining(nullptr, MakeIdent("BASE")));
  // The comparison is exact, with the operand as written.
  EXPECT_TRUE(vexCblIsRedefining(fe.decl("ALT2"), MakeIdent("low-name")));
  EXPECT_FALSE(vexCblIsRedefining(fe.decl("ALT2"), MakeIdent("LOW-NAME")));
}

// Pictures are remembered by their stored text for the next entries that
// spell them: each entry must still get its own picture, read under the
// decimal point in force when it is read, and the picture as written in
// its description.
TEST(Extraction, RepeatedPicturesKeepTheirOwnReading) {
  std::string source = "01 REC.\n";
  // Ten pictures, more than are remembered, each spelled twice in turn.
  const char *pictures[] = {"x(1)", "x(2)", "x(3)", "x(4)", "x(5)",
                            "x(6)", "x(7)", "x(8)", "x(9)", "z,zz9.99"};
  for (int round = 0; round < 2; ++round)
    for (int i = 0; i < 10; ++i)
      source +=
          "    05 F" + std::to_string(round) + std::to_string(i) + " PIC " + pictures[i] + ".\n";
  const VexFrontEnd fe(vexFixed(source));
  ASSERT_EQ(fe.errors, 0) << fe.messages;
  VexCblConversion conv{VexCblConfig{}};
  const char *normalised[] = {"X(1)", "X(2)", "X(3)", "X(4)", "X(5)",
                              "X(6)", "X(7)", "X(8)", "X(9)", "Z,ZZ9.99"};
  for (int round = 0; round < 2; ++round)
    for (int i = 0; i < 10; ++i) {
      const std::string name = "F" + std::to_string(round) + std::to_string(i);
      VexCblObjContext item = extracted(conv, fe.decl(name.c_str())->object);
      ASSERT_TRUE(item.picture) << name;
      EXPECT_EQ(item.picture->getPictureVal(), normalised[i]) << name;
      EXPECT_EQ(item.description, "05 " + name + " PICTURE IS " + pictures[i]) << name;
      EXPECT_EQ(item.picture->size(), i < 9 ? i + 1 : 8) << name;
    }
  // DECIMAL-POINT IS COMMA, set for a later program of the same conversion:
  // the same stored text now reads with the point and the comma exchanged.
  conv.options.commaDecimalPoint = true;
  const VexCblObjContext comma = extracted(conv, fe.decl("F19")->object);
  EXPECT_EQ(comma.picture->getPictureVal(), "Z.ZZ9,99");
  EXPECT_EQ(comma.description, "05 F19 PICTURE IS z,zz9.99");
  conv.options.commaDecimalPoint = false;
  EXPECT_EQ(extracted(conv, fe.decl("F09")->object).picture->getPictureVal(), "Z,ZZ9.99");
}

// The include prefix, which plain source gives only through a prefixed
// include, is set on parsed nodes: names and pictures then come in their
// normalised form.
TEST(Extraction, PrefixedWordsAreTakenNormalised) {
  const VexFrontEnd fe(vexFixed("01 BASE PIC X.\n01 ALT REDEFINES base pic x(05).\n"));
  ASSERT_EQ(fe.errors, 0) << fe.messages;
  auto *entry = as<tree::format_1>(fe.decl("ALT")->object);
  entry->name = MakeIdent("P-ALT");
  entry->replaced = true;
  auto *redefines = as<tree::redefines>(entry->data_clause_l);
  as<tree::name>(redefines->name)->name = MakeIdent("P-BASE");
  as<tree::name>(redefines->name)->replaced = true;
  as<tree::picture>(redefines->next)->replaced = true;
  VexCblConversion conv{VexCblConfig{}};
  const VexCblObjContext item = extracted(conv, entry);
  EXPECT_EQ(item.name, "P-ALT");
  EXPECT_EQ(item.description, "01 P-ALT REDEFINES P-BASE PICTURE IS X(5)");
  EXPECT_TRUE(vexCblIsRedefining(entry, MakeIdent("P-BASE")));
  EXPECT_FALSE(vexCblIsRedefining(entry, MakeIdent("base")));
  // Reading from a clause takes that clause and those behind it.
  EXPECT_EQ(extracted(conv, redefines->next).description, "PICTURE IS X(5)");
}

// The parser gives only known figurative constants; one the converter does
// not know is warned about with the item's context and leaves no value.
TEST(Extraction, UnknownFigurativeConstantIsWarnedAbout) {
  const VexFrontEnd fe(vexFixed("01 CUST-CODE PIC X VALUE SPACE.\n"));
  ASSERT_EQ(fe.errors, 0) << fe.messages;
  auto *entry = as<tree::format_1>(fe.decl("CUST-CODE")->object);
  auto *value = as<tree::value_is>(as<tree::picture>(entry->data_clause_l)->next);
  as<tree::figurative_literal>(value->expression)->keyword = 268;
  VexCblConversion conv{VexCblConfig{}};
  const VexCblReportContext context(conv.report, "CUST-CODE", nullptr);
  VexCblObjContext item;
  const VexStreams streams = vexCaptured([&] { item = extracted(conv, entry); });
  EXPECT_EQ(streams.err,
            " (CUST-CODE) \n\tWarning: VALUE contains unknown figurative constant.\n\tThe keyword "
            "was ignored.\n");
  ASSERT_NE(item.value, nullptr);
  EXPECT_EQ(static_cast<int>(item.value->getType()), static_cast<int>(VexCblValue::NoValue));
}

} // namespace
