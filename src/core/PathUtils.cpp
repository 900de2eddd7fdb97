#include "core/PathUtils.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>

namespace tessellon {
namespace {

std::string_view trim(std::string_view text, std::string_view characters) {
  const std::size_t first = text.find_first_not_of(characters);
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(characters);
  return text.substr(first, last - first + 1);
}

std::vector<std::string_view> components(std::string_view path) {
  std::vector<std::string_view> result;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t slash = std::min(path.find('/', start), path.size());
    if (slash > start) result.push_back(path.substr(start, slash - start));
    start = slash + 1;
  }
  return result;
}

std::string randomUuid() {
  thread_local std::mt19937_64 generator{std::random_device{}()};
  const std::uint64_t high = generator();
  std::uint64_t low = generator();
  std::uint8_t bytes[16];
  for (int i = 0; i < 8; ++i) {
    bytes[i] = static_cast<std::uint8_t>(high >> (56 - 8 * i));
    bytes[8 + i] = static_cast<std::uint8_t>(low >> (56 - 8 * i));
  }
  bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0f) | 0x40);  // version 4
  bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3f) | 0x80);  // RFC 4122 variant
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text.push_back('-');
    text.push_back(kDigits[bytes[i] >> 4]);
    text.push_back(kDigits[bytes[i] & 0x0f]);
  }
  return text;
}

}  // namespace

std::string PathUtils::combinePath(const std::vector<std::string>& parts) {
  std::string path;
  if (!parts.empty() && parts.front().starts_with('/')) path.push_back('/');
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) path.push_back('/');
    path.append(trim(parts[i], "/"));
  }
  return path;
}

std::optional<std::string> PathUtils::getFileName(std::string_view path) {
  const std::string_view trimmed = trim(path, " \t\n\r\v\f");
  if (trimmed.empty()) return std::nullopt;
  const std::size_t slash = trimmed.rfind('/');
  return std::string(slash == std::string_view::npos ? trimmed : trimmed.substr(slash + 1));
}

std::string PathUtils::getFileExtension(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot + 1));
}

std::string PathUtils::withoutExtension(std::string_view name) {
  return std::string(name.substr(0, name.rfind('.')));
}

std::optional<std::string> PathUtils::getSubPath(std::string_view path,
                                                 std::string_view parentPath) {
  if (!path.starts_with(parentPath)) return std::nullopt;
  const std::string_view rest = path.substr(parentPath.size());
  if (rest.starts_with('/') || (parentPath.ends_with('/') && !rest.empty())) {
    return std::string(rest);
  }
  return std::nullopt;
}

bool PathUtils::containsSubPath(std::string_view path, std::string_view subPath) {
  const std::vector<std::string_view> haystack = components(path);
  const std::vector<std::string_view> needle = components(subPath);
  if (needle.empty() || needle.size() > haystack.size()) return false;
  for (std::size_t start = 0; start + needle.size() <= haystack.size(); ++start) {
    const auto from = haystack.begin() + static_cast<std::ptrdiff_t>(start);
    if (std::equal(needle.begin(), needle.end(), from)) return true;
  }
  return false;
}

std::string PathUtils::createTempFileName(std::string_view temporaryDirectory) {
  std::string path(temporaryDirectory);
  if (!path.ends_with('/')) path.push_back('/');
  return path + randomUuid();
}

std::string PathUtils::lastComponent(std::string_view path) {
  const auto slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::optional<std::string> PathUtils::getParentDirectory(std::string_view path) {
  const std::size_t end = path.find_last_not_of('/');
  if (end == std::string_view::npos) return std::nullopt;
  const std::size_t slash = path.rfind('/', end);
  if (slash == std::string_view::npos) return std::nullopt;
  return std::string(path.substr(0, slash));
}

}  // namespace tessellon
