#pragma once
#include <cstdio>

#include "diagnostics/position.h"

// Message classes.
constexpr int xxFatal = 1;
constexpr int xxRestriction = 2;
constexpr int xxError = 3;
constexpr int xxWarning = 4;
constexpr int xxRepair = 5;
constexpr int xxNote = 6;
constexpr int xxInformation = 7;

// Information kinds: what the optional datum of a message is.
constexpr int xxNone = 0;
constexpr int xxInteger = 1;
constexpr int xxShort = 2;
constexpr int xxLong = 3;
constexpr int xxUnsignedLong = 4;
constexpr int xxFloat = 5;
constexpr int xxBoolean = 6;
constexpr int xxCharacter = 7;
constexpr int xxString = 9;
constexpr int xxIdent = 11;
constexpr int xxSet = 13;
constexpr int xxPosition = 14;

// Error codes (the texts printed for them live in message_store.cpp).
constexpr int xxNoText = 0;
constexpr int xxTooManyMessages = 1;
constexpr int xxTclTk = 2;
constexpr int xxOutOfMemoryAlloc = 10;
constexpr int xxStringRefUndefined = 11;
constexpr int xxIdentOutOfBounds = 12;
constexpr int xxInternalError = 20;
constexpr int xxOutOfMemory = 21;
constexpr int xxFileStackUnderflow = 22;
constexpr int xxCannotOpenInputFile = 23;
constexpr int xxStartStackUnderflow = 24;
constexpr int xxSyntaxError = 30;
constexpr int xxExpectedTokens = 31;
constexpr int xxRestartPoint = 32;
constexpr int xxTokenInserted = 33;
constexpr int xxTokenFound = 34;
constexpr int xxFoundExpected = 35;
constexpr int xxInvalidReParse = 36;
constexpr int xxTreeOutOfMemory = 40;
constexpr int xxIOErrorIn = 41;
constexpr int xxQueryTreeEndOfInput = 42;
// Texts of the syntax tree's consistency check.
constexpr int xxCheckTreeError = 50;
constexpr int xxAddrOfParent = 51;
constexpr int xxTypeOfParent = 52;
constexpr int xxNameOfChild = 53;
constexpr int xxValueOfChild = 54;
constexpr int xxAddrOfChild = 55;
constexpr int xxTypeOfChild = 56;
constexpr int xxExpectedType = 57;
constexpr int xxParentNode = 58;
constexpr int xxChildNode = 59;
constexpr int xxCyclicDependencies = 60;
constexpr int xxRoutineFailed = 70;

// Resets the class counters, the message counter and the line filter.
void BeginErrors();
// Reports a coded message; the I form adds a datum of the given information
// kind (info points at it). Counts the class, then prints it (direct mode) or
// stores it (store mode); a Fatal message ends in Errors_Exit.
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
// true: collect messages (and empty the store); false: print each at once.
void StoreMessages(bool on);
// Sorts the stored messages by position (equal positions in the order
// reported) and prints them to stream; the store is kept, so a second call
// prints them again. Afterwards messages go to the standard error stream.
void WriteMessages(FILE *stream);
// Messages of that class reported since BeginErrors, printed or not.
int GetCount(int messageClass);
// Called after a Fatal message has been printed (direct mode) or after the
// whole store has been printed (store mode); initially exits with status 1.
// It may throw: the module stays usable.
extern void (*Errors_Exit)();
