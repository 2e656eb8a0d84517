#include "cli/driver.h"
#include "support/run_state.h"

// The process is one run: its state goes when main returns.
int main(int argc, char **argv) {
  RunState run;
  RunState::Scope scope(run);
  return vexFcblMain(argc, argv);
}
