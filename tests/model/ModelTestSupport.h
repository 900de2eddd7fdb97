#pragma once

#include <stdlib.h>
#include <time.h>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "tessellon/BackupSDKError.h"
#include "tessellon/Date.h"

#include "futures/Result.h"
#include "model/json/Json.h"
#include "model/json/JsonError.h"
#include "model/json/SerializationError.h"

namespace tessellon {

// Runs a test in a time zone ("UTC", "Europe/Berlin"); dates are written in local time.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    if (const char* previous = getenv("TZ")) previous_ = previous;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ScopedTimeZone() {
    previous_ ? setenv("TZ", previous_->c_str(), 1) : unsetenv("TZ");
    tzset();
  }
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  std::optional<std::string> previous_;
};

inline Date dateAt(int64_t millisecondsSince1970) {
  return Date(std::chrono::milliseconds(millisecondsSince1970));
}

inline std::string_view domainOf(JsonError) { return kJsonErrorDomain; }
inline std::string_view domainOf(SerializationError) { return kSerializationErrorDomain; }
inline std::string_view domainOf(BackupSDKError) { return kBackupSDKErrorDomain; }

// EXPECT_TRUE(failsWith(result, JsonError::missingProperty)): an error of exactly this case.
template <class T, class Code>
::testing::AssertionResult failsWith(const Result<T>& result, Code code) {
  if (result.ok()) return ::testing::AssertionFailure() << "succeeded";
  const Error& error = result.error();
  if (error.domain == domainOf(code) && error.code == static_cast<int>(code)) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "failed with " << describe(error) << ", expected "
                                       << domainOf(code) << " " << static_cast<int>(code);
}

inline std::string readTestData(const std::string& name) {
  std::ifstream file(std::string(TESSELLON_TEST_DATA_DIR) + "/" + name, std::ios::binary);
  EXPECT_TRUE(file.good()) << "missing test data " << name;
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

// Compares a written document with tests/data/`name`; TESSELLON_UPDATE_GOLDEN=1 rewrites it.
inline void expectGolden(const std::string& name, const Json& written) {
  const char* update = getenv("TESSELLON_UPDATE_GOLDEN");
  if (update != nullptr && std::string(update) == "1") {
    std::ofstream(std::string(TESSELLON_TEST_DATA_DIR) + "/" + name, std::ios::binary)
        << written.dump(2) << "\n";
  }
  EXPECT_EQ(written, Json::parse(readTestData(name)));
}

}  // namespace tessellon
