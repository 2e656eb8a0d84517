#pragma once
// Message store: classes, codes, coded and text messages, store mode, counts, Errors_Exit.
#include <cstdio>
#include <new>
#include <vector>

#include "diagnostics/fatal_error.h"
#include "diagnostics/position.h"
#include "diagnostics/source_message.h"

// Message classes and message codes: constants xx<name> from the catalogue.
#define MESSAGE_CLASS(name, number, word) constexpr int xx##name = number;
#define MESSAGE_CODE(name, number, text) constexpr int xx##name = number;
#include "diagnostics/message_catalogue.def"

// Information kinds: what the optional datum of a message is. The numbers are
// printed for a kind not listed here ("info class: 5").
constexpr int xxNone = 0;
constexpr int xxUnsignedLong = 4;
constexpr int xxCharacter = 7;
constexpr int xxString = 9;
constexpr int xxIdent = 11;
constexpr int xxPosition = 14;

// Resets the class counters, the message counter and the line filter of the
// run's message store.
void BeginErrors();
// Reports a coded message; the I form adds a datum of the given information
// kind (info points at it). Counts the class, then prints it (direct mode) or
// stores it (store mode). A Fatal message ends the run: it is printed (in
// store mode with everything stored before it) and FatalError is thrown.
void ErrorMessage(int code, int messageClass, tPosition position);
void ErrorMessageI(int code, int messageClass, tPosition position, int infoKind, const void *info);
// The same for a free text, which is interned as an identifier.
void Message(const char *text, int messageClass, tPosition position);
void MessageI(const char *text, int messageClass, tPosition position, int infoKind,
              const void *info);
// A text message about one character: a letter, digit or punctuation
// character as itself (kind 7), any other byte as a backslash and two
// lowercase hex digits (kind 9).
void MessageChar(const char *text, int messageClass, tPosition position, char character);
// Where a fatal message prints the messages collected before it throws
// FatalError: the standard error stream unless the run chooses another;
// null prints nothing (the messages are still kept as values).
void FatalMessageStream(FILE *stream);
// true: collect messages (and empty the store); false: print each at once.
void StoreMessages(bool on);
// True when the store is full: further messages are counted, but their texts
// and data are dropped, so callers may skip composing them.
bool MessageTextsDropped();
// Sorts the stored messages by position (equal positions in the order
// reported) and prints them to stream (null: nowhere); the store is kept, so
// a second call prints them again. Afterwards messages go to the standard
// error stream.
void WriteMessages(FILE *stream);
// The messages the last WriteMessages printed, and those printed one by one
// since, as values in the order printed; a syntax error is its one
// found/expected line, as printed.
const std::vector<SourceMessage> &MessagesWritten();
// Messages of that class reported since BeginErrors, printed or not.
int GetCount(int messageClass);

// Reports that the run's memory is exhausted: code 10, Fatal, with the bytes
// the run's arena had obtained. Ends the run with FatalError.
[[noreturn]] void ReportOutOfMemory();
// Runs `body`; memory exhaustion inside it ends the run as a fatal message,
// as every other fatal end does.
template <class Body> void ReportingOutOfMemory(Body &&body) {
  try {
    body();
  } catch (const std::bad_alloc &) {
    ReportOutOfMemory();
  }
}
