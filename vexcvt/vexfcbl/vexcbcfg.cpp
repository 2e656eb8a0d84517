#include "vexcvt/vexfcbl/vexcbcfg.h"

VexCblConfig &VexCblConfig::inst() {
  static VexCblConfig instance;
  return instance;
}
