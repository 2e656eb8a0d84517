// Reads physical lines; fixed format: sequence area, indicator, debug lines; repair lines.
#include "frontend/source_reader.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <sys/stat.h>

#include "support/identifier_table.h"
#include "support/run_state.h"

namespace {

constexpr int FormFeed = 12;
// Sources read from memory get handles from here on, far above any
// descriptor number, so they never meet a file's handle.
constexpr int FirstTextHandle = 1 << 24;

// A source the caller handed over as text, read as a stream is.
struct TextSource {
  std::string text;
  std::size_t at = 0;
};

struct SourceState {
  // Open streams by handle; the standard streams are entered on first use.
  std::map<int, std::FILE *> streams;
  // Open sources read from memory, by handle, and the next handle to give.
  std::map<int, TextSource> texts;
  int nextTextHandle = FirstTextHandle;
  unsigned maxColumn = 72;
  bool freeFormat = false;
  std::vector<std::string> opened;
  // Handles of opened files whose first line has not been read yet.
  std::set<int> unread;
  int fileInput = 1;
  int copyRepair = 0;
  tCloseSourceHook closeSourceHook = nullptr;
  bool directives = false;
  SourceDirectives directiveReader;
  // The division filter of the program file, and its handle once opened.
  std::unique_ptr<ProgramFilter> program;
  int programHandle = -1;
  // Physical lines read so far, by handle, for the positions of notes.
  std::map<int, unsigned> lineNumbers;
  std::vector<SourceNote> notes;
  // The source GetLine read from last, as the maps above hold it: a source
  // is read line after line, and finding it in three maps for each took a
  // fifth of a line's way to the scanner. The maps' nodes stay in place
  // until CloseSource erases them, which forgets this.
  struct Current {
    int handle = -1;
    std::FILE *stream = nullptr;
    TextSource *text = nullptr;
    unsigned *lineNumber = nullptr;
  } current;
  ~SourceState() {
    // Streams a run left open (a fatal end in a nested copybook) close with it.
    for (auto &[handle, stream] : streams)
      if (handle > 2 && stream != nullptr)
        std::fclose(stream);
  }
};
constexpr RunSlot<SourceState> state{RunSlotId::sourceReader};

void enterStandardStreams() {
  if (state().streams.empty()) {
    state().streams[0] = stdin;
    state().streams[1] = stdout;
    state().streams[2] = stderr;
  }
}

std::FILE *streamOf(int handle) {
  enterStandardStreams();
  auto found = state().streams.find(handle);
  return found == state().streams.end() ? nullptr : found->second;
}

// The characters of a file and of a text, as readPhysicalLine takes them:
// one at a time, or (buffered, skip) those already in memory, which are the
// same characters get would return next.
struct FileChars {
  std::FILE *stream;
  int get() { return getc_unlocked(stream); }
  void unget(int c) { ungetc(c, stream); }
#if defined(__GLIBC__)
  // What getc_unlocked reads from until it must refill.
  std::string_view buffered() const {
    return {stream->_IO_read_ptr,
            static_cast<std::size_t>(stream->_IO_read_end - stream->_IO_read_ptr)};
  }
  void skip(std::size_t count) { stream->_IO_read_ptr += count; }
#else
  std::string_view buffered() const { return {}; }
  void skip(std::size_t) {}
#endif
};
struct TextChars {
  TextSource &source;
  int get() {
    return source.at < source.text.size() ? static_cast<unsigned char>(source.text[source.at++])
                                          : EOF;
  }
  void unget(int) { --source.at; }
  std::string_view buffered() const { return std::string_view(source.text).substr(source.at); }
  void skip(std::size_t count) { source.at += count; }
};

// The characters at the front of `text` that readPhysicalLine only copies:
// up to the first line end or form feed.
std::size_t ordinaryRun(std::string_view text) {
  if (text.empty())
    return 0;
  const void *newline = std::memchr(text.data(), '\n', text.size());
  const std::size_t end =
      newline != nullptr
          ? static_cast<std::size_t>(static_cast<const char *>(newline) - text.data())
          : text.size();
  const void *formFeed = std::memchr(text.data(), FormFeed, end);
  return formFeed != nullptr
             ? static_cast<std::size_t>(static_cast<const char *>(formFeed) - text.data())
             : end;
}

// Reads one physical line, cut at MaxColumn characters; 0 at end of input.
// With `firstLine`, a UTF-8 byte-order mark at its start is dropped before
// any column is counted: kept, it would shift the sequence area and the
// indicator by three columns.
template <typename Chars>
int readPhysicalLine(Chars &stream, char *buffer, bool firstLine, unsigned maxColumn) {
  const unsigned limit = maxColumn < SourceBufferSize - 2 ? maxColumn : SourceBufferSize - 2;
  unsigned count = 0;
  for (;;) {
    // Ordinary characters already in memory are copied in one piece: a
    // character at a time through getc, reading the lines took 6% of a
    // conversion. What ends the piece (a line end, a form feed, the column
    // limit, the end of the buffer) goes through the steps below as before.
    if (!firstLine && count < limit) {
      const std::string_view ahead = stream.buffered();
      if (const std::size_t run = ordinaryRun(ahead.substr(0, limit - count)); run != 0) {
        std::memcpy(buffer + count, ahead.data(), run);
        stream.skip(run);
        count += static_cast<unsigned>(run);
      }
    }
    int c = stream.get();
    if (c == EOF) {
      if (count == 0)
        return 0;
      buffer[count++] = '\n';
      return static_cast<int>(count);
    }
    if (c == FormFeed) {
      int next = stream.get();
      if (next == '*' || next == '/') {
        c = next;
      } else if (next == '\n') {
        buffer[count++] = ' ';
        c = '\n';
      } else {
        if (next != EOF)
          stream.unget(next);
        c = ' ';
      }
    }
    if (count == limit && c != '\n') {
      // The rest of the physical line is the identification area (or simply
      // too long): drop it.
      while (c != '\n' && c != EOF)
        c = stream.get();
      c = '\n';
    }
    buffer[count++] = static_cast<char>(c);
    if (c == '\n')
      return static_cast<int>(count);
    if (firstLine && count == 3 && std::memcmp(buffer, "\xEF\xBB\xBF", 3) == 0)
      count = 0;
  }
}

bool startsWithWord(const char *text, const char *word) {
  std::size_t n = std::strlen(word);
  for (std::size_t i = 0; i < n; ++i)
    if (std::toupper(static_cast<unsigned char>(text[i])) != word[i])
      return false;
  char after = text[n];
  return after == ' ' || after == '\t' || after == '\r' || after == '\n';
}

bool isProcessLine(const char *line, int length) {
  int i = 0;
  while (i < 8 && i < length && line[i] == ' ')
    ++i;
  if (i == 8 || i >= length || line[i] == '\n')
    return false;
  return startsWithWord(line + i, "CBL") || startsWithWord(line + i, "PROCESS");
}

bool isIncludeLine(const char *line) {
  return std::strncmp(line, "-INC ", 5) == 0 || std::strncmp(line, "-INCLUDE ", 9) == 0;
}

int dropLine(char *buffer) {
  buffer[0] = '\n';
  return 1;
}

int normaliseFixed(char *buffer, int length) {
  if (buffer[0] == '\t' || buffer[0] == '\n')
    return length;
  // Blank the sequence area; a tab or the line end inside it stays and ends
  // the blanking.
  int i = 0;
  for (; i < 6 && buffer[i] != '\t' && buffer[i] != '\n'; ++i)
    buffer[i] = ' ';
  if (i == 6 && buffer[6] != '\t' && buffer[6] != '\n') {
    buffer[0] = buffer[6];
    buffer[6] = ' ';
  }
  unsigned char indicator = static_cast<unsigned char>(buffer[0]);
  if (std::isalnum(indicator))
    return dropLine(buffer);
  return length;
}

int normaliseFree(char *buffer, int length) {
  if (buffer[0] == '\\')
    return dropLine(buffer);
  if ((buffer[0] == 'D' || buffer[0] == 'd') && length > 1 && buffer[1] == ' ')
    return dropLine(buffer);
  return length;
}

int repairLine(char *buffer) {
  static constexpr const char *texts[] = {"         .", "       01.", "       77."};
  if (copy_repair() < 1 || copy_repair() > 3)
    return 0;
  std::memcpy(buffer, texts[copy_repair() - 1], 10);
  buffer[10] = '\0';
  copy_repair() = 0;
  return 10;
}

// `buffer` holds `length` characters and a NUL after them.
int normaliseLine(char *buffer, int length, bool freeFormat) {
  // Most lines begin with eight blanks: no sequence number, indicator, process
  // or include line, or free-format debug line, so nothing to change (the
  // steps below took some 230 instructions a line to find that).
  if (length >= 8 && std::memcmp(buffer, "        ", 8) == 0)
    return length;
  if (isProcessLine(buffer, length))
    return length;
  if (isIncludeLine(buffer)) {
    buffer[0] = '+';
    return length;
  }
  return freeFormat ? normaliseFree(buffer, length) : normaliseFixed(buffer, length);
}

} // namespace

unsigned &MaxColumn() { return state().maxColumn; }
bool &free_format() { return state().freeFormat; }
int &file_input() { return state().fileInput; }
int &copy_repair() { return state().copyRepair; }
tCloseSourceHook &CloseSource_Hook() { return state().closeSourceHook; }

namespace {

// Enters a source just opened under `handle`.
void enterSource(int handle, const char *path) {
  state().opened.emplace_back(path);
  state().unread.insert(handle);
  state().lineNumbers[handle] = 0;
  if (state().program && state().programHandle < 0)
    state().programHandle = handle;
}

} // namespace

int BeginSourceText(const char *name, std::string_view text) {
  if (file_input() == 0)
    return 0;
  const int handle = state().nextTextHandle++;
  state().texts[handle].text.assign(text);
  enterSource(handle, name);
  return handle;
}

int BeginSource(const char *path) {
  if (file_input() == 0)
    return 0;
  enterStandardStreams();
  std::FILE *stream = std::fopen(path, "r");
  if (stream == nullptr)
    return -1;
  // A directory opens for reading but reads as nothing, which would pass for
  // an empty source: it cannot be opened as one.
  struct stat status {};
  if (fstat(fileno(stream), &status) == 0 && S_ISDIR(status.st_mode)) {
    std::fclose(stream);
    return -1;
  }
  // The run's first source gives the identifier table its size: a big
  // copybook's names otherwise rechain the table at every doubling. Some 40
  // bytes a name, as generated and hand-written copybooks have them.
  if (state().opened.empty() && !state().program && S_ISREG(status.st_mode))
    ReserveIdents(static_cast<unsigned long>(status.st_size) / 40);
  int handle = fileno(stream);
  state().streams[handle] = stream;
  enterSource(handle, path);
  return handle;
}

namespace {

// True for the first line read from `handle`, once. The set is empty once
// every source opened has been read from, which is most lines.
bool firstLine(SourceState &s, int handle) {
  return !s.unread.empty() && s.unread.erase(handle) != 0;
}

// The source of `handle` as `current` holds it, found in the maps when
// another source was read last; false for a handle not open.
bool findSource(SourceState &s, int handle) {
  if (s.current.handle == handle)
    return true;
  SourceState::Current found;
  const auto text = s.texts.find(handle);
  if (text != s.texts.end()) {
    found.text = &text->second;
  } else {
    found.stream = streamOf(handle);
    if (found.stream == nullptr)
      return false;
  }
  found.handle = handle;
  found.lineNumber = &s.lineNumbers[handle];
  s.current = found;
  return true;
}

} // namespace

int GetLine(int handle, char *buffer) {
  SourceState &s = state();
  if (s.fileInput == 0)
    return repairLine(buffer);
  if (!findSource(s, handle))
    return 0;
  int length = 0;
  if (s.current.text != nullptr) {
    TextChars chars{*s.current.text};
    length = readPhysicalLine(chars, buffer, firstLine(s, handle), s.maxColumn);
  } else {
    FileChars chars{s.current.stream};
    length = readPhysicalLine(chars, buffer, firstLine(s, handle), s.maxColumn);
  }
  if (length == 0)
    return 0;
  buffer[length] = '\0';
  const unsigned lineNumber = ++*s.current.lineNumber;
  if (s.directives) {
    bool freeFormat = s.freeFormat;
    if (s.directiveReader.take(buffer, static_cast<unsigned>(length), lineNumber, freeFormat,
                               s.notes)) {
      // The switch takes effect from the next physical line on, which is
      // read with the new format's line length.
      if (freeFormat != s.freeFormat) {
        s.freeFormat = freeFormat;
        s.maxColumn = freeFormat ? 256 : 72;
      }
      return dropLine(buffer);
    }
  }
  length = normaliseLine(buffer, length, s.freeFormat);
  if (s.program && handle == s.programHandle &&
      !s.program->keep(buffer, static_cast<unsigned>(length), lineNumber, s.freeFormat, s.notes))
    return dropLine(buffer);
  return length;
}

void ReadDirectives(bool on, bool announce) {
  state().directives = on;
  state().directiveReader.announce(announce);
}

const std::string *DirectiveConstant(const std::string &name) {
  return state().directiveReader.constant(name);
}

bool DirectiveConstantsPending() { return state().directiveReader.constantsPending(); }

void AdoptDirectiveConstants() { state().directiveReader.adoptConstants(); }

void ReadProgram(int unit) {
  state().program = std::make_unique<ProgramFilter>(unit);
  state().programHandle = -1;
}

std::vector<ProgramUnit> ProgramUnits() {
  return state().program ? state().program->units() : std::vector<ProgramUnit>();
}

bool SourceNotesPending() { return !state().notes.empty(); }

std::vector<SourceNote> TakeSourceNotes() {
  std::vector<SourceNote> notes;
  notes.swap(state().notes);
  return notes;
}

void NormaliseLine(std::string &line) {
  int length = normaliseLine(line.data(), static_cast<int>(line.size()), free_format());
  line.resize(static_cast<std::size_t>(length));
}

const std::vector<std::string> &SourcesOpened() { return state().opened; }

void CloseSource(int handle) {
  if (state().current.handle == handle)
    state().current = SourceState::Current{};
  if (file_input() == 0) {
    file_input() = 1;
  } else if (handle >= FirstTextHandle) {
    state().texts.erase(handle);
    state().unread.erase(handle);
  } else if (handle > 2) {
    auto found = state().streams.find(handle);
    if (found != state().streams.end()) {
      std::fclose(found->second);
      state().streams.erase(found);
    }
    state().unread.erase(handle);
  }
  if (CloseSource_Hook() != nullptr)
    CloseSource_Hook()();
}
