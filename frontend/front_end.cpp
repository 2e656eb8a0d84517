// The front end's entry point: the start-up of every front-end module in the
// order that numbers the identifiers, the parse, resolution and messages.
#include "frontend/front_end.h"

#include "diagnostics/fatal_error.h"
#include "diagnostics/message_store.h"
#include "frontend/copy_inclusion.h"
#include "frontend/declaration_table.h"
#include "frontend/keywords.h"
#include "frontend/parser.h"
#include "frontend/reference_resolution.h"
#include "frontend/scanner.h"
#include "frontend/source_reader.h"
#include "support/copybook_search.h"
#include "support/identifier_table.h"
#include "support/string_memory.h"

namespace {

// -lenient: constants take no storage, so a copybook whose top-level entries
// are all constants (its data entries begin at level 05, below the root) is
// still one without top-level entries.
bool onlyConstantsAfter(const tree::decl &root) {
  if (!Lenient() || root.level != 0 || root.fields == nullptr)
    return false;
  for (auto *entry = as_if<tree::decl>(root.next); entry != nullptr;
       entry = as_if<tree::decl>(entry->next))
    if (entry->level != 78)
      return false;
  return true;
}

} // namespace

void BeginCopybookSearch(const FrontEndOptions &options) {
  Begin_rFsearch(false);
  for (const std::string &directory : options.copyDirectories)
    rAddDir(directory.c_str(), 0, true);
  for (const std::string &extension : options.copyExtensions)
    rAddExtension(extension.c_str());
  if (options.currentDirectory)
    rAddDir("./", 0, true);
  rAddExtension(".cpy");
  rAddExtension("");
  rReadAllDirs();
}

namespace {

// Closes what only the parse needs (open files, scanner buffers, the
// copybook search with its cached directory listings) on every way out of it.
struct ParseGuard {
  explicit ParseGuard(const FrontEndOptions &options) { BeginCopybookSearch(options); }
  ParseGuard(const ParseGuard &) = delete;
  ParseGuard &operator=(const ParseGuard &) = delete;
  ~ParseGuard() {
    CloseScanner();
    Close_rFsearch();
  }
};

} // namespace

FrontEndResult::FrontEndResult(RunState *lent)
    : owned_(lent == nullptr ? std::make_unique<RunState>() : nullptr),
      run_(lent == nullptr ? owned_.get() : lent) {}

// An owned run goes with the result and takes every module state with it.
FrontEndResult::~FrontEndResult() = default;

FrontEndResult::FrontEndResult(FrontEndResult &&) noexcept = default;
FrontEndResult &FrontEndResult::operator=(FrontEndResult &&) noexcept = default;

FrontEndResult ParseCopybook(const std::string &path, const FrontEndOptions &options,
                             RunState *lent) {
  FrontEndResult result(lent);
  RunState::Scope scope(result.run());
  // Memory exhaustion anywhere in the parse is reported as the fatal message
  // it always was, while the run that counts the bytes is still active.
  ReportingOutOfMemory([&] { result.parse(path, nullptr, options); });
  return result;
}

FrontEndResult ParseCopybookText(const SourceText &source, const FrontEndOptions &options,
                                 RunState *lent) {
  FrontEndResult result(lent);
  RunState::Scope scope(result.run());
  try {
    ReportingOutOfMemory([&] { result.parse(source.name, &source.text, options); });
  } catch (const FatalError &) {
    result.fatal_ = true;
    result.root_ = result.entries_ = nullptr;
    result.errors_ = GetCount(xxError) + GetCount(xxFatal);
    result.filesRead_ = SourcesOpened();
    result.messages_ = MessagesWritten();
  }
  return result;
}

void FrontEndResult::parse(const std::string &path, const std::string_view *text,
                           const FrontEndOptions &options) {
  free_format() = options.freeFormat;
  MaxColumn() = options.freeFormat ? 256 : 72;
  NameCheckMsg() = options.nameCheck;
  NameCheck() = options.nameCheck;
  Lenient() = options.lenient;
  DeftabRecordFeed() = options.recordFeed;
  // The feed's reader stops before anything after the parse changes the
  // tree, whichever way the parse ends (a fatal message throws).
  struct FeedEnd {
    RecordFeed *feed;
    void operator()() const noexcept {
      if (feed != nullptr)
        feed->ended();
    }
    ~FeedEnd() { (*this)(); }
  } feedEnd{options.recordFeed};

  InitIdents();
  BeginErrors();
  // Messages are collected and written sorted once the source has been read
  // and resolved.
  StoreMessages(true);
  FatalMessageStream(options.messages);
  init_keywords("");
  BeginDeftab();
  init_copy_pars();
  SetCopybookLookup(options.copybooks);

  if (options.messages != nullptr && options.startingLine)
    std::fputs("Starting Cobol parsing ...\n", options.messages);
  // -lenient reads file descriptions and directives too, saying so.
  const bool directives = options.directives || options.lenient;
  const bool fileDescriptions = options.fileDescriptions || options.lenient;
  if (options.program) {
    ReadDirectives(true, directives);
    ReadProgram(options.programUnit);
  } else if (directives) {
    ReadDirectives(true, true);
  }
  {
    ParseGuard guard(options);
    const tIdent file = MakeIdent(path.c_str());
    if (text != nullptr)
      BeginFileText(path.c_str(), *text);
    else
      BeginFile(path.c_str());
    BeginScanner();
    DecimalPointComma() = options.decimalPointComma;
    push(file);
    syntaxErrors_ = Parser2(options.program ? 1 : fileDescriptions ? 3 : 2);
  }
  filesRead_ = SourcesOpened();

  // Resolution runs while the feed's reader converts the last records: it
  // sets only the references' declarations, which a conversion does not
  // read; a field it must declare under an entry ends the reader first
  // (DeclareSubordinate).
  as<tree::data_division>(TreeRoot())->deftab = deftab_decls();
  Eval(TreeRoot());
  WriteMessages(options.messages);
  messages_ = MessagesWritten();
  feedEnd();
  DeftabRecordFeed() = nullptr;

  root_ = TreeRoot();
  // Normally the root declaration (level 0) heads the list, followed by the
  // top-level entries; without any top-level entry they hang below the root.
  tree::decl *head = deftab_decls();
  if (head == nullptr)
    entries_ = nullptr;
  else if (head->next == nullptr || onlyConstantsAfter(*head))
    entries_ = head->fields;
  else if (head->level != 0)
    entries_ = head;
  else
    entries_ = head->next;
  errors_ = GetCount(xxError);
}

namespace {

std::vector<ProgramUnit> outline(const std::string &path, const std::string_view *text,
                                 const FrontEndOptions &options) {
  RunState run;
  RunState::Scope scope(run);
  free_format() = options.freeFormat;
  MaxColumn() = options.freeFormat ? 256 : 72;
  ReadDirectives(true);
  ReadProgram(-1);
  const int handle =
      text != nullptr ? BeginSourceText(path.c_str(), *text) : BeginSource(path.c_str());
  if (handle > 2) {
    std::vector<char> line(SourceBufferSize);
    while (GetLine(handle, line.data()) > 0) {
    }
    CloseSource(handle);
  }
  std::vector<ProgramUnit> units = ProgramUnits();
  if (units.empty())
    units.push_back({"", 1});
  return units;
}

} // namespace

std::vector<ProgramUnit> OutlineProgram(const std::string &path, const FrontEndOptions &options) {
  return outline(path, nullptr, options);
}

std::vector<ProgramUnit> OutlineProgram(const SourceText &source, const FrontEndOptions &options) {
  return outline(source.name, &source.text, options);
}

int ScanCopybook(const std::string &path, const FrontEndOptions &options,
                 const std::function<void(int terminal, const tScanAttribute &attribute)> &token) {
  RunState run;
  RunState::Scope scope(run);
  free_format() = options.freeFormat;
  MaxColumn() = options.freeFormat ? 256 : 72;
  InitIdents();
  BeginErrors();
  StoreMessages(true);
  init_keywords("");
  struct ScanGuard {
    ~ScanGuard() { CloseScanner(); }
  } guard;
  BeginFile(path.c_str());
  BeginScanner();
  for (int terminal = GetToken(); terminal != tok::EndOfInput; terminal = GetToken())
    token(terminal, Attribute());
  if (options.messages != nullptr)
    WriteMessages(options.messages);
  return GetCount(xxError);
}
