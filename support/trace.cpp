// The trace of one conversion: a file named by VEXFCBL_TRACE, appended to line by line.
#include "support/trace.h"

#include <cstdlib>
#include <utility>

VexTrace::VexTrace(const std::string &path)
    : file_(
          std::make_unique<std::ofstream>(path, std::ios::out | std::ios::app | std::ios::binary)) {
  if (*file_)
    out_ = file_.get();
  else
    file_.reset();
}

VexTrace::VexTrace(VexTrace &&other) noexcept
    : file_(std::move(other.file_)), out_(std::exchange(other.out_, nullptr)) {}

VexTrace &VexTrace::operator=(VexTrace &&other) noexcept {
  file_ = std::move(other.file_);
  out_ = std::exchange(other.out_, nullptr);
  return *this;
}

VexTrace::~VexTrace() = default;

VexTrace VexTrace::fromEnvironment() {
  const char *path = std::getenv(environmentName);
  return path != nullptr && *path != '\0' ? VexTrace(std::string(path)) : VexTrace();
}

VexTrace::Line::~Line() {
  // Every line reaches the file at once, so that a conversion that crashes
  // leaves its trace up to the entry it crashed on.
  text_ << '\n';
  out_ << text_.str();
  out_.flush();
}
