#pragma once
// VexError: the exception of the command-line, model and XML libraries.
#include <string>
#include <utility>

// Exception of the platform libraries (command line, definition model, XML
// helpers). The driver reports "Error: " + getErrorMessage() and exits 1.
class VexError {
public:
  explicit VexError(std::string message) : message_(std::move(message)) {}
  virtual ~VexError() = default;
  virtual std::string getErrorMessage() const { return message_; }

private:
  std::string message_;
};
