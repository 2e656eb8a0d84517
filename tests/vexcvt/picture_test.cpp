#include <gtest/gtest.h>

#include <sstream>

#include "platform/vextrace.h"
#include "vexcvt/vexfcbl/vexcbcfg.h"
#include "vexcvt/vexfcbl/vexcbpic.h"

namespace {

using Props = VexCblPicProps;

// Every test starts from the default configuration and leaves it so.
class PictureTest : public ::testing::Test {
protected:
  void SetUp() override { restore(); }
  void TearDown() override { restore(); }
  static void restore() {
    VexCblConfig::inst().commaDecimalPoint = false;
    VexCblConfig::inst().compatLevel = 0;
  }
};

struct Expected {
  const char *picture;
  int size;
  std::int32_t type;
  int dbcs, s, p, e, digitsAfterV, digits;
};

void expectProps(const Expected &want) {
  VexCblPicture picture(want.picture);
  EXPECT_EQ(picture.size(), want.size) << want.picture;
  EXPECT_EQ(static_cast<std::int32_t>(picture.type()), want.type) << want.picture;
  ASSERT_TRUE(picture.picProps() != nullptr) << want.picture;
  const Props::PropMap &props = picture.picProps()->props();
  EXPECT_EQ(props.size(), 8u);
  EXPECT_EQ(props.at(Props::DBCS), want.dbcs) << want.picture;
  EXPECT_EQ(props.at(Props::S), want.s) << want.picture;
  EXPECT_EQ(props.at(Props::P), want.p) << want.picture;
  EXPECT_EQ(props.at(Props::E), want.e) << want.picture;
  EXPECT_EQ(props.at(Props::DigitsAfterV), want.digitsAfterV) << want.picture;
  EXPECT_EQ(props.at(Props::Digits), want.digits) << want.picture;
}

TEST_F(PictureTest, NumericPictures) {
  const Expected cases[] = {
      // picture, size, type, dbcs, S, P, E, digits after V, digits
      {"S9(5)V99", 7, 0x004, 0, 1, 0, 0, 2, 7}, {"PPP999", 3, 0x004, 0, 0, 3, 0, 3, 3},
      {"999PP", 3, 0x004, 0, 0, 2, 0, 0, 3},    {"SVP(2)9(3)", 3, 0x004, 0, 1, 2, 0, 3, 3},
      {"S(2)9", 1, 0x004, 0, 1, 0, 0, 0, 1},    {"9(12)", 12, 0x004, 0, 0, 0, 0, 0, 12},
  };
  for (const Expected &c : cases)
    expectProps(c);
}

TEST_F(PictureTest, LeadingPsCountAfterThePointAtLevel300) {
  VexCblConfig::inst().compatLevel = 300;
  expectProps({"PPP999", 3, 0x004, 0, 0, 3, 0, 6, 3});
  expectProps({"999PP", 3, 0x004, 0, 0, 2, 0, 0, 3});
  expectProps({"V(1)P(2)99", 2, 0x004, 0, 0, 2, 0, 4, 2});
}

TEST_F(PictureTest, EditedPictures) {
  const Expected cases[] = {
      {"ZZ,ZZ9.99CR", 11, 0x104, 0, 0, 0, 0, 0, 3},  {"+9.99E+99", 9, 0x104, 0, 0, 0, 1, 0, 5},
      {"$$$,$$9.99DB", 12, 0x104, 0, 0, 0, 0, 0, 3}, {"Z(3)V99", 5, 0x104, 0, 0, 0, 0, 2, 2},
      {"99/99/99", 8, 0x104, 0, 0, 0, 0, 0, 6},      {"XXBXX", 5, 0x108, 0, 0, 0, 0, 0, 0},
      {"A(2)BA", 4, 0x102, 0, 0, 0, 0, 0, 0},        {"9(3)0", 4, 0x104, 0, 0, 0, 0, 0, 3},
  };
  for (const Expected &c : cases)
    expectProps(c);
}

TEST_F(PictureTest, AlphanumericAndAlphabeticPictures) {
  const Expected cases[] = {
      {"X(10)", 10, 0x008, 0, 0, 0, 0, 0, 0},
      {"A(3)", 3, 0x002, 0, 0, 0, 0, 0, 0},
      {"A9", 2, 0x008, 0, 0, 0, 0, 0, 1},
      {"AX", 2, 0x008, 0, 0, 0, 0, 0, 0},
      {"G(4)", 4, 0x008, 1, 0, 0, 0, 0, 0},
      {"N(2)", 2, 0x008, 1, 0, 0, 0, 0, 0},
      {"9X", 2, 0x008, 0, 0, 0, 0, 0, 1},
      // Without any class symbol a picture is alphanumeric.
      {"BB", 2, 0x108, 0, 0, 0, 0, 0, 0},
      {"S", 0, 0x008, 0, 1, 0, 0, 0, 0},
  };
  for (const Expected &c : cases)
    expectProps(c);
}

TEST_F(PictureTest, NormalisationCase) {
  VexCblPicture lower("x(5)");
  EXPECT_EQ(lower.getPictureVal(), "X(5)");
  EXPECT_EQ(lower.size(), 5);
  EXPECT_EQ(static_cast<int>(lower.type()), static_cast<int>(VexCblType::Alphanumeric));

  // A lower-case letter that is no symbol is kept and contributes nothing.
  VexCblPicture other("9q9");
  EXPECT_EQ(other.getPictureVal(), "9q9");
  EXPECT_EQ(other.size(), 2);
  EXPECT_EQ(static_cast<int>(other.type()), static_cast<int>(VexCblType::Numeric));

  VexCblPicture edited("zz9.99cr");
  EXPECT_EQ(edited.getPictureVal(), "ZZ9.99CR");
  EXPECT_EQ(edited.size(), 8);
}

TEST_F(PictureTest, NormalisationCommaDecimalPoint) {
  VexCblConfig::inst().commaDecimalPoint = true;
  VexCblPicture picture("zz.zz9,99");
  EXPECT_EQ(picture.getPictureVal(), "ZZ,ZZ9.99");
  EXPECT_EQ(picture.size(), 9);
  EXPECT_EQ(static_cast<int>(picture.type()), static_cast<int>(VexCblType::Numeric | VexCblType::Edited));

  VexCblConfig::inst().commaDecimalPoint = false;
  picture.setPictureVal("zz.zz9,99");
  EXPECT_EQ(picture.getPictureVal(), "ZZ.ZZ9,99");
}

TEST_F(PictureTest, EmptyPictureIsNotAnalysed) {
  VexCblPicture empty("");
  EXPECT_FALSE(empty.analyze());
  EXPECT_EQ(empty.size(), 0);
  EXPECT_EQ(static_cast<int>(empty.type()), static_cast<int>(VexCblType::None));
  EXPECT_TRUE(empty.picProps() == nullptr);

  VexCblPicture null(nullptr);
  EXPECT_EQ(null.getPictureVal(), "");
  EXPECT_EQ(null.size(), 0);
}

TEST_F(PictureTest, AnalysisIsCachedUntilReplaced) {
  VexCblPicture picture("9(3)");
  EXPECT_TRUE(picture.picProps() == nullptr);
  EXPECT_TRUE(picture.analyze());
  Props *first = picture.picProps();
  ASSERT_TRUE(first != nullptr);

  // The cached table is not recomputed, even when the configuration changes.
  VexCblConfig::inst().compatLevel = 300;
  EXPECT_TRUE(picture.analyze());
  EXPECT_TRUE(picture.picProps() == first);

  picture.setPictureVal("X(7)");
  EXPECT_TRUE(picture.picProps() == nullptr);
  EXPECT_EQ(picture.size(), 7);
  EXPECT_EQ(static_cast<int>(picture.type()), static_cast<int>(VexCblType::Alphanumeric));

  VexCblPicture copy(picture);
  picture.reset();
  EXPECT_TRUE(picture.picProps() == nullptr);
  ASSERT_TRUE(copy.picProps() != nullptr);
  EXPECT_EQ(copy.picProps()->props().at(Props::SIZE), 7);
}

TEST_F(PictureTest, CountSymbol) {
  EXPECT_EQ(vexCblCountSymbol("ZZ,ZZ9.99", 'Z', '9'), 4);
  EXPECT_EQ(vexCblCountSymbol("$$$,$$9.99", '$', '9'), 5);
  EXPECT_EQ(vexCblCountSymbol("+ZZZ", 'Z', '9'), 3);
  EXPECT_EQ(vexCblCountSymbol("9ZZ", 'Z', '9'), 0);
  EXPECT_EQ(vexCblCountSymbol("", 'Z', '9'), 0);
  EXPECT_EQ(vexCblCountSymbol(nullptr, 'Z', '9'), 0);
}

TEST_F(PictureTest, FullTraceLeavesResultsAlone) {
  auto run = [] {
    std::string results;
    for (const char *text : {"S9(5)V99", "ZZ,ZZ9.99CR", "", "G(4)"}) {
      VexCblPicture picture(text);
      results += std::to_string(picture.size()) + "/" + std::to_string(static_cast<int>(picture.type())) + "/" +
                 picture.getPictureVal() + "|";
    }
    return results;
  };
  const std::string untraced = run();
  std::ostringstream trace;
  vexTraceSetOutput(&trace);
  vexTraceSetLevel(nullptr, TRC1_DETAIL | TRC1_FLOW | TRC1_ERROR);
  const std::string traced = run();
  vexTraceSetLevel(nullptr, 0);
  vexTraceSetOutput(nullptr);
  EXPECT_EQ(traced, untraced);
  EXPECT_NE(trace.str().find("VexCblPicture::analyze"), std::string::npos);
}

TEST(VexCblTypeBits, CombinationsKeepTheirNumbers) {
  EXPECT_EQ(static_cast<std::int32_t>(VexCblType::Numeric | VexCblType::Edited), 0x104);
  EXPECT_TRUE(vexCblTypeHas(VexCblType::Numeric | VexCblType::Edited, VexCblType::Edited));
  EXPECT_FALSE(vexCblTypeHas(VexCblType::Alphanumeric, VexCblType::Alphabetic | VexCblType::Numeric));
}

} // namespace
