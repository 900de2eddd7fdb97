#pragma once

#include <string>

namespace tessellon {

// A failure as the host receives it. Hosts match on domain and code; the
// message is for logs and may change.
struct Error {
  std::string domain;
  int code = 0;
  std::string message;
};

// "domain code: message", for log lines.
std::string describe(const Error& error);

}  // namespace tessellon
