#include "support/system_calls.h"

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {
void DefaultReuseExit() { rExit(1); }
} // namespace

void (*Reuse_Exit)() = DefaultReuseExit;

void *rAlloc(unsigned long size) { return std::malloc(size); }

void rFree(void *address) { std::free(address); }

void rExit(int status) { std::exit(status); }

int OpenInput(const char *path) { return open(path, O_RDONLY); }

void rClose(int fd) { close(fd); }

char DirectorySeparator() { return '/'; }
