#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "futures/FuturesError.h"
#include "sdk/HostError.h"
#include "sdk/IoCError.h"
#include "tessellon/BackupSDKError.h"
#include "tessellon/LoggerProtocol.h"

namespace tessellon {
namespace {

TEST(ErrorCodesTest, EveryDefinedCodeRoundTripsAndNoOtherCodeHasACase) {
  int defined = 0;
  for (int code = -1; code <= 1000; ++code) {
    SCOPED_TRACE(code);
    std::optional<BackupSDKError> error = backupSDKErrorFromRawValue(code);
    if (!error) continue;
    ++defined;
    EXPECT_EQ(static_cast<int>(*error), code);
    EXPECT_NE(caseName(*error), "unknown");
  }
  EXPECT_EQ(defined, 51);
  EXPECT_FALSE(backupSDKErrorFromRawValue(6));
  EXPECT_FALSE(backupSDKErrorFromRawValue(7));
  EXPECT_EQ(backupSDKErrorFromRawValue(8), BackupSDKError::delegateDeleteFileFailed);
}

TEST(ErrorCodesTest, HostConversion) {
  struct Row {
    Error in;
    std::string domain;
    int code;
  };
  const Row rows[] = {
      {makeError(BackupSDKError::mediaNotEnoughRemoteStorage), "BackupSDKError", 319},
      {makeError(BackupSDKError::unknownError), "BackupSDKError", 0},
      {Error{"JsonError", 2, "missing key"}, "BackupSDKError", 0},
      {Error{"SerializationError", 1, "type"}, "BackupSDKError", 0},
      {makeNothingRegisteredForType("XProtocol"), "BackupSDKError", 0},
      {makeError(FuturesError::genericError, "Future was canceled."), "BackupSDKError", 0},
      // Errors of the platform and of the host arrive unchanged.
      {Error{"NSPOSIXErrorDomain", 28, "No space left on device"}, "NSPOSIXErrorDomain", 28},
      {Error{"HostDomain", 507, "full"}, "HostDomain", 507},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(describe(row.in));
    Error out = asNSError(row.in);
    EXPECT_EQ(out.domain, row.domain);
    EXPECT_EQ(out.code, row.code);
  }
}

TEST(ErrorCodesTest, LogLevelsAreSingleBits) {
  EXPECT_EQ(logLevelFromRawValue(4), LogLevel::info);
  EXPECT_EQ(logLevelFromRawValue(16), LogLevel::error);
  for (int raw : {0, 3, 5, 32, -1}) {
    SCOPED_TRACE(raw);
    EXPECT_FALSE(logLevelFromRawValue(raw));
  }
}

TEST(ErrorCodesTest, CancellationIsRecognisedOnlyInThePlatformDomains) {
  EXPECT_TRUE(testForCancellation(Error{"NSURLErrorDomain", -999, ""}));
  EXPECT_TRUE(testForCancellation(Error{"NSURLErrorDomain", -1012, ""}));
  EXPECT_TRUE(testForCancellation(Error{"NSCocoaErrorDomain", 3072, ""}));
  EXPECT_FALSE(testForCancellation(Error{"NSURLErrorDomain", -1001, ""}));
  EXPECT_FALSE(testForCancellation(makeError(BackupSDKError::mediaFailedCauseOfCancel)));
  EXPECT_FALSE(testForCancellation(Error{"BackupSDKError", -999, ""}));
}

}  // namespace
}  // namespace tessellon
