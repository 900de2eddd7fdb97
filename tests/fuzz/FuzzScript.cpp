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
    const std::string_view part = input.substr(
        start, marker == std::string_view::npos ? std::string_view::npos : marker - start);
    const size_t newline = part.find('\n');
    ServedFile file;
    file.path = std::string(part.substr(0, newline));
    if (newline != std::string_view::npos) file.content = std::string(part.substr(newline + 1));
    served_.push_back(std::move(file));
  }
}

uint8_t FuzzScript::byte(uint8_t fallback) {
  std::lock_guard lock(mutex_);
  if (position_ >= script_.size()) return fallback;
  return static_cast<uint8_t>(script_[position_++]);
}

std::string FuzzScript::bytes(size_t count) {
  std::lock_guard lock(mutex_);
  const size_t available = position_ >= script_.size() ? 0 : script_.size() - position_;
  std::string out = script_.substr(position_, std::min(count, available));
  position_ += out.size();
  return out;
}

std::string FuzzScript::counted(int lengthBytes) {
  std::lock_guard lock(mutex_);
  size_t length = 0;
  for (int index = 0; index < lengthBytes && position_ < script_.size(); ++index) {
    length |= static_cast<size_t>(static_cast<uint8_t>(script_[position_++])) << (8 * index);
  }
  const size_t available = script_.size() - position_;
  std::string out = script_.substr(position_, std::min(length, available));
  position_ += out.size();
  return out;
}

}  // namespace tessellon::fuzz
