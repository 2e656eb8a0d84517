// Tests picture analysis over picture.cases, caching of the analysis, symbol counting.
#include <gtest/gtest.h>

#include <cstdio>

#include "converter/pictures.h"
#include "tests/converter/converter_support.h"

namespace {

std::string trimmed(std::string text) {
  text.erase(0, text.find_first_not_of(' '));
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

// The analysis of `picture` as picture.cases writes it.
std::string analysed(VexCblPicture &picture) {
  if (!picture.analyze())
    return picture.size() == 0 && picture.picProps() == nullptr ? "none" : "inconsistent";
  using Props = VexCblPicProps;
  const Props::PropMap &props = picture.picProps()->props();
  char type[8];
  std::snprintf(type, sizeof type, "0x%03x", static_cast<unsigned>(picture.type()));
  std::string text = picture.getPictureVal() + " " + std::to_string(picture.size()) + " " + type;
  for (auto prop : {Props::DBCS, Props::S, Props::P, Props::E, Props::DigitsAfterV, Props::Digits})
    text += " " + std::to_string(props.at(prop));
  if (picture.excess() == Props::Excess::RepetitionFactor)
    text += " too-large-factor";
  else if (picture.excess() == Props::Excess::Size)
    text += " too-large";
  return text;
}

TEST(Picture, EveryCaseOfTheTable) {
  std::istringstream file(vexReadFile("tests/converter/data/picture.cases"));
  for (std::string line; std::getline(file, line);) {
    if (line.empty() || line[0] == '#')
      continue;
    const auto first = line.find('|'), second = line.find('|', first + 1);
    const VexCblConfig options = vexOptions(line.substr(first + 1, second - first - 1));
    VexCblPicture picture(trimmed(line.substr(0, first)).c_str(), options);
    EXPECT_EQ(analysed(picture), trimmed(line.substr(second + 1))) << line;
  }
}

TEST(Picture, AnalysisIsKeptUntilTheTextIsReplaced) {
  VexCblPicture picture("9(3)", VexCblConfig{});
  EXPECT_TRUE(picture.analyze());
  VexCblPicProps *first = picture.picProps();
  EXPECT_TRUE(picture.analyze());
  EXPECT_EQ(picture.picProps(), first);
  picture.setPictureVal("X(7)");
  EXPECT_EQ(picture.picProps(), nullptr);
  EXPECT_EQ(picture.size(), 7);
  VexCblPicture copy(picture);
  picture.reset();
  EXPECT_EQ(picture.picProps(), nullptr);
  ASSERT_NE(copy.picProps(), nullptr);
  EXPECT_EQ(copy.picProps()->props().at(VexCblPicProps::SIZE), 7);
  EXPECT_EQ(VexCblPicture(nullptr, VexCblConfig{}).getPictureVal(), "");
}

} // namespace
