#pragma once

// Immutable string records in the run's arena: a 16-bit length, the
// characters and a NUL. A reference points at the record's length field and
// stays valid until the run ends.
using tStringRef = const unsigned char *;

// Copies `length` characters (at most 65535; a longer text is cut) and a NUL.
tStringRef PutString(const char *characters, unsigned long length);
// The same record for every equal text of the run that is put this way (the
// text as cut to 65535 characters): for texts that repeat by the hundred
// thousand in a big copybook (level numbers, OCCURS counts, picture strings),
// which are then stored once. Records are never changed, so sharing one is
// sharing its text; a record made by PutString is never shared.
tStringRef PutSharedString(const char *characters, unsigned long length);
// How many different texts PutSharedString holds in the active run.
unsigned long SharedStringCount();
// The record's text, NUL-terminated; "" for a null reference.
const char *StGetCStr(tStringRef ref);
// The record's length; 0 for a null reference.
unsigned LengthSt(tStringRef ref);
