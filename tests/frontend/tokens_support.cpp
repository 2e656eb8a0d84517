// Scanner test support: front-end start-up, temp files, token listing lines, messages.
#include "tokens_support.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "diagnostics/message_store.h"
#include "frontend/keywords.h"
#include "frontend/scanner.h"
#include "frontend/source_reader.h"
#include "support/identifier_table.h"
#include "support/string_memory.h"

namespace {

std::string positionText(const tPosition &start, const tPosition &end) {
  std::string text = std::to_string(start.Line) + "," + std::to_string(start.Column);
  if (end.Line == 0 || (end.Line == start.Line && end.Column == start.Column))
    return text;
  text += "-";
  if (end.Line != start.Line)
    text += std::to_string(end.Line) + ",";
  return text + std::to_string(end.Column);
}

std::string stringOf(tStringRef ref) { return ref == nullptr ? std::string() : StGetCStr(ref); }

std::string *includeListing = nullptr;

} // namespace

void StartFrontEnd(bool freeFormat) {
  InitIdents();
  BeginErrors();
  StoreMessages(true);
  init_keywords("");
  free_format() = freeFormat;
  MaxColumn() = freeFormat ? 256 : 72;
  file_input() = 1;
  copy_repair() = 0;
}

std::string WriteTempFile(const std::string &source, const std::string &name) {
  static int counter = 0;
  auto dir = std::filesystem::temp_directory_path() /
             ("vexscan-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
  std::filesystem::create_directories(dir);
  auto path = dir / name;
  std::ofstream(path, std::ios::binary) << source;
  return path.string();
}

std::string DescribeToken(int terminal) {
  const tScanAttribute &a = Attribute();
  std::string line = positionText(a.Position, a.EndPosition) + " " + TerminalName(terminal);
  switch (terminal) {
  case tok::EndOfInput:
  case tok::Period:
  case tok::picture_dot:
  case tok::end_of_picture:
    break;
  case tok::name:
  case tok::name_in_area_A:
  case tok::paragraph_name:
    line += std::string(" ") + GetCStr(a.Word);
    if (a.Spelling != a.Word && a.Spelling != NoIdent && !a.Prefixed)
      line += std::string(" (") + GetCStr(a.Spelling) + ")";
    if (a.Prefixed)
      line += std::string(" +prefix (") + GetCStr(a.Spelling) + ")";
    break;
  case tok::unsigned_integer:
  case tok::plus_integer:
  case tok::minus_integer:
  case tok::level_number:
    line += " " + stringOf(a.Text) + " =" + std::to_string(a.Value);
    if (a.Increment != 0)
      line += " +" + std::to_string(a.Increment);
    break;
  case tok::real:
  case tok::string:
  case tok::pseudo_text:
  case tok::Level66:
  case tok::Level77:
  case tok::Level78:
  case tok::Level88:
    line += " " + stringOf(a.Text);
    break;
  case tok::EXECUTE: {
    line += std::string(" ") + GetCStr(a.Word) + " [";
    for (const tTextLine *l = a.Lines; l != nullptr; l = l->next)
      line += (l == a.Lines ? "" : "|") + stringOf(l->Value);
    line += "]";
    break;
  }
  case tok::illegal_character:
    line += std::string(" ") + a.Character;
    break;
  default:
    if (terminal >= tok::ACCESS && terminal <= tok::ZEROS) {
      if (a.Word != NoIdent && TerminalName(terminal) != std::string(GetCStr(a.Word)))
        line += std::string(" ") + GetCStr(a.Word);
      if (a.Spelling != NoIdent && a.Spelling != a.Word)
        line += std::string(" (") + GetCStr(a.Spelling) + ")";
    }
    break;
  }
  return line;
}

std::string StoredMessages() {
  std::FILE *out = std::tmpfile();
  WriteMessages(out);
  std::rewind(out);
  std::string text;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, out)) > 0)
    text.append(buffer, n);
  std::fclose(out);
  return text;
}

ScanListing Scan(const std::string &source, const ScanOptions &options) {
  StartFrontEnd(options.freeFormat);
  std::string path = WriteTempFile(source, options.fileName);
  // Positions name the file as the test calls it, not its temporary folder.
  auto previous = std::filesystem::current_path();
  std::filesystem::current_path(std::filesystem::path(path).parent_path());
  BeginFile(options.fileName.c_str());
  BeginScanner();
  ScanListing listing;
  if (options.listIncludes) {
    includeListing = &listing.tokens;
    Include_Hook() = [](tIdent member, tPosition at) {
      *includeListing += std::to_string(at.Line) + "," + std::to_string(at.Column) + " include " +
                         GetCStr(member) + "\n";
    };
  }
  replacing_match() = options.replacingMatch;
  if (options.replacing)
    begin_replacing();
  bool inPseudoText = false;
  for (int guard = 0; guard < 100000; ++guard) {
    int terminal = GetToken();
    listing.tokens += DescribeToken(terminal) + "\n";
    if (terminal == tok::EndOfInput)
      break;
    if (options.pseudoText && terminal == tok::pseudo_text)
      inPseudoText = true;
    else if (options.pseudoText && terminal == tok::PseudoDelimiter) {
      if (!inPseudoText)
        start_pseudo_text();
      inPseudoText = false;
    }
  }
  Include_Hook() = nullptr;
  replacing_match() = false;
  for (const tTextLine *c = TakeComments(); c != nullptr; c = c->next)
    listing.comments += std::to_string(c->Line) + ": " + stringOf(c->Value) + "\n";
  listing.messages = StoredMessages();
  ResetScanner();
  std::filesystem::current_path(previous);
  return listing;
}
