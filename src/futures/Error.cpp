#include "tessellon/Error.h"

namespace tessellon {

std::string describe(const Error& error) {
  std::string text = error.domain + " " + std::to_string(error.code);
  if (!error.message.empty()) text += ": " + error.message;
  return text;
}

}  // namespace tessellon
