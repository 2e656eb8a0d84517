#include "vexcvt/vexfcbl/vexcbcfg.h"

VexCblConfig &VexCblConfig::inst() {
  // Never destroyed: converter code may read it during static destruction.
  static VexCblConfig *instance = new VexCblConfig();
  return *instance;
}
