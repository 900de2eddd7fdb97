#include <memory>
#include <optional>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/FileStatusManager.h"
#include "core/NotificationService.h"
#include "delegates/LocalFolderDelegate.h"
#include "model/BackupRecord.h"
#include "model/MediaMetaData.h"
#include "model/json/BackupSerializer.h"
#include "model/json/MetadataSerializer.h"
#include "model/json/Serializer.h"
#include "model/loading/CompatibilityService.h"
#include "model/loading/MetadataLoader.h"
#include "model/loading/Migrations.h"
#include "platform/files/FileIOService.h"
#include "remote/RemoteIOService.h"
#include "remote/SingleFileTransferStateReporter.h"
#include "support/AwaitResult.h"
#include "support/BackgroundQueue.h"
#include "support/ErrorMatchers.h"
#include "support/FaultyDelegate.h"
#include "support/RecordingLogger.h"
#include "support/TempDir.h"

namespace tessellon {
namespace {

class RemoteDocumentsTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_TRUE(flushBackgroundQueue()); }

  TempDir space_;
  std::shared_ptr<FaultyDelegate> host_ =
      std::make_shared<FaultyDelegate>(std::make_shared<hosts::LocalFolderDelegate>(
          space_.file("remote"), 4096, std::nullopt, space_.file("downloads")));
  std::shared_ptr<RecordingLogger> logger_ = std::make_shared<RecordingLogger>();
  std::shared_ptr<FileIOService> files_ = std::make_shared<FileIOService>(space_.file("tmp"));
  std::shared_ptr<RemoteIOService> remote_ = std::make_shared<RemoteIOService>(
      host_, files_, logger_,
      std::make_shared<SingleFileTransferStateReporter>(
          std::make_shared<FileStatusManager>(std::make_shared<NotificationService>(nullptr))));
  MetadataLoader loader_{
      remote_, files_,
      std::make_shared<Serializer>(std::make_shared<BackupSerializer>([] { return "this-mac"; }),
                                   std::make_shared<MetadataSerializer>())};
};

// Reading documents that are fine is covered by the backup and restore suites.
TEST_F(RemoteDocumentsTest, UnreadableDocumentsAreCorruptButTransportFailuresPassUnchanged) {
  space_.write("remote/d/list.json", "[1, 2]");
  space_.write("remote/d/latin1.json", "{\"name\": \"caf\xE9\"}");
  EXPECT_THAT(awaitResult(loader_.getRemoteMetaData<MediaMetaData>("d/list.json", nullptr)),
              FailsWith(BackupSDKError::corruptMetaData));
  EXPECT_THAT(awaitResult(loader_.getRemoteMetaData<BackupRecord>("d/list.json", nullptr)),
              FailsWith(BackupSDKError::corruptMetaData));
  EXPECT_THAT(awaitResult(loader_.getRemoteMetaData<MediaMetaData>("d/latin1.json", nullptr)),
              FailsWith(BackupSDKError::fileIOFailedToReadFile));

  host_->answerDownloadWith(std::nullopt, BackupSDKError::delegateFileDoesNotExist);
  EXPECT_THAT(awaitResult(loader_.getRemoteMetaData<BackupRecord>("d/missing.json", nullptr)),
              FailsWith(BackupSDKError::delegateFileDoesNotExist));
}

// Which archives are deleted is covered with the backup listing; a failure must not stop it.
TEST_F(RemoteDocumentsTest, AFailedMigrationIsLoggedAndTheRunGoesOn) {
  host_->answerDeleteFileWith(false,
                              makeError(BackupSDKError::unknownError, "remote is read-only"));
  EXPECT_THAT(awaitResult(Migrations(remote_, logger_)
                              .deleteZipIfExistsOutsideOfBackupFolder({"gone.zip", 1}, nullptr)),
              SucceedsWith(Void{}));
  EXPECT_EQ(logger_->count(LogLevel::error, "Failed to delete .zip-File: " +
                                                describe(makeError(BackupSDKError::unknownError,
                                                                   "remote is read-only"))),
            1u);
}

// Found by the remote fuzzer: a listing cancelled while a host never answered this deletion
// waited for it until the request's time limit.
TEST_F(RemoteDocumentsTest, AMigrationWaitingForASilentHostEndsWithTheCancel) {
  host_->setDelivery(FaultyDelegate::Delivery::late);
  auto token = std::make_shared<CancelToken>();
  const auto deletion =
      Migrations(remote_, logger_).deleteZipIfExistsOutsideOfBackupFolder({"gone.zip", 1}, token);
  ASSERT_TRUE(host_->waitForHeld(1));
  ASSERT_TRUE(token->cancel().ok());
  EXPECT_THAT(awaitResult(deletion), IsCancelled());
  host_->setDelivery(FaultyDelegate::Delivery::asIs);
  host_->deliverHeld();
}

class FixedSystem final : public SystemInformationProtocol {
 public:
  explicit FixedSystem(OperatingSystemVersion version) : version_(version) {}
  OperatingSystemVersion operatingSystemVersion() const override { return version_; }

 private:
  OperatingSystemVersion version_;
};

TEST(CompatibilityServiceTest, FamilyAndSystemVersionDecide) {
  const Settings contacts(true, false, false, false);
  const Settings media(false, false, true, true);
  struct Case {
    OperatingSystemVersion system;
    DeviceFamily family;
    Settings settings;
    std::optional<BackupSDKError> error;  // nothing: accepted
  } cases[] = {
      {{10, 12, 0}, DeviceFamily::macos, contacts, std::nullopt},
      {{10, 12, 0}, DeviceFamily::android, media, std::nullopt},
      {{14, 0, 0}, DeviceFamily::windows, media, BackupSDKError::wrongOSError},
      {{10, 11, 6}, DeviceFamily::macos, media, std::nullopt},
      {{10, 11, 6}, DeviceFamily::macos, contacts, BackupSDKError::contactsVersionIncompatibility},
      {{10, 10, 0}, DeviceFamily::ios, media, BackupSDKError::wrongOSError},
      {{10, 10, 0}, DeviceFamily::android, contacts, BackupSDKError::wrongOSError},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.system.majorVersion) + "." +
                 std::to_string(c.system.minorVersion) + " family " +
                 std::to_string(static_cast<int>(c.family)));
    CompatibilityService service(std::make_shared<FixedSystem>(c.system));
    const auto result = service.checkCompatibility(c.family, c.settings);
    if (c.error) {
      EXPECT_THAT(result, FailsWith(*c.error));
    } else {
      EXPECT_THAT(result, SucceedsWith(Void{}));
    }
  }
}

}  // namespace
}  // namespace tessellon
