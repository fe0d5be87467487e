// Result of a reader step: success, or a reason with its context.
//
// Parsers return a Status instead of throwing; the reader interface turns a
// failed one into a failed load (the book's error message) or into a sheet's
// error message. The text names the part and what was wrong there, for
// example "xl/worksheets/sheet1.xml: offset 1234: expected '>'".
#pragma once

#include <string>
#include <utility>

namespace reader {

class Status {
 public:
  Status() = default;
  static Status Ok() { return Status(); }
  static Status Error(std::string message) { return Status(std::move(message)); }

  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  const std::string& message() const { return message_; }

  // Puts the part or place in front of the reason: "context: reason".
  Status& Prefix(const std::string& context) {
    if (failed_) message_ = context + ": " + message_;
    return *this;
  }

 private:
  explicit Status(std::string message) : failed_(true), message_(std::move(message)) {
    if (message_.empty()) message_ = "unknown error";
  }
  bool failed_ = false;
  std::string message_;
};

}  // namespace reader

// Returns the status from the enclosing function when it failed.
#define READER_RETURN_IF_ERROR(expr)             \
  do {                                           \
    ::reader::Status status_ = (expr);           \
    if (!status_.ok()) return status_;           \
  } while (0)
