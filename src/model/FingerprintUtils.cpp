#include "model/FingerprintUtils.h"

#include "model/Constants.h"

namespace tessellon {

const std::vector<std::pair<std::string, Version>>& FingerprintUtils::mapping() {
  static const std::vector<std::pair<std::string, Version>> prefixes{
      {"1.1_", Constants::hashVersion()},
      {"1.2_", Constants::backupVersion()},
  };
  return prefixes;
}

Version FingerprintUtils::getVersion(std::string_view fingerprint) {
  for (const auto& [prefix, version] : mapping()) {
    if (fingerprint.starts_with(prefix)) return version;
  }
  return Version::one();
}

std::optional<std::string> FingerprintUtils::highestVersion(
    const std::vector<std::string>& fingerprints) {
  std::optional<std::string> highest;
  Version highestScheme;
  for (const std::string& fingerprint : fingerprints) {
    const Version scheme = getVersion(fingerprint);
    if (!highest || scheme > highestScheme) {
      highest = fingerprint;
      highestScheme = scheme;
    }
  }
  return highest;
}

std::string fingerprintPrefix(const Version& version) {
  for (const auto& [prefix, mapped] : FingerprintUtils::mapping()) {
    if (mapped == version) return prefix;
  }
  return {};
}

}  // namespace tessellon
