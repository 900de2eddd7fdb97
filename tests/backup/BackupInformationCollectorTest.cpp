#include "backup/BackupInformationCollector.h"

#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "model/loading/Migrations.h"
#include "platform/files/FileIOService.h"
#include "support/AwaitResult.h"
#include "support/BackgroundQueue.h"
#include "support/ErrorMatchers.h"
#include "support/LocalRemote.h"

namespace tessellon {
namespace {

using Backups = std::vector<std::shared_ptr<BackupRecord>>;

class BackupInformationCollectorTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_TRUE(flushBackgroundQueue()); }

  void storeBackup(const std::string& device, const std::string& name) {
    BackupRecord record(device);
    record.name = name;
    record.startDate = Date(std::chrono::milliseconds(1000));
    space_.write("remote/" + device + "/backup.json", serializer_->serialize(record).value());
  }
  std::optional<FutureResult<Backups>> list() {
    return awaitResult(collector_.getAllBackups(token_));
  }

  TempDir space_;
  std::shared_ptr<FaultyDelegate> host_ = folderHost(space_);
  std::shared_ptr<FileIOService> files_ = std::make_shared<FileIOService>(space_.file("tmp"));
  std::shared_ptr<RemoteIOService> remote_ = remoteOver(host_, files_, nullptr);
  std::shared_ptr<Serializer> serializer_ = serializerFor("this-mac");
  BackupInformationCollector collector_{remote_, files_, serializer_,
                                        std::make_shared<Migrations>(remote_, nullptr)};
  std::shared_ptr<CancelToken> token_ = std::make_shared<CancelToken>();
};

TEST_F(BackupInformationCollectorTest, ListsReadableRecordsAndRemovesStrayArchives) {
  storeBackup("A-MAC", "first");
  space_.write("remote/B-MAC/backup.json", "this is not JSON");
  space_.write("remote/C-MAC/images.json", "{}");  // a folder without a record
  storeBackup("D-MAC", "second");
  space_.write("remote/left-over.zip", "PK");
  space_.write("remote/notes.txt", "x");

  auto backups = list();
  ASSERT_THAT(backups, SucceedsWith(::testing::SizeIs(2)));
  EXPECT_EQ(backups->successValue()[0]->deviceID, "A-MAC");
  EXPECT_EQ(backups->successValue()[0]->name, "first");
  EXPECT_EQ(backups->successValue()[1]->deviceID, "D-MAC");
  EXPECT_FALSE(std::filesystem::exists(space_.file("remote/left-over.zip")));
  EXPECT_TRUE(std::filesystem::exists(space_.file("remote/notes.txt")));
  EXPECT_EQ(host_->calls("deleteFile"), 1);
  // One download per record, three attempts at the missing one.
  EXPECT_EQ(host_->calls("downloadFile"), 1 + 1 + 3 + 1);
}

TEST_F(BackupInformationCollectorTest, ACancelledListingIsEmpty) {
  storeBackup("A-MAC", "first");
  ASSERT_TRUE(token_->cancel().ok());
  EXPECT_THAT(list(), SucceedsWith(::testing::IsEmpty()));
  EXPECT_EQ(host_->calls("downloadFile"), 0);
}

}  // namespace
}  // namespace tessellon
