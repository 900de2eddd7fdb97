#pragma once

#include <compare>
#include <optional>
#include <string>

namespace tessellon {

// A two-number format version ("1.2"), ordered by major then minor.
struct Version {
  int major = 0;
  int minor = 0;

  Version() = default;
  Version(int majorNumber, int minorNumber) : major(majorNumber), minor(minorNumber) {}

  // Parses "<major>.<minor>", surrounding white space allowed; nothing otherwise.
  static std::optional<Version> parse(const std::string& text);

  // "1.2".
  std::string description() const;

  static Version one() { return Version(1, 0); }

  friend bool operator==(const Version&, const Version&) = default;
  friend std::strong_ordering operator<=>(const Version&, const Version&) = default;
};

}  // namespace tessellon
