#pragma once
// VexDocumentFile: a document spooled out of sight and put in place as its output only when
// complete.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include <sys/stat.h>

// The bytes of one output document on their way to the output file. They go
// to an unnamed file in the output's folder (failing that, a temporary file,
// failing that, memory), so a large document costs no memory and a run that
// fails never touches the output: the spool vanishes with this object, on
// every way out, and nothing of it is ever seen in the folder. Past 32
// megabytes a helper thread gives the spool its pages a little ahead of the
// document (zeros the document then overwrites), so the kernel's work of
// finding fresh pages for it leaves the converting thread; the document's
// own bytes, and so every write error, stay on the writing thread.
class VexSpoolPrefill;
class VexDocumentFile {
public:
  // A spool for the document that `commit` writes to `outputFile` (empty:
  // the standard output).
  // How the spool is helped along when the document is big.
  enum class Pace {
    // A helper thread makes the spool's pages ready ahead of the document.
    prefill,
    // No helper (every core is busy with the parse and the conversion, so
    // the zeros would only add to their work); instead the kernel starts
    // writing each 8 MB piece to disk as soon as it is spooled, which the
    // rename over an existing output would otherwise do for the whole
    // document at once (the file system's safety for replacement by
    // rename), after everything else.
    writeBehind,
  };
  explicit VexDocumentFile(std::string outputFile, Pace pace = Pace::prefill);
  // A document kept in memory: `commit` puts it in `target`, whole.
  explicit VexDocumentFile(std::string *target);
  ~VexDocumentFile();
  VexDocumentFile(const VexDocumentFile &) = delete;
  VexDocumentFile &operator=(const VexDocumentFile &) = delete;

  // Appends `bytes`; VexError when the spool cannot take them.
  void write(std::string_view bytes);
  // Puts the whole document in place: a new output appears complete, an
  // existing regular file (or the file a link names) is replaced whole in
  // one rename, keeping its mode; a device or pipe is written into. Returns
  // false, writing nothing, when the output could not be opened for writing,
  // with errno telling why.
  // VexError when writing fails; the old output is then untouched.
  bool commit();

private:
  // Opens the existing output for writing, without changing it.
  bool openOutput(int &fd) const;
  void copyTo(const std::function<void(const char *, std::size_t)> &sink);
  // Stops the prefill and cuts what it wrote past the document.
  void endPrefill();
  // Renames the unnamed spool over the regular file `target` (whose status
  // was `old`), with its mode and owner; false, nothing changed, when the
  // spool cannot be linked into the target's folder.
  bool placeSpool(const std::string &target, const struct stat &old);

  std::string outputFile_;
  int spool_ = -1;
  // Set when the spool is an unnamed file that can be given the output's name.
  bool linkable_ = false;
  // Set when the output's folder does not exist: the output cannot be opened.
  bool noFolder_ = false;
  std::string memory_;
  std::string *target_ = nullptr;
  // Bytes in the spool.
  std::size_t written_ = 0;
  std::unique_ptr<VexSpoolPrefill> prefill_;
  Pace pace_ = Pace::prefill;
  // Writing behind: the spool's bytes before this were handed to the kernel's writeback.
  std::size_t writtenBehind_ = 0;
};
