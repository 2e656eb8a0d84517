#include "vexcvt/vexfcbl/vexfesw.h"

bool free_format = false;
unsigned MaxColumn = 72;
bool do_copy = true;
