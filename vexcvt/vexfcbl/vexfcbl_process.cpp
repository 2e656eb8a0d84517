#include <cstdio>

#include "vexcvt/vexfcbl/vexfcbl.h"

void process(const char *) {
  std::fputs("Error: Cobol front end is not available in this build.\n", stderr);
}
