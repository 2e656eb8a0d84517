#pragma once
#include <cstdint>
#include <string>

// The command-line choices of one run. The driver is the only writer; the
// conversion reads the fields directly wherever it decides on a mapping.
class VexCblConfig {
public:
  // The process-wide instance, created with the defaults on first use.
  static VexCblConfig &inst();

  bool commaDecimalPoint = false;    // -c
  bool noDescription = false;        // -dnd
  bool textNumbersAsStrings = false; // -tn
  bool packedDefaultAsText = false;  // -ta
  std::string namespaceName;         // -ns
  std::string outputFileName;        // -o, else derived from the input name
  std::int32_t compatLevel = 0;      // -compat 300
  bool levelRestrictions = false;    // -r

private:
  VexCblConfig() = default;
};
