#include "vexcvt/vexfcbl/vexfcbl.h"

int main(int argc, char **argv) { return vexFcblMain(argc, argv); }
