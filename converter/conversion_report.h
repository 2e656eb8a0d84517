#pragma once
#include <string>
#include <vector>

#include "diagnostics/position.h"

// Conversion report: the one channel for the converter's user-visible
// messages. A message is prefixed with the text of the innermost live report
// context, which names the item being converted.

class VexCvtRepContext;

class VexCvtReport {
public:
  // The process-wide report, created on first use.
  static VexCvtReport &inst();
  // Writes the innermost context's text (when withContext and one is alive),
  // then `text`, to the standard error stream. Adds nothing else.
  void msg(const char *text, bool withContext);
  void registerContext(VexCvtRepContext *context);
  // Removes the most recently registered context, if any.
  void deregisterContext();

private:
  VexCvtReport() = default;
  std::vector<VexCvtRepContext *> contexts_;
};

// A scoped report context: registered for exactly its lifetime, so contexts
// must nest like the stack frames that hold them.
class VexCvtRepContext {
public:
  VexCvtRepContext();
  virtual ~VexCvtRepContext();
  VexCvtRepContext(const VexCvtRepContext &) = delete;
  VexCvtRepContext &operator=(const VexCvtRepContext &) = delete;
  virtual const char *getUserText() const;

protected:
  std::string userText_;
};

// The context of one COBOL item: "file":line,col (name) .
class VexCblReportContext : public VexCvtRepContext {
public:
  VexCblReportContext(const char *itemName, const tPosition *pos);
};

// Thrown after an error about an item has been reported; caught by the driver.
class VexCvtError {};

// Composes a converter message (text plus newline) and writes it through the
// report with the innermost context.
void vexCvtReportMsg(const std::string &text);

// Reports an error about the item being converted, then ends its conversion
// by throwing VexCvtError.
[[noreturn]] void vexCvtReportError(const std::string &text);
