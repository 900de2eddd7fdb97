#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tessellon/Version.h"

namespace tessellon {

// Which fingerprint scheme a stored fingerprint belongs to. Fingerprints of scheme 1.0 and of empty
// content carry no prefix, so a text without a known prefix is read as scheme 1.0. Thread-safe.
class FingerprintUtils {
 public:
  // Prefix to scheme, in lookup order.
  static const std::vector<std::pair<std::string, Version>>& mapping();

  // The scheme of `fingerprint`: that of the first prefix it starts with, 1.0 when none.
  static Version getVersion(std::string_view fingerprint);

  // The fingerprint of the greatest scheme, the earliest one on ties; nothing for an empty list.
  static std::optional<std::string> highestVersion(const std::vector<std::string>& fingerprints);
};

// The prefix that new fingerprints of scheme `version` start with; empty for a scheme without one
// (1.0, and any the mapping does not know).
std::string fingerprintPrefix(const Version& version);

}  // namespace tessellon
