#pragma once
#include <cstdio>

#include "common/Position.h"

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

// Error codes (the texts printed for them live in Errors.cpp).
constexpr int xxNoText = 0;
constexpr int xxTooManyMessages = 1;
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
constexpr int xxTreeOutOfMemory = 40;
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
void MessageI(const char *text, int messageClass, tPosition position, int infoKind, const void *info);
// A text message about one character: printable as itself, else "\xx".
void MessageChar(const char *text, int messageClass, tPosition position, char character);
// true: collect messages (and empty the store); false: print each at once.
void StoreMessages(bool on);
// Sorts the stored messages by position (equal positions in the order
// reported) and prints them to stream; the store is kept, so a second call
// prints them again. Afterwards messages go to the standard error stream.
void WriteMessages(FILE *stream);
// Messages of that class reported since BeginErrors.
int GetCount(int messageClass);
// Called after a Fatal message has been printed; initially exits with status 1.
extern void (*Errors_Exit)();
