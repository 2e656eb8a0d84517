#pragma once
// Conversion report: scoped item contexts, message and error reporting, VexCvtError.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "diagnostics/position.h"
#include "diagnostics/source_message.h"

// Conversion report: the one channel for the converter's user-visible
// messages. A message is prefixed with the text of the innermost live report
// context, which names the item being converted. Each conversion owns its
// report; messages go to the standard error stream.

class VexCvtRepContext;

class VexCvtReport {
public:
  VexCvtReport() = default;
  ~VexCvtReport() { flush(); }
  VexCvtReport(const VexCvtReport &) = delete;
  VexCvtReport &operator=(const VexCvtReport &) = delete;

  // Writes the innermost context's text (when withContext and one is alive),
  // then `text`, to the standard error stream. Adds nothing else.
  void msg(const char *text, bool withContext);
  // Composes a converter message (text plus newline) and writes it with the
  // innermost context.
  void message(const std::string &text);
  // Reports an error about the item being converted, then ends its
  // conversion by throwing VexCvtError.
  [[noreturn]] void error(const std::string &text);

  // A second reading of entries the conversion already reported on (the
  // record layout) must not repeat its messages; errors still throw.
  bool silent = false;
  // Where the messages go (the conversion's VexCblConfig::messages); null: nowhere.
  std::FILE *out = stderr;
  // Holds the messages back in memory and writes them in large pieces: a
  // copybook of many REDEFINES gives a message per item, and an unbuffered
  // standard error stream would take two system calls for each. Whoever else
  // writes to `out` calls flush() first, so that the order stays as written.
  void holdMessages() { hold_ = true; }
  // Writes what is held back.
  void flush();
  // Where the messages are also kept as values (VexCblConfig::messageValues);
  // null: not kept. A silent report keeps none either.
  std::vector<SourceMessage> *values = nullptr;

  // The last path component of the source file `file` (an identifier of the
  // run); its data() is null when the file's name is empty (no file), and a
  // path ending in "/" has an empty one. Kept from one message to the next:
  // a conversion's messages name one file or a few, and the identifier
  // table's entry was a cache miss each time on the converting thread.
  std::string_view fileBase(tIdent file);

private:
  friend class VexCvtRepContext;
  bool fileKnown_ = false;
  tIdent fileIdent_ = 0;
  std::string_view fileBase_;
  // Keeps `text` (a message as composed for printing) as a value.
  void keep(const std::string &text, bool withContext);
  std::vector<const VexCvtRepContext *> contexts_;
  bool hold_ = false;
  std::string held_;
};

// A scoped report context: registered with its report for exactly its
// lifetime, so contexts must nest like the stack frames that hold them.
class VexCvtRepContext {
  friend class VexCvtReport;

public:
  explicit VexCvtRepContext(VexCvtReport &report);
  virtual ~VexCvtRepContext();
  VexCvtRepContext(const VexCvtRepContext &) = delete;
  VexCvtRepContext &operator=(const VexCvtRepContext &) = delete;
  // The text that prefixes messages, composed on first request.
  const char *getUserText() const {
    composeOnce();
    return userText_.c_str();
  }

protected:
  // Fills userText_; called at most once, when a message needs it.
  virtual void compose() const {}
  // Appends the text that prefixes messages to `to`, for a message held
  // back: by default the composed text.
  virtual void appendUserText(std::string &to) const {
    composeOnce();
    to += userText_;
  }
  VexCvtReport &report() const { return report_; }
  // The file, line, column and item the context names, for a message kept
  // as a value; made only for such a message (most runs keep none).
  virtual SourceMessage place() const { return {}; }

  // Composed lazily: most items draw no message, and a big copybook would
  // spend its time formatting positions nobody reads.
  mutable std::string userText_;

private:
  void composeOnce() const {
    if (!composed_) {
      composed_ = true;
      compose();
    }
  }
  VexCvtReport &report_;
  mutable bool composed_ = false;
};

// The context of one COBOL item: "file":line,col (name) .
class VexCblReportContext : public VexCvtRepContext {
public:
  // `itemName` and `pos` (either may be null) must outlive the context.
  VexCblReportContext(VexCvtReport &report, const char *itemName, const tPosition *pos)
      : VexCvtRepContext(report), itemName_(itemName), pos_(pos) {}

private:
  void compose() const override;
  // Written straight into the held messages, without a text of its own to
  // allocate (most entries with a message have one, a REDEFINES).
  void appendUserText(std::string &to) const override;
  SourceMessage place() const override;
  const char *itemName_;
  const tPosition *pos_;
};

// Thrown after an error about an item has been reported; caught by the
// conversion's entry point.
class VexCvtError {};
