#include "diagnostics/message_store.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "support/identifier_table.h"
#include "support/bit_sets.h"
#include "support/string_memory.h"
#include "support/memory_pools.h"
#include "support/system_calls.h"

namespace {

constexpr int MaxMessages = 2500;
constexpr std::string::size_type FoundStringSize = 5000;
constexpr std::string::size_type StringInfoCut = 26;
constexpr int NoOfClasses = 8;

struct CodeText {
  int Code;
  const char *Text;
};

constexpr CodeText CodeTexts[] = {
    {0, ""},
    {1, "too many messages"},
    {2, "Tcl/Tk"},
    {10, "rMemory.Alloc out of memory"},
    {11, "tStringRef undefined (NULL)"},
    {12, "tIdent out of bounds"},
    {20, "internal error"},
    {21, "out of memory"},
    {22, "file stack underflow (too many calls of CloseFile)"},
    {23, "cannot open input file"},
    {24, "start stack underflow (too many calls of yyPop)"},
    {30, "syntax error"},
    {31, "expected tokens"},
    {32, "restart point"},
    {33, "token inserted "},
    {34, "token found    "},
    {35, "found/expected "},
    {36, "invalid call of ReParse"},
    {40, "tree out of memory"},
    {41, "I/O error in"},
    {42, "QueryTree reached end of input"},
    {50, "CheckTree error"},
    {51, "addr of parent:"},
    {52, "type of parent:"},
    {53, "name of child :"},
    {54, "value of child:"},
    {55, "addr of child :"},
    {56, "type of child :"},
    {57, "expected type :"},
    {58, "parent node   :"},
    {59, "child node    :"},
    {60, "cyclic attribute dependencies"},
    {70, "routine failed"},
};

constexpr const char *ClassWords[] = {
    nullptr,        "Fatal       ", "Restriction ", "Error       ",
    "Warning     ", "Repair      ", "Note        ", "Information ",
};

// The stored copy of a message's datum; which member is meaningful follows
// the information kind.
struct StoredInfo {
  int Integer = 0;
  short Short = 0;
  long Long = 0;
  unsigned long UnsignedLong = 0;
  float Float = 0;
  char Byte = 0;
  tIdent Ident = NoIdent;
  tPosition Position = NoPosition;
  tStringRef String = nullptr;
  tSet Set;
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
  StoredMessage ErrorTable[MaxMessages + 1]; // elements numbered from 1
  int MessageCount = 0;
  bool IsStore = false;
  FILE *Out = nullptr;
  unsigned long PrevLine = 0;
  std::string FoundString;
};

ErrorsState E;

void DefaultErrorsExit() { rExit(1); }

void WriteShortened(FILE *out, const char *text) {
  std::string::size_type length = std::strlen(text);
  std::string::size_type end = std::min(length, StringInfoCut);
  // A long list is cut after the word that crosses the limit.
  while (end < length && text[end] != ' ')
    ++end;
  std::fwrite(text, 1, end, out);
  if (end < length)
    std::fputs(" ...", out);
}

void WriteSet(FILE *out, const tSet &set) {
  std::fputc('{', out);
  for (unsigned long element = 0; element <= set.MaxElmt; ++element) {
    if (IsElement(element, set))
      std::fprintf(out, " %lu", element);
  }
  std::fputc('}', out);
}

void WriteInfo(FILE *out, int infoKind, const void *info) {
  bool known = (infoKind >= xxInteger && infoKind <= xxCharacter) || infoKind == xxString ||
               infoKind == xxIdent || infoKind == xxSet || infoKind == xxPosition;
  if (known && info == nullptr && infoKind != xxString)
    return;
  switch (infoKind) {
  case xxInteger:
    std::fprintf(out, "%d", *static_cast<const int *>(info));
    break;
  case xxShort:
    std::fprintf(out, "%d", *static_cast<const short *>(info));
    break;
  case xxLong:
    std::fprintf(out, "%ld", *static_cast<const long *>(info));
    break;
  case xxUnsignedLong:
    std::fprintf(out, "%lu", *static_cast<const unsigned long *>(info));
    break;
  case xxFloat:
    std::fprintf(out, "%e", static_cast<double>(*static_cast<const float *>(info)));
    break;
  case xxBoolean:
    std::fputc(*static_cast<const char *>(info) != 0 ? 'T' : 'F', out);
    break;
  case xxCharacter:
    std::fputc(*static_cast<const char *>(info), out);
    break;
  case xxString:
    WriteShortened(out, info == nullptr ? "" : static_cast<const char *>(info));
    break;
  case xxIdent:
    WriteIdent(out, *static_cast<const tIdent *>(info));
    break;
  case xxSet:
    WriteSet(out, *static_cast<const tSet *>(info));
    break;
  case xxPosition:
    WritePosition(out, *static_cast<const tPosition *>(info));
    break;
  default:
    std::fprintf(out, "info class: %d", infoKind);
    break;
  }
}

void WriteText(FILE *out, bool isCoded, unsigned long code) {
  if (!isCoded) {
    std::fputs(GetCStr(static_cast<tIdent>(code)), out);
    return;
  }
  for (const CodeText &entry : CodeTexts) {
    if (static_cast<unsigned long>(entry.Code) == code) {
      std::fputs(entry.Text, out);
      return;
    }
  }
  std::fprintf(out, "error code: %ld", static_cast<long>(code));
}

void WriteClass(FILE *out, int messageClass) {
  if (messageClass >= xxFatal && messageClass <= xxInformation)
    std::fputs(ClassWords[messageClass], out);
  else
    std::fprintf(out, "Error class: %d ", messageClass);
}

void WriteMessage(bool isCoded, unsigned long code, int messageClass, tPosition position,
                  int infoKind, const void *info) {
  if (isCoded) {
    // The parser reports each syntax error as a group of coded messages;
    // only the combined found/expected line is shown.
    switch (code) {
    case xxSyntaxError:
    case xxRestartPoint:
    case xxTokenInserted:
      return;
    case xxTokenFound:
      E.FoundString =
          infoKind == xxString && info != nullptr ? static_cast<const char *>(info) : "";
      E.FoundString += '/';
      E.FoundString.resize(std::min(E.FoundString.size(), FoundStringSize - 1));
      return;
    case xxExpectedTokens:
      if (infoKind == xxString && info != nullptr)
        E.FoundString += static_cast<const char *>(info);
      E.FoundString.resize(std::min(E.FoundString.size(), FoundStringSize - 1));
      code = xxFoundExpected;
      messageClass = xxError;
      infoKind = xxString;
      info = E.FoundString.c_str();
      break;
    default:
      break;
    }
  }

  bool fatal = messageClass == xxFatal && !E.IsStore;
  if (isCoded && position.Line != 0) {
    if (position.Line == E.PrevLine) {
      // A fatal report ends the run even when its line already has a message.
      if (fatal)
        Errors_Exit();
      return;
    }
    E.PrevLine = position.Line;
  }

  if (E.Out == nullptr)
    E.Out = stderr;
  FILE *out = E.Out;
  if (position.Line != 0) {
    WritePosition(out, position);
    std::fputs(": ", out);
  }
  WriteClass(out, messageClass);
  WriteText(out, isCoded, code);
  if (infoKind != xxNone) {
    std::fputs(": ", out);
    WriteInfo(out, infoKind, info);
  }
  std::fputc('\n', out);
  std::fflush(out);

  if (fatal)
    Errors_Exit();
}

void CopyInfo(StoredInfo &copy, int infoKind, const void *info) {
  if (info == nullptr)
    return;
  switch (infoKind) {
  case xxInteger:
    copy.Integer = *static_cast<const int *>(info);
    break;
  case xxShort:
    copy.Short = *static_cast<const short *>(info);
    break;
  case xxLong:
    copy.Long = *static_cast<const long *>(info);
    break;
  case xxUnsignedLong:
    copy.UnsignedLong = *static_cast<const unsigned long *>(info);
    break;
  case xxFloat:
    copy.Float = *static_cast<const float *>(info);
    break;
  case xxBoolean:
  case xxCharacter:
    copy.Byte = *static_cast<const char *>(info);
    break;
  case xxString: {
    const char *text = static_cast<const char *>(info);
    copy.String = PutString(text, std::strlen(text));
    break;
  }
  case xxIdent:
    copy.Ident = *static_cast<const tIdent *>(info);
    break;
  case xxSet: {
    const tSet &source = *static_cast<const tSet *>(info);
    MakeSet(copy.Set, source.MaxElmt);
    Assign(copy.Set, source);
    break;
  }
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
  case xxInteger:
    return &info.Integer;
  case xxShort:
    return &info.Short;
  case xxLong:
    return &info.Long;
  case xxUnsignedLong:
    return &info.UnsignedLong;
  case xxFloat:
    return &info.Float;
  case xxBoolean:
  case xxCharacter:
    return &info.Byte;
  case xxString:
    return info.String == nullptr ? "" : StGetCStr(info.String);
  case xxIdent:
    return &info.Ident;
  case xxSet:
    return info.Set.BitsetPtr == nullptr ? nullptr : &info.Set;
  case xxPosition:
    return &info.Position;
  default:
    return nullptr;
  }
}

void StoreMessage(bool isCoded, unsigned long code, int messageClass, tPosition position,
                  int infoKind, const void *info) {
  if (E.MessageCount < MaxMessages) {
    ++E.MessageCount;
    StoredMessage &message = E.ErrorTable[E.MessageCount];
    message = StoredMessage();
    message.Position = position;
    message.IsCoded = isCoded;
    message.Sequence = static_cast<short>(E.MessageCount);
    message.Code = code;
    message.Class = messageClass;
    message.InfoKind = infoKind;
    CopyInfo(message.Info, infoKind, info);
  } else {
    // The store is full: its last element says so, and sorts first.
    StoredMessage &message = E.ErrorTable[MaxMessages];
    short sequence = message.Sequence;
    message = StoredMessage();
    message.Sequence = sequence;
    message.Code = xxTooManyMessages;
    message.Class = xxRestriction;
  }
  if (messageClass == xxFatal) {
    WriteMessages(stderr);
    Errors_Exit();
  }
}

void Report(bool isCoded, unsigned long code, int messageClass, tPosition position, int infoKind,
            const void *info) {
  if (messageClass >= 0 && messageClass < NoOfClasses)
    ++E.nErrors[messageClass];
  if (E.IsStore)
    StoreMessage(isCoded, code, messageClass, position, infoKind, info);
  else
    WriteMessage(isCoded, code, messageClass, position, infoKind, info);
}

// Puts the standard error stream back as the message stream, also when a
// message's exit hook leaves by an exception.
struct OutRestorer {
  ~OutRestorer() { E.Out = stderr; }
};

} // namespace

void (*Errors_Exit)() = DefaultErrorsExit;

void BeginErrors() {
  std::fill(std::begin(E.nErrors), std::end(E.nErrors), 0);
  E.MessageCount = 0;
  E.PrevLine = 0;
}

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

void StoreMessages(bool on) {
  E.IsStore = on;
  if (on) {
    E.MessageCount = 0;
    E.PrevLine = 0;
  }
}

void WriteMessages(FILE *stream) {
  StoredMessage *first = E.ErrorTable + 1;
  StoredMessage *last = first + E.MessageCount;
  std::stable_sort(first, last, [](const StoredMessage &a, const StoredMessage &b) {
    int order = Compare(a.Position, b.Position);
    return order != 0 ? order < 0 : a.Sequence < b.Sequence;
  });
  // Each printing of the store starts afresh, so a second call prints the same lines.
  E.PrevLine = 0;
  OutRestorer restorer;
  E.Out = stream;
  for (StoredMessage *message = first; message != last; ++message)
    WriteMessage(message->IsCoded, message->Code, message->Class, message->Position,
                 message->InfoKind, StoredInfoAddress(*message));
}

int GetCount(int messageClass) {
  return messageClass >= 0 && messageClass < NoOfClasses ? E.nErrors[messageClass] : 0;
}
