#pragma once

// Immutable string records in the run's arena: a 16-bit length, the
// characters and a NUL. A reference points at the record's length field and
// stays valid until the run ends.
using tStringRef = const unsigned char *;

// Copies `length` characters (at most 65535; a longer text is cut) and a NUL.
tStringRef PutString(const char *characters, unsigned long length);
// The record's text, NUL-terminated; "" for a null reference.
const char *StGetCStr(tStringRef ref);
// The record's length; 0 for a null reference.
unsigned LengthSt(tStringRef ref);
