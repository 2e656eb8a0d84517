// Fuzz target: record bytes through the record decoder. Two option bytes pick
// a layout of the pool and the options (JSON Lines or CSV, code page, -float
// ieee, -byteorder little, -fillers, -trim, -raw); the rest is one record, or
// several when the input is longer. Every line must be what a reader takes:
// valid UTF-8 and either one JSON object (by the grammar, and parsed by
// nlohmann-json) or a CSV row of exactly the header's cells. Anything else
// aborts.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "converter/conversion_run.h"
#include "decoder/decode_plan.h"
#include "decoder/raw_bytes.h"
#include "decoder/record_decoder.h"
#include "record/model_builder.h"

namespace {

// The pool: every usage, signed and unsigned, the sign forms, numeric-edited
// pictures (P, inserted 0, floating and fixed insertion, CR/DB, BLANK WHEN
// ZERO), external floating point (V too), OCCURS and DEPENDING ON, REDEFINES
// chosen by -when, several records, text of every kind.
struct PoolLayout {
  const char *text;
  bool comma = false;                    // DECIMAL-POINT IS COMMA (-c)
  const char *dbcs = "";                 // -dbcs
  std::vector<SelectionRule> rules = {}; // -when
};

const std::vector<PoolLayout> &pool() {
  static const std::vector<PoolLayout> layouts = {
      {"       01  NUM.\n"
       "           05  Z-U     PIC 9(3).\n"
       "           05  Z-S     PIC S9(3)V9.\n"
       "           05  Z-L     PIC S99 SIGN LEADING.\n"
       "           05  Z-LS    PIC S9V99 SIGN LEADING SEPARATE.\n"
       "           05  Z-TS    PIC S999 SIGN TRAILING SEPARATE.\n"
       "           05  Z-P     PIC 99PPP.\n"
       "           05  Z-PL    PIC SVPP99.\n"
       "           05  P-S     PIC S9(5)V99 COMP-3.\n"
       "           05  P-U     PIC 9(4) PACKED-DECIMAL.\n"
       "           05  P-6     PIC 9(5)V99 COMP-6.\n"
       "           05  B-S     PIC S9(4) COMP.\n"
       "           05  B-U     PIC 9(9) BINARY.\n"
       "           05  B-5     PIC S9(16)V99 COMP-5.\n"
       "           05  B-4     PIC 9(2)V9 COMP-4.\n"
       "           05  B-X     PIC 9(5) COMP-X.\n"
       "           05  B-C     BINARY-CHAR.\n"
       "           05  B-D     BINARY-DOUBLE UNSIGNED.\n"
       "           05  B-I     INDEX.\n"
       "           05  B-PTR   POINTER.\n"},
      {"       01  FLT.\n"
       "           05  F-1     COMP-1.\n"
       "           05  F-2     COMP-2.\n"
       "           05  F-S     FLOAT-SHORT.\n"
       "           05  F-L     FLOAT-LONG.\n"
       "           05  D-16    FLOAT-DECIMAL-16.\n"
       "           05  D-34    FLOAT-DECIMAL-34.\n"
       "           05  X-1     PIC +9(2).9(2)E+9(2).\n"
       "           05  X-2     PIC -9V999E-99.\n"
       "           05  X-3     PIC +.9(4)E+9.\n"},
      {"       01  EDT.\n"
       "           05  E-1     PIC ZZZ,ZZ9.99-.\n"
       "           05  E-2     PIC $$$,$$9.99CR.\n"
       "           05  E-3     PIC ++++9.99.\n"
       "           05  E-4     PIC ----.--.\n"
       "           05  E-5     PIC **,**9.99DB.\n"
       "           05  E-6     PIC 9(6).99-.\n"
       "           05  E-7     PIC 9909B99/99.\n"
       "           05  E-8     PIC ZZPPP.\n"
       "           05  E-9     PIC $**,**9.99.\n"
       "           05  E-10    PIC ZZ.ZZ.\n"
       "           05  E-11    PIC ZZ9.99 BLANK WHEN ZERO.\n"
       "           05  E-12    PIC +ZZZ9.\n"
       "           05  E-13    PIC $$$BB9.\n"},
      {"       01  EDC.\n"
       "           05  C-1     PIC ZZZ.ZZ9,99-.\n"
       "           05  C-2     PIC +9(2),9(2)E+9(2).\n"
       "           05  C-3     PIC $$$.$$9,99CR.\n",
       true},
      {"       01  TAB.\n"
       "           05  T-KEY   PIC X(2).\n"
       "           05  T-FIX   OCCURS 3.\n"
       "               10  T-A PIC S9(3) COMP-3.\n"
       "               10  FILLER PIC X.\n"
       "               10  T-B PIC XX OCCURS 2.\n"
       "           05  T-CNT   PIC 9(2).\n"
       "           05  T-ODO   OCCURS 0 TO 6 DEPENDING ON T-CNT.\n"
       "               10  T-E PIC S9(3)V9 SIGN LEADING SEPARATE.\n"
       "               10  T-F PIC ZZ9.9.\n"
       "               10  FILLER PIC X.\n"
       "           05  T-END   PIC X.\n"},
      {"       01  R-A.\n"
       "           05  R-TYPE  PIC X.\n"
       "           05  R-BODY  PIC X(10).\n"
       "           05  R-NUM REDEFINES R-BODY PIC S9(10).\n"
       "           05  R-PAY REDEFINES R-BODY.\n"
       "               10  R-AMT PIC S9(7)V99 COMP-3.\n"
       "               10  R-ED  PIC ZZZZ9.\n"
       "       01  R-B.\n"
       "           05  R-BT    PIC X.\n"
       "           05  R-CNT   PIC S9(4) COMP.\n"
       "           05  R-TAB   OCCURS 1 TO 4 DEPENDING ON R-CNT PIC 9V9 COMP-3.\n",
       false,
       "",
       {{"R-TYPE", "N", "R-NUM"}, {"R-TYPE", "P", "R-PAY"}, {"R-TYPE", "B", "R-B"}}},
      {"       01  TXT.\n"
       "           05  X-A     PIC X(6).\n"
       "           05  X-J     PIC X(4) JUSTIFIED RIGHT.\n"
       "           05  X-AL    PIC A(3).\n"
       "           05  X-N     PIC N(3).\n"
       "           05  X-E     PIC XXBXX/X0.\n"
       "           05  X-G     PIC G(2) DISPLAY-1.\n"
       "           05  X-GN    PIC N(2) DISPLAY-1.\n",
       false, "IBM939"},
      {"       01  SYN.\n"
       "           05  S-X     PIC X.\n"
       "           05  S-B     PIC S9(9) COMP SYNC.\n"
       "           05  S-G     SIGN TRAILING SEPARATE.\n"
       "               10  S-Z PIC S9(3).\n"
       "               10  S-E PIC ZZ9.\n"
       "           05  S-F     COMP-2 SYNC.\n"
       "           05  S-T     PIC X OCCURS 2.\n"},
  };
  return layouts;
}

// The plans of one layout: without and with -fillers; none when the layout
// cannot be decoded here (a code page iconv lacks).
struct PoolPlans {
  std::optional<DecodePlan> plain;
  std::optional<DecodePlan> fillers;
};

DecodePlan planOf(const PoolLayout &layout, bool fillers) {
  FrontEndOptions frontEnd;
  frontEnd.messages = nullptr;
  frontEnd.lenient = true;
  frontEnd.currentDirectory = false;
  ParsedInput input = parseInputText({"POOL.cpy", layout.text}, frontEnd, layout.comma);
  if (input.fatal() || input.errorCount() != 0) {
    std::fprintf(stderr, "fuzz_decoder: a pool layout does not parse:\n%s", layout.text);
    std::abort();
  }
  RunState::Scope scope(input.parts.front().run());
  VexCblConfig config;
  config.lenient = true;
  config.commaDecimalPoint = layout.comma;
  DecodeOptions options;
  options.fillers = fillers;
  options.dbcs = layout.dbcs;
  options.rules = layout.rules;
  // The pool is made once, before the first input: its warnings are shown,
  // and a layout the model or the plan refuses is the target's own fault.
  try {
    return makeDecodePlan(buildRecordModel(input.parts.front().entries(), config), options);
  } catch (const ModelError &) {
  } catch (const PlanError &error) {
    std::fputs(error.message.c_str(), stderr);
  }
  std::fprintf(stderr, "fuzz_decoder: a pool layout is refused:\n%s", layout.text);
  std::abort();
}

const std::vector<PoolPlans> &plans() {
  static const std::vector<PoolPlans> all = [] {
    std::vector<PoolPlans> made;
    for (const PoolLayout &layout : pool()) {
      PoolPlans &plans = made.emplace_back();
      if (*layout.dbcs != '\0' && !DbcsPage::open(layout.dbcs))
        continue;
      plans.plain = planOf(layout, false);
      plans.fillers = planOf(layout, true);
    }
    return made;
  }();
  return all;
}

const CodePage &codePage(int which) {
  static const std::vector<CodePage> pages = [] {
    std::vector<CodePage> opened;
    for (const char *name : {"IBM037", "IBM1047", "ASCII", "UTF-8"})
      opened.push_back(*CodePage::open(name));
    return opened;
  }();
  return pages[static_cast<std::size_t>(which)];
}

[[noreturn]] void invalid(const char *why, std::string_view line) {
  std::fprintf(stderr, "fuzz_decoder: %s: %.*s\n", why, static_cast<int>(line.size()), line.data());
  std::abort();
}

bool validUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    const std::size_t length = c < 0x80         ? 1
                               : (c >> 5) == 6  ? 2
                               : (c >> 4) == 14 ? 3
                               : (c >> 3) == 30 ? 4
                                                : 0;
    if (length == 0 || i + length > text.size())
      return false;
    std::uint32_t code = length == 1 ? c : c & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80)
        return false;
      code = code << 6 | (next & 0x3F);
    }
    const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
      return false;
    i += length;
  }
  return true;
}

// RFC 8259's grammar, nothing more: nlohmann-json refuses numbers past the
// double range ("number overflow"), which JSON allows and the decoder writes
// for FLOAT-DECIMAL-34 (1E+2048), so such a line is checked by this alone.
class JsonGrammar {
public:
  explicit JsonGrammar(std::string_view text) : text_(text) {}
  // One object and nothing after it but blanks.
  bool object() {
    blanks();
    if (!peek('{') || !value(0))
      return false;
    blanks();
    return at_ == text_.size();
  }

private:
  bool peek(char c) const { return at_ < text_.size() && text_[at_] == c; }
  bool take(char c) {
    if (!peek(c))
      return false;
    ++at_;
    return true;
  }
  void blanks() {
    while (at_ < text_.size() &&
           (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r'))
      ++at_;
  }
  bool digits() {
    const std::size_t from = at_;
    while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9')
      ++at_;
    return at_ > from;
  }
  bool number() {
    take('-');
    if (take('0')) {
      if (peek('0') || (at_ < text_.size() && text_[at_] >= '1' && text_[at_] <= '9'))
        return false;
    } else if (!digits()) {
      return false;
    }
    if (take('.') && !digits())
      return false;
    if (take('e') || take('E')) {
      if (!take('+'))
        take('-');
      if (!digits())
        return false;
    }
    return true;
  }
  bool string() {
    if (!take('"'))
      return false;
    while (at_ < text_.size()) {
      const auto c = static_cast<unsigned char>(text_[at_++]);
      if (c == '"')
        return true;
      if (c < 0x20)
        return false;
      if (c != '\\')
        continue;
      if (at_ >= text_.size())
        return false;
      const char escape = text_[at_++];
      if (escape == 'u') {
        for (int k = 0; k < 4; ++k, ++at_)
          if (at_ >= text_.size() || !std::isxdigit(static_cast<unsigned char>(text_[at_])))
            return false;
      } else if (std::string_view("\"\\/bfnrt").find(escape) == std::string_view::npos) {
        return false;
      }
    }
    return false;
  }
  bool literal(std::string_view word) {
    if (text_.substr(at_, word.size()) != word)
      return false;
    at_ += word.size();
    return true;
  }
  bool value(int depth) {
    if (depth > 64)
      return false;
    blanks();
    if (at_ >= text_.size())
      return false;
    const char c = text_[at_];
    bool ok = false;
    if (c == '{' || c == '[') {
      ++at_;
      const char close = c == '{' ? '}' : ']';
      blanks();
      if (take(close))
        return true;
      do {
        blanks();
        if (c == '{') {
          if (!string())
            return false;
          blanks();
          if (!take(':'))
            return false;
        }
        if (!value(depth + 1))
          return false;
        blanks();
      } while (take(','));
      ok = take(close);
    } else if (c == '"') {
      ok = string();
    } else if (c == 't' || c == 'f' || c == 'n') {
      ok = literal("true") || literal("false") || literal("null");
    } else {
      ok = number();
    }
    return ok;
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

// The cells of one CSV row that ends with the row's CRLF; -1 when the text
// is not exactly one row (an unclosed quote, text after a closing quote, a
// line end outside quotes before the last).
long csvCells(std::string_view row) {
  if (row.size() < 2 || row.substr(row.size() - 2) != "\r\n")
    return -1;
  row.remove_suffix(2);
  long cells = 1;
  std::size_t i = 0;
  bool cellStart = true;
  while (i < row.size()) {
    const char c = row[i];
    if (cellStart && c == '"') {
      ++i;
      for (;;) {
        if (i >= row.size())
          return -1;
        if (row[i] == '"') {
          if (i + 1 < row.size() && row[i + 1] == '"') {
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        ++i;
      }
      if (i < row.size() && row[i] != ',')
        return -1;
      cellStart = false;
      continue;
    }
    if (c == '"' || c == '\r' || c == '\n')
      return -1;
    if (c == ',') {
      ++cells;
      cellStart = true;
    } else {
      cellStart = false;
    }
    ++i;
  }
  return cells;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 2)
    return 0;
  const std::uint8_t first = data[0];
  const std::uint8_t second = data[1];
  const std::string_view bytes(reinterpret_cast<const char *>(data) + 2, size - 2);
  const std::size_t which = first % pool().size();
  const PoolPlans &pair = plans()[which];
  const bool fillers = (second & 0x01) != 0;
  const std::optional<DecodePlan> &plan = fillers ? pair.fillers : pair.plain;
  if (!plan)
    return 0;
  DecodeOptions options;
  options.format = (first & 0x08) != 0 ? OutputFormat::csv : OutputFormat::jsonLines;
  options.ieeeFloat = (first & 0x10) != 0;
  options.littleEndian = (first & 0x20) != 0;
  options.fillers = fillers;
  options.trim = (second & 0x02) != 0;
  options.raw = (second & 0x04) != 0;
  options.commaDecimalPoint = pool()[which].comma;
  options.dbcs = pool()[which].dbcs;
  const int page = first >> 6;
  const bool csv = options.format == OutputFormat::csv;
  RecordDecoder decoder(*plan, options, codePage(page));
  const RawBytes raw(*plan, csv);
  std::string header = decoder.header();
  if (options.raw && csv)
    raw.header(header);
  long columns = -1;
  if (csv) {
    if (!validUtf8(header))
      invalid("header not UTF-8", header);
    columns = csvCells(header);
    if (columns < 1)
      invalid("header not one CSV row", header);
  }
  // Records of the layout's length, the last one short; the record's
  // declared length is given too when the second byte asks for it.
  std::int64_t length = 0;
  for (const PlanRecord &record : plan->records)
    length = std::max(length, record.length);
  const bool declare = (second & 0x08) != 0;
  std::string line;
  std::vector<DecodeProblem> problems;
  std::size_t at = 0;
  do {
    const std::string_view record = bytes.substr(at, static_cast<std::size_t>(length));
    at += record.size();
    line.clear();
    problems.clear();
    decoder.decode(record, declare ? static_cast<std::int64_t>(record.size()) : -1, line, problems);
    if (options.raw)
      raw.append(line, 0, record, problems);
    if (!validUtf8(line))
      invalid("line not UTF-8", line);
    if (csv) {
      if (csvCells(line) != columns)
        invalid("CSV row without the header's cells", line);
      continue;
    }
    if (line.empty() || line.back() != '\n' || line.find('\n') != line.size() - 1)
      invalid("JSON line not ended by its only line end", line);
    if (!JsonGrammar(std::string_view(line).substr(0, line.size() - 1)).object())
      invalid("JSON line not one object by the grammar", line);
    try {
      const nlohmann::json value = nlohmann::json::parse(line);
      if (!value.is_object())
        invalid("JSON line not an object", line);
    } catch (const nlohmann::json::out_of_range &error) {
      // 406: a number past the double range, valid JSON (checked above).
      if (error.id != 406)
        invalid("JSON line does not parse", line);
    } catch (const nlohmann::json::exception &) {
      invalid("JSON line does not parse", line);
    }
  } while (at < bytes.size());
  return 0;
}
