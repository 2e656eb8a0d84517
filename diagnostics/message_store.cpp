// Coded message texts, message store, sorting by position, the found/expected line, the fatal end.
#include "diagnostics/message_store.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "support/identifier_table.h"
#include "support/run_memory.h"
#include "support/run_state.h"

namespace {

constexpr std::size_t MaxMessages = 2500;
constexpr std::string::size_type FoundStringSize = 5000;
constexpr std::string::size_type StringInfoCut = 26;
// Texts were always kept as string records, which hold at most this much.
constexpr std::string::size_type MaxStoredText = 0xFFFF;
// Counters are kept for every class number below this, listed or not.
constexpr int NoOfClasses = 8;

struct CodeText {
  int Code;
  const char *Text;
};

constexpr CodeText CodeTexts[] = {
#define MESSAGE_CODE(name, number, text) {number, text},
#include "diagnostics/message_catalogue.def"
};

struct ClassWord {
  int Class;
  const char *Word;
};

constexpr ClassWord ClassWords[] = {
#define MESSAGE_CLASS(name, number, word) {number, word},
#include "diagnostics/message_catalogue.def"
};

// The stored copy of a message's datum; which member is meaningful follows
// the information kind.
struct StoredInfo {
  unsigned long UnsignedLong = 0;
  char Byte = 0;
  tIdent Ident = NoIdent;
  tPosition Position = NoPosition;
  std::string Text;
};

struct StoredMessage {
  tPosition Position = NoPosition;
  bool IsCoded = true;
  short Sequence = 0;
  unsigned long Code = 0;
  int Class = 0;
  int InfoKind = xxNone;
  StoredInfo Info;
};

struct ErrorsState {
  int nErrors[NoOfClasses] = {};
  std::vector<StoredMessage> Stored; // in the order reported until printed
  bool IsStore = false;
  FILE *Out = stderr;
  // Where a fatal message prints what was collected (FatalMessageStream).
  FILE *FatalOut = stderr;
  unsigned long PrevLine = 0;
  std::string FoundString;
  // The messages as values, in the order printed (MessagesWritten).
  std::vector<SourceMessage> Written;
};

constexpr RunSlot<ErrorsState> state{RunSlotId::messages};

void AppendShortened(std::string &out, const char *text) {
  std::string::size_type length = std::strlen(text);
  std::string::size_type end = std::min(length, StringInfoCut);
  // A long list is cut after the word that crosses the limit.
  while (end < length && text[end] != ' ')
    ++end;
  out.append(text, end);
  if (end < length)
    out += " ...";
}

void AppendIdent(std::string &out, tIdent ident) {
  unsigned long length = std::min<unsigned long>(LengthIdent(ident), MaxStoredText);
  out.append(GetCStr(ident), length);
}

void AppendInfo(std::string &out, int infoKind, const void *info) {
  if (info == nullptr && infoKind != xxString &&
      (infoKind == xxUnsignedLong || infoKind == xxCharacter || infoKind == xxIdent ||
       infoKind == xxPosition))
    return;
  switch (infoKind) {
  case xxUnsignedLong:
    out += std::to_string(*static_cast<const unsigned long *>(info));
    break;
  case xxCharacter:
    out += *static_cast<const char *>(info);
    break;
  case xxString:
    AppendShortened(out, info == nullptr ? "" : static_cast<const char *>(info));
    break;
  case xxIdent:
    AppendIdent(out, *static_cast<const tIdent *>(info));
    break;
  case xxPosition:
    out += PositionText(*static_cast<const tPosition *>(info));
    break;
  default:
    out += "info class: " + std::to_string(infoKind);
    break;
  }
}

void AppendText(std::string &out, bool isCoded, unsigned long code) {
  if (!isCoded) {
    out += GetCStr(static_cast<tIdent>(code));
    return;
  }
  for (const CodeText &entry : CodeTexts) {
    if (static_cast<unsigned long>(entry.Code) == code) {
      out += entry.Text;
      return;
    }
  }
  out += "error code: " + std::to_string(static_cast<long>(code));
}

std::string ClassText(int messageClass) {
  for (const ClassWord &entry : ClassWords)
    if (entry.Class == messageClass)
      return entry.Word;
  return "Error class: " + std::to_string(messageClass) + " ";
}

// Composes a message as one printed line and as a value; prints the line
// when the run prints messages (a null stream composes only).
void WriteMessage(bool isCoded, unsigned long code, int messageClass, tPosition position,
                  int infoKind, const void *info) {
  ErrorsState &s = state();
  if (isCoded) {
    // The parser reports each syntax error as a group of coded messages;
    // only the combined found/expected line is shown.
    switch (code) {
    case xxSyntaxError:
    case xxRestartPoint:
      return;
    case xxTokenFound:
      s.FoundString =
          infoKind == xxString && info != nullptr ? static_cast<const char *>(info) : "";
      s.FoundString += '/';
      s.FoundString.resize(std::min(s.FoundString.size(), FoundStringSize - 1));
      return;
    case xxExpectedTokens:
      if (infoKind == xxString && info != nullptr)
        s.FoundString += static_cast<const char *>(info);
      s.FoundString.resize(std::min(s.FoundString.size(), FoundStringSize - 1));
      code = xxFoundExpected;
      messageClass = xxError;
      infoKind = xxString;
      info = s.FoundString.c_str();
      break;
    default:
      break;
    }
  }

  bool fatal = messageClass == xxFatal && !s.IsStore;
  // A relaxation warning says what was accepted; it neither hides the
  // error of its line nor is hidden by it.
  if (isCoded && position.Line != 0 && messageClass != xxWarning) {
    if (position.Line == s.PrevLine) {
      // A fatal report ends the run even when its line already has a message.
      if (fatal)
        throw FatalError();
      return;
    }
    s.PrevLine = position.Line;
  }

  SourceMessage value;
  std::string line;
  if (position.Line != 0) {
    line = PositionText(position);
    line += ": ";
    const char *file = GetCStr(position.File);
    value.file = file != nullptr ? file : "";
    value.line = position.Line;
    value.column = position.Column;
  }
  const std::string classText = ClassText(messageClass);
  line += classText;
  value.messageClass = classText.substr(0, classText.find_last_not_of(' ') + 1);
  AppendText(value.text, isCoded, code);
  if (infoKind != xxNone) {
    value.text += ": ";
    AppendInfo(value.text, infoKind, info);
  }
  line += value.text;
  line += '\n';
  if (s.Out != nullptr) {
    std::fwrite(line.data(), 1, line.size(), s.Out);
    std::fflush(s.Out);
  }
  s.Written.push_back(std::move(value));

  if (fatal)
    throw FatalError();
}

void CopyInfo(StoredInfo &copy, int infoKind, const void *info) {
  if (info == nullptr)
    return;
  switch (infoKind) {
  case xxUnsignedLong:
    copy.UnsignedLong = *static_cast<const unsigned long *>(info);
    break;
  case xxCharacter:
    copy.Byte = *static_cast<const char *>(info);
    break;
  case xxString: {
    const char *text = static_cast<const char *>(info);
    copy.Text.assign(text, std::min(std::strlen(text), MaxStoredText));
    break;
  }
  case xxIdent:
    copy.Ident = *static_cast<const tIdent *>(info);
    break;
  case xxPosition:
    copy.Position = *static_cast<const tPosition *>(info);
    break;
  default:
    break;
  }
}

const void *StoredInfoAddress(const StoredMessage &message) {
  const StoredInfo &info = message.Info;
  switch (message.InfoKind) {
  case xxUnsignedLong:
    return &info.UnsignedLong;
  case xxCharacter:
    return &info.Byte;
  case xxString:
    return info.Text.c_str();
  case xxIdent:
    return &info.Ident;
  case xxPosition:
    return &info.Position;
  default:
    return nullptr;
  }
}

void StoreMessage(bool isCoded, unsigned long code, int messageClass, tPosition position,
                  int infoKind, const void *info) {
  ErrorsState &s = state();
  if (s.Stored.size() < MaxMessages) {
    StoredMessage &message = s.Stored.emplace_back();
    message.Position = position;
    message.IsCoded = isCoded;
    message.Sequence = static_cast<short>(s.Stored.size());
    message.Code = code;
    message.Class = messageClass;
    message.InfoKind = infoKind;
    CopyInfo(message.Info, infoKind, info);
  } else {
    // The store is full: its last element says so, and sorts first.
    StoredMessage &message = s.Stored.back();
    short sequence = message.Sequence;
    message = StoredMessage();
    message.Sequence = sequence;
    message.Code = xxTooManyMessages;
    message.Class = xxRestriction;
  }
  if (messageClass == xxFatal) {
    WriteMessages(s.FatalOut);
    throw FatalError();
  }
}

void Report(bool isCoded, unsigned long code, int messageClass, tPosition position, int infoKind,
            const void *info) {
  ErrorsState &s = state();
  if (messageClass >= 0 && messageClass < NoOfClasses)
    ++s.nErrors[messageClass];
  if (s.IsStore)
    StoreMessage(isCoded, code, messageClass, position, infoKind, info);
  else
    WriteMessage(isCoded, code, messageClass, position, infoKind, info);
}

// Puts the standard error stream back as the message stream, also when a
// fatal message leaves the printing by an exception.
struct OutRestorer {
  ErrorsState &s;
  ~OutRestorer() { s.Out = stderr; }
};

} // namespace

void BeginErrors() {
  ErrorsState &s = state();
  std::fill(std::begin(s.nErrors), std::end(s.nErrors), 0);
  s.Stored.clear();
  s.Written.clear();
  s.PrevLine = 0;
}

void FatalMessageStream(FILE *stream) { state().FatalOut = stream; }

void ErrorMessage(int code, int messageClass, tPosition position) {
  Report(true, static_cast<unsigned long>(code), messageClass, position, xxNone, nullptr);
}

void ErrorMessageI(int code, int messageClass, tPosition position, int infoKind, const void *info) {
  Report(true, static_cast<unsigned long>(code), messageClass, position, infoKind, info);
}

void Message(const char *text, int messageClass, tPosition position) {
  Report(false, MakeIdent(text), messageClass, position, xxNone, nullptr);
}

void MessageI(const char *text, int messageClass, tPosition position, int infoKind,
              const void *info) {
  Report(false, MakeIdent(text), messageClass, position, infoKind, info);
}

void MessageChar(const char *text, int messageClass, tPosition position, char character) {
  unsigned char byte = static_cast<unsigned char>(character);
  if (std::isalnum(byte) || std::ispunct(byte)) {
    MessageI(text, messageClass, position, xxCharacter, &character);
  } else {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\%02x", byte);
    MessageI(text, messageClass, position, xxString, escaped);
  }
}

bool MessageTextsDropped() {
  const ErrorsState &s = state();
  return s.IsStore && s.Stored.size() >= MaxMessages;
}

void StoreMessages(bool on) {
  ErrorsState &s = state();
  s.IsStore = on;
  if (on) {
    s.Stored.clear();
    s.PrevLine = 0;
  }
}

void WriteMessages(FILE *stream) {
  ErrorsState &s = state();
  std::stable_sort(s.Stored.begin(), s.Stored.end(),
                   [](const StoredMessage &a, const StoredMessage &b) {
                     int order = Compare(a.Position, b.Position);
                     return order != 0 ? order < 0 : a.Sequence < b.Sequence;
                   });
  // Each printing of the store starts afresh, so a second call prints the same lines.
  s.PrevLine = 0;
  s.Written.clear();
  OutRestorer restorer{s};
  s.Out = stream;
  for (const StoredMessage &message : s.Stored)
    WriteMessage(message.IsCoded, message.Code, message.Class, message.Position, message.InfoKind,
                 StoredInfoAddress(message));
}

const std::vector<SourceMessage> &MessagesWritten() { return state().Written; }

int GetCount(int messageClass) {
  return messageClass >= 0 && messageClass < NoOfClasses ? state().nErrors[messageClass] : 0;
}

void ReportOutOfMemory() {
  unsigned long used = RunArenaBytes();
  ErrorMessageI(xxOutOfMemoryAlloc, xxFatal, NoPosition, xxUnsignedLong, &used);
  throw FatalError(); // the store has thrown already; this keeps the promise visible
}
