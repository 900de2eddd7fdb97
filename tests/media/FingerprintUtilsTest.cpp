#include "media/fingerprints/FingerprintUtils.h"

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace tessellon {
namespace {

const std::string kDigits = "900150983cd24fb0d6963f7d28e17f72";

TEST(FingerprintUtilsTest, GetVersionReadsThePrefix) {
  const struct {
    std::string fingerprint;
    Version expected;
  } cases[] = {
      {"1.1_" + kDigits, Version(1, 1)},
      {"1.2_" + kDigits, Version(1, 2)},
      {kDigits, Version(1, 0)},
      {"1.3_" + kDigits, Version(1, 0)},
      {"d41d8cd98f00b204e9800998ecf8427e", Version(1, 0)},
      {"x1.1_" + kDigits, Version(1, 0)},  // the prefix counts only at the start
      {"1.1", Version(1, 0)},
      {"", Version(1, 0)},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.fingerprint);
    EXPECT_EQ(FingerprintUtils::getVersion(row.fingerprint), row.expected);
  }
}

TEST(FingerprintUtilsTest, PrefixOfAScheme) {
  const struct {
    Version scheme;
    std::string expected;
  } cases[] = {
      {Version(1, 0), ""}, {Version(1, 1), "1.1_"}, {Version(1, 2), "1.2_"},
      {Version(2, 0), ""}, {Version(2, 1), ""},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.scheme.description());
    EXPECT_EQ(fingerprintPrefix(row.scheme), row.expected);
  }
}

TEST(FingerprintUtilsTest, HighestVersionPicksTheGreatestSchemeAndTheEarliestOnTies) {
  const std::string v10a = kDigits;
  const std::string v10b = "0cc175b9c0f1b6a831c399e269772661";
  const std::string v11a = "1.1_" + v10a;
  const std::string v11b = "1.1_" + v10b;
  const std::string v12 = "1.2_" + v10a;
  const struct {
    std::vector<std::string> fingerprints;
    std::optional<std::string> expected;
  } cases[] = {
      {{}, std::nullopt},
      {{v10a}, v10a},
      {{v10a, v10b}, v10a},
      {{v10a, v11a, v11b}, v11a},
      {{v11b, v12, v10a, v11a}, v12},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE("case " + std::to_string(i));
    EXPECT_EQ(FingerprintUtils::highestVersion(cases[i].fingerprints), cases[i].expected);
  }
}

}  // namespace
}  // namespace tessellon
