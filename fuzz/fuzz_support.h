#pragma once
// What the fuzz targets share: a scratch folder of their own, the options
// taken from the input's first byte, and one run of the pipeline.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "converter/conversion_options.h"
#include "frontend/front_end.h"

// The options of one fuzzed run: front-end and conversion switches.
struct FuzzOptions {
  FrontEndOptions frontEnd;
  VexCblConfig conversion;
};

// An input split into its option byte and the rest.
class FuzzInput {
public:
  FuzzInput(const std::uint8_t *data, std::size_t size);
  // Bit 0 -f, 1 -r, 2 -dnd, 3 -c, 4 -tn, 5 -compat 300, 6 -ta, 7 -ns a.b;
  // an empty input has none.
  FuzzOptions options() const;
  std::string_view rest() const { return rest_; }

private:
  std::uint8_t flags_ = 0;
  std::string_view rest_;
};

// A private folder for the process's inputs and outputs, removed at exit.
class FuzzScratch {
public:
  static FuzzScratch &instance();
  ~FuzzScratch();
  FuzzScratch(const FuzzScratch &) = delete;
  FuzzScratch &operator=(const FuzzScratch &) = delete;

  // Writes `text` to `name` in the folder.
  void write(const std::string &name, std::string_view text) const;
  // Empties the folder.
  void clear() const;
  // Writes the files of a tree ("*>FILE NAME" lines start each one but the
  // first, which is MAIN.cpy; names are reduced to letters and digits) and
  // returns the main file's name.
  std::string writeTree(std::string_view tree) const;
  // Runs the pipeline on `name` in the folder, which is also the copybook
  // directory, writing the document into the folder. A fatal front-end end
  // is a normal outcome; anything else escapes to the fuzzer as a finding.
  void convert(const std::string &name, FuzzOptions options) const;

private:
  FuzzScratch();
  std::filesystem::path folder_;
};
