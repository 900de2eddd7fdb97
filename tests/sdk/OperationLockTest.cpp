// Backups and restores through the facade hold their device folder on the remote.

#include <filesystem>
#include <map>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "model/json/DeviceLockJson.h"
#include "sdk/FacadeHome.h"
#include "support/ErrorMatchers.h"

namespace tessellon {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

class OperationLockTest : public FacadeHomeTest {
 protected:
  OperationLockTest() {
    tree_.add("Pictures/a.jpg", randomContent(3000, 1));
    tree_.add("Pictures/b.jpg", randomContent(4000, 2));
    tree_.folder("Movies");
  }

  static BackupSettings images() {
    return BackupSettings("laptop", false, false, false, true, false);
  }
  static Settings restoredImages() { return Settings(false, false, false, true); }
  // This machine's device folder, named by a preview (which takes no lock and writes nothing).
  std::string lockFile() {
    if (uid_.empty()) {
      const auto previewed = preview(images());
      EXPECT_TRUE(previewed.value);
      if (previewed.value) uid_ = previewed.value->deviceID;
    }
    return remote_.file(uid_ + "/lock.json");
  }
  bool locked() { return fs::exists(lockFile()); }
  void plant(std::chrono::minutes age) {
    const Date now = currentDate();
    remote_.write(lockFile(), lockJson({"elsewhere", 4242, now - age, now - age}));
  }
  std::map<std::string, std::string> remoteFiles() const {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(remote_.path())) {
      if (entry.is_regular_file())
        files[entry.path().string()] = remote_.read(entry.path().string());
    }
    return files;
  }

  std::string uid_;
};

TEST_F(OperationLockTest, AFreshLockRefusesBackupsAndRestoresAndLeavesTheRemoteAlone) {
  ASSERT_FALSE(backup(images()).error);
  const auto stored = onlyBackup();
  ASSERT_TRUE(stored);
  plant(std::chrono::minutes(1));
  const auto before = remoteFiles();

  const auto previewed = preview(images());  // reads only: no lock needed
  ASSERT_TRUE(previewed.value);
  for (const std::optional<Error>& refusal : {backup(images()).error, backup(previewed.value).error,
                                              restore(stored, restoredImages()).error}) {
    EXPECT_THAT(refusal, HasCode(BackupSDKError::backupLocked));
    EXPECT_THAT(refusal->message, HasSubstr("the backup folder " + stored->deviceID +
                                            " is in use by elsewhere (process 4242) since "));
  }
  EXPECT_EQ(remoteFiles(), before);
}

TEST_F(OperationLockTest, EveryEndingLetsTheFolderGo) {
  ASSERT_FALSE(backup(images()).error);
  // A run the full remote ends (with 319, or as cancelled when the stop wins the race).
  tree_.add("Pictures/c.jpg", randomContent(5000, 3));
  host_->failUpload(1, FaultyDelegate::insufficientStorage());
  const auto full = backup(images());
  EXPECT_FALSE(full.value);
  if (full.error) {
    EXPECT_THAT(full.error, HasCode(BackupSDKError::mediaNotEnoughRemoteStorage));
  }
  EXPECT_FALSE(locked());

  // Cancelled runs: the cancel reaches them before or while they take the folder.
  const auto cancel = [this] { sdk().cancel([] {}); };
  EXPECT_TRUE(backup(images(), cancel).cancelled());
  EXPECT_FALSE(locked());
  const auto stored = onlyBackup();
  ASSERT_TRUE(stored);
  EXPECT_TRUE(restore(stored, restoredImages(), cancel).cancelled());
  EXPECT_FALSE(locked());

  EXPECT_TRUE(restore(stored, restoredImages()).value);
  EXPECT_FALSE(locked());
}

}  // namespace
}  // namespace tessellon
