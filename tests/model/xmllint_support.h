#pragma once
// Validates documents and definition elements against schema/vexfcbl.xsd with xmllint.
#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>

// Schema validation of rendered markup and exported documents with xmllint,
// shared by the platform and converter tests (header only, so that each test
// program links nothing of the other layer).

// Result of one xmllint run: whether the text validated, and what it printed.
struct VexSchemaCheck {
  bool valid = false;
  std::string output;
};

// Validates `xml` (a document or a single definition element) against
// schema/vexfcbl.xsd.
inline VexSchemaCheck vexValidateText(const std::string &xml) {
  char path[] = "/tmp/vexschemaXXXXXX";
  int fd = mkstemp(path);
  if (fd < 0)
    return {false, "cannot create a temporary file"};
  close(fd);
  std::ofstream(path, std::ios::binary) << xml;
  std::string command = "xmllint --noout --schema '" + std::string(VEX_SOURCE_DIR) +
                        "/schema/vexfcbl.xsd' '" + path + "' 2>&1";
  VexSchemaCheck check;
  if (FILE *pipe = popen(command.c_str(), "r")) {
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe))
      check.output += buffer;
    check.valid = pclose(pipe) == 0;
  } else {
    check.output = "cannot run xmllint";
  }
  unlink(path);
  return check;
}
