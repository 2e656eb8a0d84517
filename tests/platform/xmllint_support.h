#pragma once
#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>

// Schema validation of rendered markup and exported documents with xmllint,
// shared by the platform and converter tests (header only, so that each test
// program links nothing of the other layer).

// The schema every document and definition must satisfy.
inline std::string vexSchemaPath() { return std::string(VEX_SOURCE_DIR) + "/schema/vexfcbl.xsd"; }

// Result of one xmllint run: whether the file validated, and what it printed.
struct VexSchemaCheck {
  bool valid = false;
  std::string output;
};

// Validates the XML file at `path` against the project schema.
inline VexSchemaCheck vexValidateFile(const std::string &path) {
  VexSchemaCheck check;
  std::string command = "xmllint --noout --schema '" + vexSchemaPath() + "' '" + path + "' 2>&1";
  FILE *pipe = popen(command.c_str(), "r");
  if (!pipe) {
    check.output = "cannot run xmllint";
    return check;
  }
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe))
    check.output += buffer;
  check.valid = pclose(pipe) == 0;
  return check;
}

// Validates `xml` (a document or a single definition element).
inline VexSchemaCheck vexValidateText(const std::string &xml) {
  char path[] = "/tmp/vexschemaXXXXXX";
  int fd = mkstemp(path);
  if (fd < 0)
    return {false, "cannot create a temporary file"};
  close(fd);
  std::ofstream(path, std::ios::binary) << xml;
  VexSchemaCheck check = vexValidateFile(path);
  unlink(path);
  return check;
}
