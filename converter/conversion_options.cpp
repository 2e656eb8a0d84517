#include "converter/conversion_options.h"

VexCblConfig &VexCblConfig::inst() {
  static VexCblConfig instance;
  return instance;
}
