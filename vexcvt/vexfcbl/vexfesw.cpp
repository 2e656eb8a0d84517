#include "vexcvt/vexfcbl/vexfesw.h"

bool do_copy = true;
