#include "converter/conversion_report.h"

#include <cstdio>
#include <cstring>
#include <iostream>

#include "support/trace.h"
#include "support/identifier_table.h"

namespace {
TRC1_EPB trcBlock{"VEXCVST"};
} // namespace

VexCvtReport &VexCvtReport::inst() {
  static VexCvtReport instance;
  return instance;
}

void VexCvtReport::msg(const char *text, bool withContext) {
  if (withContext && !contexts_.empty())
    std::cerr << contexts_.back()->getUserText();
  std::cerr << text;
}

void VexCvtReport::registerContext(VexCvtRepContext *context) { contexts_.push_back(context); }

void VexCvtReport::deregisterContext() {
  if (!contexts_.empty())
    contexts_.pop_back();
}

VexCvtRepContext::VexCvtRepContext() { VexCvtReport::inst().registerContext(this); }

VexCvtRepContext::~VexCvtRepContext() { VexCvtReport::inst().deregisterContext(); }

const char *VexCvtRepContext::getUserText() const { return userText_.c_str(); }

VexCblReportContext::VexCblReportContext(const char *itemName, const tPosition *pos) {
  VEX_TRACE(trcBlock, "VexCblReportContext::VexCblReportContext");
  VEX_TRACE_ARGS(trcBlock) << "itemName"
                           << "(" << itemName << ") ";
  userText_.reserve(100);
  const char *file = pos != nullptr ? GetCStr(pos->File) : nullptr;
  if (file != nullptr && *file != '\0') {
    const char *slash = std::strrchr(file, '/');
    const char *base = slash != nullptr ? slash + 1 : file;
    char place[32];
    std::snprintf(place, sizeof place, "\":%4lu,%3hu", static_cast<unsigned long>(pos->Line),
                  static_cast<unsigned short>(pos->Column));
    userText_ += '"';
    userText_ += base;
    userText_ += place;
  }
  if (itemName != nullptr) {
    userText_ += " (";
    userText_ += itemName;
    userText_ += ") ";
  }
  VEX_TRACE_DETAIL(trcBlock) << "Context text"
                             << "(" << userText_ << ") ";
}

void vexCvtReportMsg(const std::string &text) {
  VEX_TRACE(trcBlock, "vexCvtReportMsg");
  std::string composed;
  VexTraceStream stream;
  stream.getOs(composed) << text << "\n" << std::flush;
  VexCvtReport::inst().msg(composed.c_str(), true);
}

void vexCvtReportError(const std::string &text) {
  vexCvtReportMsg(text);
  throw VexCvtError();
}
