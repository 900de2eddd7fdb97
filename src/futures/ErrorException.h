#pragma once

#include <exception>
#include <string>
#include <utility>

#include "tessellon/Error.h"

namespace tessellon {

// Carries an Error through a throw. Thrown only by tryValue()/throwIfFail()
// and inside continuation blocks; the futures library turns it back into a
// failed future.
class ErrorException : public std::exception {
 public:
  explicit ErrorException(Error error) : error_(std::move(error)), what_(describe(error_)) {}
  const Error& error() const noexcept { return error_; }
  const char* what() const noexcept override { return what_.c_str(); }

 private:
  Error error_;
  std::string what_;
};

}  // namespace tessellon
