#pragma once
// GnuCOBOL as the oracle of the cross-check tests: a scratch folder, and a
// program compiled with cobc and run there.
#include <filesystem>
#include <string>
#include <vector>

// True when `cobc` is on the path; the cross-checks skip without it.
bool CobcInstalled();

// A fresh folder under the temporary directory, removed with the object;
// path() is empty when none could be made.
class CobcScratch {
public:
  CobcScratch();
  ~CobcScratch();
  CobcScratch(const CobcScratch &) = delete;
  CobcScratch &operator=(const CobcScratch &) = delete;
  const std::filesystem::path &path() const { return path_; }

private:
  std::filesystem::path path_;
};

// A number as GnuCOBOL or a data tool shows it, reduced so that equal values
// compare equal: "+0012.50", "12.5" and "12.50" are all "12.5"; no sign on zero.
std::string normalNumber(std::string text);

// Writes `source` to NAME.cob in the folder, compiles it with
// `cobc -x FLAGS` and runs it there (so files it names land in the folder);
// returns the lines it prints, without their line ends and, unless
// `keepTrailingBlanks`, without trailing blanks. A failed compilation or run
// is a test failure that shows cobc's log and the source, and gives what was
// printed so far.
std::vector<std::string> RunCobol(const CobcScratch &dir, const std::string &name,
                                  const std::string &source, const std::string &flags,
                                  bool keepTrailingBlanks = false);
