#include "cli/driver.h"

int main(int argc, char **argv) { return vexFcblMain(argc, argv); }
