#include "tests/vexcvt/source_support.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "cobol/Eval.h"
#include "cobol/Parser.h"
#include "cobol/Scanner.h"
#include "cobol/Source.h"
#include "cobol/copy.h"
#include "cobol/deftab.h"
#include "cobol/keywords.h"
#include "common/Errors.h"
#include "platform/vextrace.h"
#include "reuse/Idents.h"
#include "reuse/StringM.h"
#include "reuse/rMemory.h"

namespace {

constexpr int wordRedefines = 54;
constexpr int wordPicture = 56;
constexpr int wordUsage = 57;
constexpr int wordSign = 58;
constexpr int wordOccurs = 59;
constexpr int wordValue = 65;
constexpr int wordObjectReference = 85;
constexpr int wordAll = 154;

tStringRef stored(const std::string &text) { return PutString(text.data(), text.size()); }

// The picture's normalised form: letters upper case and repetition factors
// without leading zeros.
std::string normalisedPicture(const char *written) {
  std::string result;
  for (const char *p = written; *p != '\0'; ++p) {
    if (*p == '(') {
      char *end = nullptr;
      const long count = std::strtol(p + 1, &end, 10);
      result += "(" + std::to_string(count) + ")";
      p = *end == ')' ? end : end - 1;
      continue;
    }
    result += static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
  }
  return result;
}

tTree nameNode(const char *written, const char *prefixedName) {
  const tIdent name =
      prefixedName != nullptr ? vexTestNormalised(prefixedName) : vexTestNormalised(written);
  return mname(NoPosition, NoPosition, name, MakeIdent(written), prefixedName != nullptr);
}

// Seven blanks in front of every line put level numbers in column 8.
std::string fixedFormat(const std::string &lines) {
  std::istringstream in(lines);
  std::string line, out;
  while (std::getline(in, line)) out += "       " + line + "\n";
  return out;
}

std::string storedMessages() {
  std::FILE *out = std::tmpfile();
  WriteMessages(out);
  std::rewind(out);
  std::string text;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, out)) > 0) text.append(buffer, n);
  std::fclose(out);
  return text;
}

} // namespace

int VexSourceTest::parse(const std::string &lines) {
  static int counter = 0;
  const auto folder =
      std::filesystem::temp_directory_path() /
      ("vexextract-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "T.cpy", std::ios::binary) << fixedFormat(lines);

  InitStringMemory();
  InitIdents();
  BeginErrors();
  StoreMessages(true);
  init_keywords("");
  free_format = false;
  MaxColumn = 72;
  BeginDeftab();
  init_copy_pars();
  // Positions name the file as the copybook calls it, not its folder.
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  BeginFile("T.cpy");
  BeginScanner();
  push(MakeIdent("T.cpy"));
  Parser2(ParserStartCopybook);
  as<tree::data_division>(TreeRoot)->deftab = deftab_decls;
  Eval(TreeRoot);
  messages = storedMessages();
  CloseParser();
  ResetScanner();
  std::filesystem::current_path(previous);
  std::filesystem::remove_all(folder);
  return GetCount(xxError);
}

tree::decl *VexSourceTest::declOf(const char *name) {
  return as_if<tree::decl>(Identify(MakeIdent(name)));
}

tree::format_1 *VexSourceTest::entryOf(const char *name) {
  tree::decl *declaration = declOf(name);
  EXPECT_NE(declaration, nullptr) << name;
  auto *entry = declaration == nullptr ? nullptr : as_if<tree::format_1>(declaration->object);
  EXPECT_NE(entry, nullptr) << name;
  return entry;
}

void VexSourceTest::TearDown() {
  ReleaseTreeModule();
  StoreMessages(false);
  CloseIdents();
  CloseStringMemory();
  CloserMemory();
}

void VexTreeTest::SetUp() {
  InitStringMemory();
  InitIdents();
}

void VexTreeTest::TearDown() {
  ReleaseTreeModule();
  CloseIdents();
  CloseStringMemory();
  CloserMemory();
}

tIdent vexTestNormalised(const char *written) {
  std::string text(written);
  for (char &c : text)
    c = c == '_' ? '-' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return MakeIdent(text.c_str());
}

tPosition vexTestPosition(const char *file, unsigned line, unsigned short column) {
  return tPosition{line, column, MakeIdent(file)};
}

VexTestEntry::VexTestEntry(const char *level, const char *name)
    : level_(std::atoi(level)), levelString_(stored(level)),
      name_(name ? vexTestNormalised(name) : NoIdent), spelling_(name ? MakeIdent(name) : NoIdent),
      position_(NoPosition), clauses_(mnodata_clause()) {}

VexTestEntry &VexTestEntry::prefixed(const char *prefixedName) {
  name_ = vexTestNormalised(prefixedName);
  replaced_ = true;
  return *this;
}

VexTestEntry &VexTestEntry::at(const tPosition &position) {
  position_ = position;
  return *this;
}

VexTestEntry &VexTestEntry::redefines(const char *written, const char *prefixedName) {
  clauses_ =
      mredefines(clauses_, NoPosition, NoPosition, wordRedefines, nameNode(written, prefixedName));
  return *this;
}

VexTestEntry &VexTestEntry::picture(const char *written, bool replaced) {
  clauses_ = mpicture(clauses_, NoPosition, NoPosition, wordPicture, NoPosition, NoPosition,
                      stored(normalisedPicture(written)), stored(written), replaced,
                      mnoexpression(NoPosition, NoPosition));
  return *this;
}

VexTestEntry &VexTestEntry::usage(int code, bool native) {
  clauses_ =
      musage(clauses_, NoPosition, NoPosition, wordUsage, static_cast<std::uint16_t>(code), native);
  return *this;
}

VexTestEntry &VexTestEntry::objectReference() {
  clauses_ = musage_obj_ref(clauses_, NoPosition, NoPosition, wordUsage, wordObjectReference, false,
                            mnoexpression(NoPosition, NoPosition));
  return *this;
}

VexTestEntry &VexTestEntry::sign(int code) {
  clauses_ = msign(clauses_, NoPosition, NoPosition, wordSign, static_cast<std::uint16_t>(code));
  return *this;
}

VexTestEntry &VexTestEntry::occurs(int from, int to, const char *depending) {
  const tTree dependingOn =
      depending != nullptr ? nameNode(depending, nullptr) : mnoexpression(NoPosition, NoPosition);
  clauses_ = moccurs(clauses_, NoPosition, NoPosition, wordOccurs, from, NoPosition, NoPosition, to,
                     NoPosition, NoPosition, dependingOn, mnoa_de_scending(), mnoidentifier());
  return *this;
}

VexTestEntry &VexTestEntry::keyword(int code) {
  clauses_ = mdata_clause(clauses_, NoPosition, NoPosition, static_cast<std::uint16_t>(code));
  return *this;
}

VexTestEntry &VexTestEntry::value(tTree literal) {
  clauses_ = mvalue_is(clauses_, NoPosition, NoPosition, wordValue, literal);
  return *this;
}

tree::format_1 *VexTestEntry::entry() {
  if (entry_ == nullptr)
    entry_ = mformat_1(mnodata_description_entry(), static_cast<std::int16_t>(level_), levelString_,
                       name_, position_, spelling_, position_, replaced_, position_, position_,
                       ReverseTree(clauses_));
  return entry_;
}

tree::decl *VexTestEntry::declaration() {
  tree::format_1 *object = entry();
  return mdecl(nullptr, name_, position_, position_, position_, static_cast<std::int16_t>(level_),
               nullptr, nullptr, object, nullptr, 5);
}

tTree vexTestInteger(const char *written) {
  return minteger(NoPosition, NoPosition, std::atoi(written), stored(written), false);
}

tTree vexTestReplacedInteger(const char *written) {
  return minteger(NoPosition, NoPosition, std::atoi(written), stored(written), true);
}

tTree vexTestReal(const char *written) {
  return mreal(NoPosition, NoPosition, stored(written), stored(written), false);
}

tTree vexTestString(const char *written) {
  return mstring(NoPosition, NoPosition, stored(written), stored(written), false);
}

tTree vexTestFigurative(int code) {
  return mfigurative_literal(NoPosition, NoPosition, static_cast<std::uint16_t>(code));
}

tTree vexTestAll(tTree literal) {
  return munary(NoPosition, NoPosition, wordAll, NoPosition, NoPosition, literal);
}

void PrintTo(const VexRange &range, std::ostream *out) {
  *out << "[" << range.lbound() << ", " << range.ubound() << "]";
}

VexTraceCapture::VexTraceCapture() {
  vexTraceSetOutput(&out_);
  vexTraceSetLevel(nullptr, TRC1_DETAIL | TRC1_FLOW | TRC1_ERROR);
}

VexTraceCapture::~VexTraceCapture() {
  vexTraceSetLevel(nullptr, 0);
  vexTraceSetOutput(nullptr);
}
