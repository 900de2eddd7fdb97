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
#include "model/json/JsonError.h"
#include "model/json/SerializationError.h"

namespace tessellon {

// Runs a test in a given time zone ("UTC", "Europe/Berlin") and puts the
// previous one back afterwards; dates are written in local time.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    if (const char* previous = getenv("TZ")) previous_ = previous;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ScopedTimeZone() {
    if (previous_) {
      setenv("TZ", previous_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  std::optional<std::string> previous_;
};

// An instant given as milliseconds since 1970 (UTC).
inline Date dateAt(int64_t milliseconds) { return Date(std::chrono::milliseconds(milliseconds)); }

namespace detail {
inline ::testing::AssertionResult hasError(const Error& error, std::string_view domain, int code) {
  if (error.domain == domain && error.code == code) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "failed with " << describe(error) << ", expected " << domain << " " << code;
}
}  // namespace detail

// EXPECT_TRUE(failsWith(result, JsonError::missingProperty)): the result is an
// error of exactly this case.
template <class T, class Code>
::testing::AssertionResult failsWith(const Result<T>& result, Code code) {
  if (result.ok()) return ::testing::AssertionFailure() << "succeeded";
  const Error& error = result.error();
  if constexpr (std::is_same_v<Code, JsonError>) {
    return detail::hasError(error, kJsonErrorDomain, static_cast<int>(code));
  } else if constexpr (std::is_same_v<Code, SerializationError>) {
    return detail::hasError(error, kSerializationErrorDomain, static_cast<int>(code));
  } else {
    return detail::hasError(error, kBackupSDKErrorDomain, static_cast<int>(code));
  }
}

// The text of a file under tests/data/.
inline std::string readTestData(const std::string& name) {
  std::ifstream file(std::string(TESSELLON_TEST_DATA_DIR) + "/" + name, std::ios::binary);
  EXPECT_TRUE(file.good()) << "missing test data " << name;
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

// True when golden documents should be rewritten from what the code writes
// (TESSELLON_UPDATE_GOLDEN=1) instead of compared.
inline bool updatingGoldenFiles() {
  const char* flag = getenv("TESSELLON_UPDATE_GOLDEN");
  return flag != nullptr && std::string(flag) == "1";
}

inline void writeTestData(const std::string& name, const std::string& content) {
  std::ofstream(std::string(TESSELLON_TEST_DATA_DIR) + "/" + name, std::ios::binary) << content;
}

}  // namespace tessellon
