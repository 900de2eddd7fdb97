#include "media/discovery/Utf8.h"

#include <cstdint>

namespace tessellon {

std::string escapedForLog(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string escaped;
  escaped.reserve(text.size());
  for (const char character : text) {
    const auto byte = static_cast<uint8_t>(character);
    if (byte >= 0x20 && byte < 0x7F) {
      escaped.push_back(character);
    } else {
      escaped += "\\x";
      escaped.push_back(kHex[byte >> 4]);
      escaped.push_back(kHex[byte & 0x0F]);
    }
  }
  return escaped;
}

}  // namespace tessellon
