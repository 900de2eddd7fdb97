#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace tessellon {

// Whether `text` is well-formed UTF-8 (no overlong forms, surrogates or code points past U+10FFFF).
// A name that is not cannot be put into a "file://" URL or a JSON document. Inline, so that the
// platform layer, which builds below the records, shares it.
inline bool isValidUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    // Documents are nearly all ASCII: eight bytes at a time while no high bit is set.
    while (i + 8 <= text.size()) {
      uint64_t block;
      std::memcpy(&block, text.data() + i, 8);
      if ((block & 0x8080808080808080ULL) != 0) break;
      i += 8;
    }
    if (i == text.size()) break;
    const auto lead = static_cast<uint8_t>(text[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    size_t length = 0;
    uint32_t codePoint = 0;
    if ((lead & 0xE0) == 0xC0) {
      length = 2;
      codePoint = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
      codePoint = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
      codePoint = lead & 0x07;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<uint8_t>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      codePoint = (codePoint << 6) | (next & 0x3F);
    }
    static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (codePoint < kSmallest[length] || codePoint > 0x10FFFF) return false;
    if (codePoint >= 0xD800 && codePoint <= 0xDFFF) return false;
    i += length;
  }
  return true;
}

}  // namespace tessellon
