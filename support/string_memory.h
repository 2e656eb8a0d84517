#pragma once
#include <cstdio>

// Immutable string records packed into blocks: a 16-bit length, the characters
// and a NUL. A reference points at the record's length field.
using tStringRef = const unsigned char *;

// Copies exactly `length` characters and a NUL into string memory.
tStringRef PutString(const char *characters, unsigned long length);
// Copies the NUL-terminated text into buffer.
void StGetString(tStringRef ref, char *buffer);
// The record's text, NUL-terminated, valid until CloseStringMemory.
const char *StGetCStr(tStringRef ref);
// The record's length.
unsigned LengthSt(tStringRef ref);
// True when the record's first LengthSt characters equal `characters`.
bool IsEqualSt(tStringRef ref, const char *characters);
// Writes the text; a null reference reports code 11 and writes nothing.
void WriteString(FILE *stream, tStringRef ref);
// Forgets every block: the next PutString starts a new one.
void InitStringMemory();
// Gives every block back to the memory pools, then InitStringMemory.
// No reference may be used afterwards.
void CloseStringMemory();
