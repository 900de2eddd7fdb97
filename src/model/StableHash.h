#pragma once

#include <cstdint>
#include <string_view>

namespace tessellon {

// 64-bit FNV-1a of the bytes of `text`. Keys that are written down or compared across runs (the
// fingerprint cache's item identity, the duplicate collection's keys) use this and never std::hash,
// whose values may change between builds and processes: a changed key would make every unchanged
// file look new and be read again.
constexpr std::uint64_t stableHash(std::string_view text) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (const char character : text) {
    hash ^= static_cast<std::uint8_t>(character);
    hash *= 0x100000001b3ULL;
  }
  return hash;
}

}  // namespace tessellon
