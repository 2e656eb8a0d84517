// The picture parser: hand-worked pictures of every symbol, and every picture of the corpus
// printed back character for character and read as the converter reads it.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "converter/conversion_options.h"
#include "converter/pictures.h"
#include "record/picture.h"

namespace {

namespace fs = std::filesystem;

std::string trim(const std::string &text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos)
    return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::vector<std::string> fields(const std::string &line) {
  std::vector<std::string> out;
  std::stringstream in(line);
  for (std::string field; std::getline(in, field, '|');)
    out.push_back(trim(field));
  return out;
}

const std::map<Category, std::string> categoryNames = {
    {Category::alphabetic, "alphabetic"},
    {Category::alphanumeric, "alphanumeric"},
    {Category::alphanumericEdited, "alphanumericEdited"},
    {Category::numeric, "numeric"},
    {Category::numericEdited, "numericEdited"},
    {Category::national, "national"},
    {Category::dbcs, "dbcs"},
    {Category::externalFloatingPoint, "externalFloatingPoint"},
};

std::string signText(const ParsedPicture &picture) {
  switch (picture.sign) {
  case PictureSign::none:
    return "none";
  case PictureSign::s:
    return "S";
  default:
    break;
  }
  const char *symbol = picture.sign == PictureSign::plus     ? "+"
                       : picture.sign == PictureSign::minus  ? "-"
                       : picture.sign == PictureSign::credit ? "CR"
                                                             : "DB";
  return std::string(symbol) + (picture.signLeading ? "lead" : "trail");
}

// The notation of the case file for one element.
std::string elementText(const EditElement &element) {
  static const std::map<PictureSymbol, std::string> symbols = {
      {PictureSymbol::nine, "9"},         {PictureSymbol::letter, "A"},
      {PictureSymbol::character, "X"},    {PictureSymbol::dbcs, "G"},
      {PictureSymbol::national, "N"},     {PictureSymbol::sign, "S"},
      {PictureSymbol::assumedPoint, "V"}, {PictureSymbol::scaling, "P"},
      {PictureSymbol::exponent, "E"},     {PictureSymbol::zero, "Z"},
      {PictureSymbol::asterisk, "*"},     {PictureSymbol::plus, "+"},
      {PictureSymbol::minus, "-"},        {PictureSymbol::currency, "$"},
      {PictureSymbol::credit, "CR"},      {PictureSymbol::debit, "DB"},
      {PictureSymbol::period, "."},       {PictureSymbol::comma, ","},
      {PictureSymbol::slash, "/"},        {PictureSymbol::zeroInsert, "0"},
      {PictureSymbol::space, "B"},
  };
  const std::string symbol = symbols.at(element.symbol);
  std::string text;
  switch (element.kind) {
  case EditKind::floatingInsertion:
    text = "f" + symbol;
    break;
  case EditKind::fixedInsertion:
    text = "x" + symbol;
    break;
  case EditKind::simpleInsertion:
    text = "i" + symbol;
    break;
  case EditKind::decimalPoint:
    text = "d" + symbol;
    break;
  case EditKind::character:
    text = "c" + symbol;
    break;
  default:
    text = symbol;
    break;
  }
  return element.count > 1 ? text + "*" + std::to_string(element.count) : text;
}

std::string editText(const ParsedPicture &picture) {
  if (picture.edit.empty())
    return "-";
  std::string text;
  for (const EditElement &element : picture.edit)
    text += (text.empty() ? "" : " ") + elementText(element);
  return text;
}

TEST(PictureParser, HandWorkedCasesOfEverySymbol) {
  std::ifstream in(fs::path(VEX_SOURCE_DIR) / "tests/record/data/pictures.cases");
  ASSERT_TRUE(in) << "tests/record/data/pictures.cases missing";
  int cases = 0;
  std::set<PictureSymbol> seen;
  for (std::string line; std::getline(in, line);) {
    if (trim(line).empty() || trim(line)[0] == '#')
      continue;
    const std::vector<std::string> f = fields(line);
    ASSERT_GE(f.size(), 8u) << line;
    SCOPED_TRACE(line);
    const ParsedPicture picture = parsePicture(f[0], f[1] == "comma");
    EXPECT_EQ(categoryNames.at(picture.category), f[2]);
    EXPECT_EQ(picture.size, std::stoll(f[3]));
    EXPECT_EQ(picture.digits, std::stoll(f[4]));
    EXPECT_EQ(picture.scale, std::stoll(f[5]));
    EXPECT_EQ(signText(picture), f[6]);
    EXPECT_EQ(editText(picture), f[7]);
    EXPECT_EQ(pictureText(picture), f[0]);
    EXPECT_EQ(pictureDisplayText(picture), f.size() > 8 ? f[8] : f[0]);
    EXPECT_FALSE(picture.tooLarge);
    for (const PictureRun &run : picture.runs)
      seen.insert(run.symbol);
    ++cases;
  }
  EXPECT_GT(cases, 50);
  // Every symbol of a picture string appears in some case.
  for (int symbol = 0; symbol <= static_cast<int>(PictureSymbol::other); ++symbol)
    EXPECT_TRUE(seen.count(static_cast<PictureSymbol>(symbol)) != 0) << "symbol " << symbol;
}

TEST(PictureParser, RunsKeepHowTheSymbolsWereWritten) {
  const ParsedPicture picture = parsePicture("s9(05)v99x");
  ASSERT_EQ(picture.runs.size(), 5u);
  EXPECT_EQ(picture.runs[0].spelling, "s");
  EXPECT_EQ(picture.runs[1].factor, "(05)");
  EXPECT_EQ(picture.runs[1].count, 5);
  EXPECT_EQ(picture.runs[2].spelling, "v");
  EXPECT_EQ(picture.runs[3].count, 2);
  EXPECT_TRUE(picture.runs[3].factor.empty());
  EXPECT_EQ(picture.runs[4].symbol, PictureSymbol::character);
  // Written twice over, one run of two; a factor starts a run of its own.
  const ParsedPicture repeated = parsePicture("99(3)9");
  ASSERT_EQ(repeated.runs.size(), 3u);
  EXPECT_EQ(repeated.runs[0].count, 1);
  EXPECT_EQ(repeated.runs[1].count, 3);
  EXPECT_EQ(repeated.digits, 5);
  // An unclosed factor runs to the end, as the converter reads it.
  EXPECT_EQ(pictureText(parsePicture("X(12")), "X(12");
  EXPECT_EQ(parsePicture("X(12").size, 12);
}

TEST(PictureParser, SizesPastTheLimitAreCappedAndFlagged) {
  EXPECT_FALSE(parsePicture("X(999999999)").tooLarge);
  EXPECT_EQ(parsePicture("X(999999999)").size, 999999999);
  EXPECT_TRUE(parsePicture("X(1000000000)").tooLarge);
  EXPECT_TRUE(parsePicture("X(600000000)X(600000000)").tooLarge);
  const ParsedPicture huge = parsePicture("9(99999999999999999999)");
  EXPECT_TRUE(huge.tooLarge);
  EXPECT_EQ(huge.size, std::int64_t{1} << 40);
}

// --- every picture of the corpus

fs::path corpusDir() {
  if (const char *dir = std::getenv("VEX_CORPUS_DIR"))
    return dir;
  return fs::path(VEX_SOURCE_DIR).parent_path() / "shared" / "corpus";
}

// The words of a file's code: columns 8 to 72 of fixed-format lines that
// are no comment, whole lines of free format without "*>" comments.
std::vector<std::string> codeWords(const fs::path &file, bool free) {
  std::ifstream in(file, std::ios::binary);
  std::vector<std::string> words;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    if (free) {
      const std::size_t comment = line.find("*>");
      if (comment != std::string::npos)
        line.erase(comment);
    } else {
      if (line.size() < 7 || line[6] == '*' || line[6] == '/')
        continue;
      line = line.substr(7, 65);
    }
    std::istringstream split(line);
    for (std::string word; split >> word;)
      words.push_back(word);
  }
  return words;
}

std::string upper(std::string text) {
  for (char &c : text)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// The character-strings after PIC or PICTURE [IS], without the separator
// period or comma that may end them.
std::vector<std::string> corpusPictures() {
  std::vector<std::string> pictures;
  std::ifstream manifest(corpusDir() / "MANIFEST.tsv");
  std::string row;
  std::getline(manifest, row);
  while (std::getline(manifest, row)) {
    std::vector<std::string> columns;
    std::stringstream split(row);
    for (std::string column; std::getline(split, column, '\t');)
      columns.push_back(column);
    if (columns.size() < 9)
      continue;
    const bool free = columns[7] != "yes" && columns[8] == "yes";
    const std::vector<std::string> words = codeWords(corpusDir() / columns[0], free);
    for (std::size_t i = 0; i + 1 < words.size(); ++i) {
      const std::string word = upper(words[i]);
      if (word != "PIC" && word != "PICTURE")
        continue;
      std::size_t at = i + 1;
      if (upper(words[at]) == "IS" && at + 1 < words.size())
        ++at;
      std::string picture = words[at];
      if (picture.size() > 1 && (picture.back() == '.' || picture.back() == ','))
        picture.pop_back();
      pictures.push_back(picture);
    }
  }
  return pictures;
}

TEST(PictureParser, EveryCorpusPicturePrintsBackAndReadsAsTheConverterReadsIt) {
  if (!fs::exists(corpusDir() / "MANIFEST.tsv"))
    GTEST_SKIP() << "no corpus at " << corpusDir() << " (set VEX_CORPUS_DIR)";
  const std::vector<std::string> pictures = corpusPictures();
  VexCblConfig options;
  std::set<std::string> distinct;
  for (const std::string &text : pictures) {
    SCOPED_TRACE(text);
    const ParsedPicture picture = parsePicture(text);
    EXPECT_EQ(pictureText(picture), text);
    if (!distinct.insert(text).second)
      continue;
    // The converter's own reading of the same string, for the document: the
    // two must never disagree on what the item takes or holds.
    VexCblPicture converter(text.c_str(), options);
    EXPECT_EQ(picture.size, converter.size());
    EXPECT_EQ(pictureDisplayText(picture), converter.getPictureVal());
    const VexCblType type = converter.type();
    const bool plainNumber =
        vexCblTypeHas(type, VexCblType::Numeric) && !vexCblTypeHas(type, VexCblType::Edited);
    if (picture.category != Category::externalFloatingPoint) {
      EXPECT_EQ(picture.category == Category::numeric, plainNumber);
    }
    if (plainNumber && picture.category == Category::numeric) {
      EXPECT_EQ(picture.digits, converter.picProps()->props().at(VexCblPicProps::Digits));
    }
    EXPECT_EQ(picture.sign == PictureSign::s,
              converter.picProps()->props().at(VexCblPicProps::S) > 0);
  }
  EXPECT_GT(pictures.size(), 5000u);
  std::cout << pictures.size() << " pictures (" << distinct.size() << " distinct) of the corpus\n";
}

} // namespace
