#include "backup/CleanupService.h"

#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/files/FileIOService.h"
#include "support/AwaitResult.h"
#include "support/BackgroundQueue.h"
#include "support/ErrorMatchers.h"
#include "support/FixedDeviceUID.h"
#include "support/LocalRemote.h"

namespace tessellon {
namespace {

namespace fs = std::filesystem;
using ::testing::UnorderedElementsAre;

std::shared_ptr<MediaMetaData> mediaOf(std::vector<std::pair<std::string, std::string>> items) {
  MediaMetaData::Items list;
  for (auto& [fingerprint, extension] : items) {
    list.push_back(std::make_shared<MediaItem>(extension, 1, fingerprint, Date{}, fingerprint,
                                               std::vector<std::string>{fingerprint}));
  }
  return std::make_shared<MediaMetaData>(std::move(list));
}

class CleanupServiceTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_TRUE(flushBackgroundQueue()); }

  std::vector<std::string> remoteFiles() const {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(space_.file("remote"))) {
      if (!entry.is_directory()) files.push_back(fs::relative(entry.path(), space_.file("remote")));
    }
    return files;
  }

  TempDir space_;
  std::shared_ptr<FaultyDelegate> host_ = folderHost(space_);
  CleanupService service_{
      remoteOver(host_, std::make_shared<FileIOService>(space_.file("tmp")), nullptr),
      std::make_shared<FixedDeviceUID>()};
};

TEST_F(CleanupServiceTest, KeepsExactlyWhatTheRecordReferences) {
  for (const char* file :
       {"MAC1/MAC1.zip", "MAC1/backup.json", "MAC1/contacts.json", "MAC1/calendars.json",
        "MAC1/images.json", "MAC1/videos.json", "MAC1/images/F1.jpg", "MAC1/images/F1.png",
        "MAC1/images/F2", "MAC1/images/stray.jpg", "MAC1/images/sub/x.jpg", "MAC1/videos/V1.mov",
        "OTHER/images/F9.jpg"}) {
    space_.write("remote/" + std::string(file), "x");
  }
  BackupRecord backup("MAC1");
  backup.contactsMetaData = std::make_shared<ItemsMetaData<Contact>>(0, 0);
  backup.imagesMetaData = mediaOf({{"F1", "jpg"}, {"F2", ""}});

  EXPECT_THAT(awaitResult(service_.cleanup(backup, nullptr)), SucceedsWith(Void{}));
  EXPECT_THAT(remoteFiles(),
              UnorderedElementsAre("MAC1/backup.json", "MAC1/contacts.json", "MAC1/images.json",
                                   "MAC1/images/F1.jpg", "MAC1/images/F2", "OTHER/images/F9.jpg"));
}

TEST_F(CleanupServiceTest, AFailedDeletionDoesNotStopTheNextButCancellationDoes) {
  space_.write("remote/MAC1/images/a", "x");
  space_.write("remote/MAC1/images/c", "x");
  host_->answerDirectoryInfoWith(
      Directory{{{"MAC1/images/a", 1}, {"MAC1/images/ghost", 1}, {"MAC1/images/c", 1}}},
      std::nullopt);
  BackupRecord backup("MAC1");
  backup.imagesMetaData = mediaOf({});
  backup.videosMetaData = mediaOf({});
  awaitResult(service_.cleanup(backup, nullptr));
  EXPECT_FALSE(fs::exists(space_.file("remote/MAC1/images/a")));
  EXPECT_FALSE(fs::exists(space_.file("remote/MAC1/images/c")));

  space_.write("remote/MAC1/images/a", "x");
  auto token = std::make_shared<CancelToken>();
  (void)token->cancel();
  EXPECT_THAT(awaitResult(service_.cleanup(backup, token)), IsCancelled());
  EXPECT_TRUE(fs::exists(space_.file("remote/MAC1/images/a")));
}

}  // namespace
}  // namespace tessellon
