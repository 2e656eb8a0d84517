#include "copy_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

#include "cobol/Scanner.h"
#include "cobol/Source.h"
#include "cobol/copy.h"
#include "cobol/copy_pars.h"
#include "cobol/keywords.h"
#include "common/Errors.h"
#include "reuse/Idents.h"
#include "reuse/StringM.h"
#include "reuse/rFsearch.h"
#include "reuse/rMemory.h"
#include "tokens_support.h"

namespace {

struct FatalStop : std::runtime_error {
  FatalStop() : std::runtime_error("fatal front-end message") {}
};

std::string positionText(const tPosition &start, const tPosition &end) {
  std::string text = std::string(GetCStr(start.File)) + ":" + std::to_string(start.Line) + "," +
                     std::to_string(start.Column);
  if (end.Line == 0 || (end.Line == start.Line && end.Column == start.Column))
    return text;
  text += "-";
  if (end.Line != start.Line)
    text += std::to_string(end.Line) + ",";
  return text + std::to_string(end.Column);
}

std::string brief(int code) {
  const tScanAttribute &a = Attribute;
  std::string text;
  switch (code) {
  case tok::unsigned_integer:
  case tok::plus_integer:
  case tok::minus_integer:
  case tok::level_number:
  case tok::real:
  case tok::string:
  case tok::pseudo_text:
  case tok::Level66:
  case tok::Level77:
  case tok::Level78:
  case tok::Level88:
    text = a.Text != nullptr ? StGetCStr(a.Text) : "";
    if (a.Increment != 0)
      text += " +" + std::to_string(a.Increment);
    break;
  case tok::illegal_character:
    text = std::string(1, a.Character);
    break;
  default:
    text = a.Word != NoIdent && code != tok::EndOfInput ? GetCStr(a.Word) : TerminalName(code);
    if (a.Prefixed)
      text += " +prefix";
    break;
  }
  return positionText(a.Position, a.EndPosition) + " " + text;
}

std::string fileOf(tTree statement) {
  tIdent file = NoIdent;
  if (auto *copy = as_if<tree::s_copy>(statement))
    file = copy->FileName;
  else if (auto *inclure = as_if<tree::s_inclure>(statement))
    file = inclure->FileName;
  return file != NoIdent ? GetCStr(file) : "-";
}

std::filesystem::path freshDirectory(const char *stem) {
  static int counter = 0;
  auto dir = std::filesystem::temp_directory_path() /
             (std::string(stem) + std::to_string(::getpid()) + "-" + std::to_string(++counter));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

} // namespace

CopyRun RunCopy(const CopyFiles &input) {
  StartFrontEnd(input.freeFormat);
  auto dir = freshDirectory("vexcopy-");
  auto tmp = freshDirectory("vexcopytmp-");
  for (const auto &[name, text] : input.files) {
    std::filesystem::create_directories((dir / name).parent_path());
    std::ofstream(dir / name, std::ios::binary) << text;
  }
  auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  const char *savedTmp = std::getenv("TMPDIR");
  std::string savedTmpText = savedTmp != nullptr ? savedTmp : "";
  ::setenv("TMPDIR", tmp.c_str(), 1);

  Close_rFsearch();
  Begin_rFsearch(false);
  rAddDir("./", 0, true);
  rAddExtension(".cpy");
  rAddExtension("");
  rReadAllDirs();

  auto savedExit = Errors_Exit;
  Errors_Exit = [] { throw FatalStop(); };
  CopyRun run;
  try {
    init_copy_pars();
    const std::string &main = input.files.front().first;
    BeginFile(main.c_str());
    BeginScanner();
    push(MakeIdent(main.c_str()));
    for (int guard = 0; guard < 10000; ++guard) {
      int code = GetToken();
      if (code == tok::COPY || code == tok::REPLACE || code == tok::INCLURE) {
        std::string line = positionText(Attribute.Position, NoPosition) + " " + TerminalName(code);
        copy_repair = input.repair;
        std::vector<tCopyToken> tokens;
        tTree statement = do_copy_pars(code, tokens);
        if (code != tok::REPLACE)
          line += " -> " + fileOf(statement);
        run.tokens += line + "\n";
        continue;
      }
      run.tokens += brief(code) + "\n";
      if (code == tok::EndOfInput)
        break;
    }
  } catch (const FatalStop &) {
    run.fatal = true;
  }
  run.level = CopyLevel();
  Errors_Exit = savedExit;
  run.messages = StoredMessages();
  CloseScanner();
  GetToken_Hook = nullptr;
  CloseSource_Hook = nullptr;
  Include_Hook = nullptr;
  CloseScanner_Hook = nullptr;
  replacing_match = false;
  stop_at_copy_end = false;
  file_input = 1;
  copy_repair = 0;
  MaxColumn = input.freeFormat ? 256 : 72;
  dialect = DefaultDialects;
  Close_rFsearch();
  ReleaseTreeModule();
  CloserMemory();

  for (const auto &entry : std::filesystem::directory_iterator(tmp))
    run.leftovers += entry.path().filename().string() + "\n";
  std::filesystem::current_path(previous);
  if (savedTmp != nullptr)
    ::setenv("TMPDIR", savedTmpText.c_str(), 1);
  else
    ::unsetenv("TMPDIR");
  std::filesystem::remove_all(dir);
  std::filesystem::remove_all(tmp);
  return run;
}
