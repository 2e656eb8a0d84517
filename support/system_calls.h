#pragma once
// Thin wrappers of the operating-system calls the front end uses.

// The platform's malloc and free.
void *rAlloc(unsigned long size);
void rFree(void *address);
// Ends the process with the given status.
[[noreturn]] void rExit(int status);
// Opens a file read-only; the descriptor, or -1 on failure.
int OpenInput(const char *path);
// Closes a descriptor from OpenInput.
void rClose(int fd);
// The character "/".
char DirectorySeparator();
// Called when memory is exhausted and the message store's exit hook returned;
// initially ends the process with status 1.
extern void (*Reuse_Exit)();
