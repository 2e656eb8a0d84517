// RunCopy: scans a file tree with a stand-in parser that carries out COPY statements.
#include "copy_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

#include "diagnostics/message_store.h"
#include "frontend/copy_inclusion.h"
#include "frontend/copy_statement_parser.h"
#include "frontend/keywords.h"
#include "frontend/scanner.h"
#include "frontend/source_reader.h"
#include "support/copybook_search.h"
#include "support/identifier_table.h"
#include "tokens_support.h"

namespace {

// The current terminal's file, then its scanner listing line.
std::string listed(int code) {
  return std::string(GetCStr(Attribute().Position.File)) + ":" + DescribeToken(code);
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
        std::string line = listed(code);
        copy_repair() = input.repair;
        std::vector<tCopyToken> tokens;
        tTree statement = do_copy_pars(code, tokens);
        if (code != tok::REPLACE)
          line += " -> " + fileOf(statement);
        run.tokens += line + "\n";
        continue;
      }
      run.tokens += listed(code) + "\n";
      if (code == tok::EndOfInput)
        break;
    }
  } catch (const FatalError &) {
    run.fatal = true;
  }
  run.level = CopyLevel();
  run.messages = StoredMessages();
  CloseScanner();
  GetToken_Hook() = nullptr;
  CloseSource_Hook() = nullptr;
  Include_Hook() = nullptr;
  ScanMessage_Hook() = nullptr;
  replacing_match() = false;
  stop_at_copy_end() = false;
  file_input() = 1;
  copy_repair() = 0;
  MaxColumn() = input.freeFormat ? 256 : 72;
  dialect() = DefaultDialects;
  Close_rFsearch();
  ReleaseTreeModule();

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
