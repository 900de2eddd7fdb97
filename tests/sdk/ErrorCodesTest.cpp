#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tessellon/BackupSDKError.h"

#include "core/HostError.h"
#include "core/IoCError.h"
#include "futures/FuturesError.h"

namespace tessellon {
namespace {

TEST(ErrorCodesTest, EveryDefinedCodeRoundTripsAndNoOtherCodeHasACase) {
  int defined = 0;
  for (int code = -1; code <= 1000; ++code) {
    SCOPED_TRACE(code);
    const std::optional<BackupSDKError> error = backupSDKErrorFromRawValue(code);
    if (!error) continue;
    ++defined;
    EXPECT_EQ(static_cast<int>(*error), code);
    EXPECT_NE(caseName(*error), "unknown");
  }
  EXPECT_EQ(defined, 52);
  EXPECT_FALSE(backupSDKErrorFromRawValue(6));
  EXPECT_FALSE(backupSDKErrorFromRawValue(7));
  EXPECT_EQ(backupSDKErrorFromRawValue(8), BackupSDKError::delegateDeleteFileFailed);
}

TEST(ErrorCodesTest, HostConversion) {
  const struct {
    Error in;
    std::string domain;
    int code;
  } rows[] = {
      {makeError(BackupSDKError::mediaNotEnoughRemoteStorage), "BackupSDKError", 319},
      {Error{"JsonError", 2, "missing key"}, "BackupSDKError", 0},
      {Error{"SerializationError", 1, "type"}, "BackupSDKError", 0},
      {makeNothingRegisteredForType("XProtocol"), "BackupSDKError", 0},
      {makeError(FuturesError::genericError, "Future was canceled."), "BackupSDKError", 0},
      // Errors of the platform and of the host arrive unchanged.
      {Error{"NSPOSIXErrorDomain", 28, "No space left on device"}, "NSPOSIXErrorDomain", 28},
      {Error{"HostDomain", 507, "full"}, "HostDomain", 507},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(describe(row.in));
    const Error out = asNSError(row.in);
    EXPECT_EQ(out.domain, row.domain);
    EXPECT_EQ(out.code, row.code);
  }
}

}  // namespace
}  // namespace tessellon
