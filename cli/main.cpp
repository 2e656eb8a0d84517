// The program's entry: everything happens in vexFcblMain (cli/driver.h).
#include "cli/driver.h"

int main(int argc, char **argv) { return vexFcblMain(argc, argv); }
