#include "fuzz/FuzzScript.h"

#include <algorithm>

namespace tessellon::fuzz {

FuzzScript::FuzzScript(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t marker = input.find(kFileMarker);
  script_ = std::string(input.substr(0, marker));
  while (marker != std::string_view::npos) {
    const size_t start = marker + kFileMarker.size();
    marker = input.find(kFileMarker, start);
    const std::string_view part = input.substr(start, marker == std::string_view::npos
                                                          ? std::string_view::npos
                                                          : marker - start);
    const size_t newline = part.find('\n');
    ServedFile file;
    file.path = std::string(part.substr(0, newline));
    if (newline != std::string_view::npos) file.content = std::string(part.substr(newline + 1));
    served_.push_back(std::move(file));
  }
}

uint8_t FuzzScript::byte(uint8_t fallback) {
  if (exhausted()) return fallback;
  return static_cast<uint8_t>(script_[position_++]);
}

std::string FuzzScript::bytes(size_t count) {
  const size_t available = exhausted() ? 0 : script_.size() - position_;
  std::string out = script_.substr(position_, std::min(count, available));
  position_ += out.size();
  return out;
}

}  // namespace tessellon::fuzz
