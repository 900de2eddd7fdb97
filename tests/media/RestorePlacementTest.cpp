#include <unistd.h>
#include <filesystem>

#include "media/MediaTestFixture.h"
#include "media/placement/RestoreMediaItemHelper.h"
#include "media/placement/SolveNameConflictOnRestoreStrategy.h"
#include "model/BackupRecord.h"

namespace tessellon {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr int64_t kItemDateMs = 1500000000123;

// Restored files placed by the real helper and repositories over a temporary home.
class RestorePlacementTest : public MediaTestBase {
 protected:
  RestorePlacementTest() { services(); }

  std::string pictures(const std::string& relative = "") const {
    return temp_.path() + "/home/Pictures" + (relative.empty() ? "" : "/" + relative);
  }
  // A downloaded file as the remote port leaves it: private, in our temporary folder.
  std::string download(const std::string& content) {
    const std::string path = temp_.write("tmp/downloads/" + std::to_string(++downloads_), content);
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    return path;
  }
  static MediaItem item(const std::string& content, std::vector<std::string> paths) {
    const std::string id = paths.front();
    return MediaItem("jpg", static_cast<int64_t>(content.size()), id,
                     Date(std::chrono::milliseconds(kItemDateMs)), wholeContentFingerprint(content),
                     std::move(paths));
  }
  std::vector<std::string> restore(const MediaItem& restored, const std::string& source) {
    return services_.restoreHelper->restoreMediaItems(
        restored, BackupRecord(std::string()).deviceName.value_or(""), pictures(), source, true);
  }

  const std::string content_ = randomContent(3000, 7);
  int downloads_ = 0;
};

TEST_F(RestorePlacementTest, NameConflictsAreNumberedBesideTheTakenName) {
  tree_.add("Pictures/photo.jpg", "a");
  tree_.add("Pictures/photo 1.jpg", "b");
  tree_.add("Pictures/README", "c");
  tree_.add("Pictures/.profile", "d");
  tree_.link("Pictures/gone.jpg", "/nowhere/at/all");
  const struct {
    std::string path;
    std::string expected;
  } rows[] = {
      {pictures("free.jpg"), pictures("free.jpg")},
      {pictures("photo.jpg"), pictures("photo 2.jpg")},
      {pictures("README"), pictures("README 1")},
      {pictures(".profile"), pictures(".profile 1")},
      {pictures("gone.jpg"), pictures("gone 1.jpg")},  // a dangling link still takes its name
      {"", ""},
  };
  SolveNameConflictOnRestoreStrategy strategy(services_.files);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path);
    EXPECT_EQ(strategy.transformToNonConflictingPath(row.path), row.expected);
  }
}

TEST_F(RestorePlacementTest, APathLeavingTheMediaFolderIsNotWritten) {
  EXPECT_THAT(restore(item(content_, {"../../escape.jpg", "ok.jpg"}), download(content_)),
              ElementsAre("../../escape.jpg"));
  EXPECT_FALSE(fs::exists(temp_.path() + "/escape.jpg"));
  EXPECT_TRUE(fs::exists(pictures("ok.jpg")));
}

// The picture folder holds "locked", which cannot be written.
class LockedFolderRestoreTest : public RestorePlacementTest {
 protected:
  void SetUp() override {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    tree_.folder("Pictures/locked");
    fs::permissions(pictures("locked"), fs::perms::owner_read | fs::perms::owner_exec);
  }
  void TearDown() override {
    std::error_code ignored;  // absent when skipped
    fs::permissions(pictures("locked"), fs::perms::owner_all, ignored);
  }
};

TEST_F(LockedFolderRestoreTest, AnUnwritableFolderFailsOnlyItsPath) {
  EXPECT_THAT(restore(item(content_, {"ok/a.jpg", "locked/a.jpg"}), download(content_)),
              ElementsAre("locked/a.jpg"));
  EXPECT_EQ(temp_.read("home/Pictures/ok/a.jpg"), content_);
}

// With no path written the item fails with its category's code.
TEST_F(LockedFolderRestoreTest, AnItemThatFitsNowhereFails) {
  EXPECT_THAT(awaitResult(services_.images->addItemAtRestore(item(content_, {"locked/a.jpg"}),
                                                             download(content_))),
              FailsWith(BackupSDKError::mediaFailedToAddImage));
}

TEST_F(RestorePlacementTest, ALocalCopyFillsTheMissingPathsOnly) {
  tree_.add("Pictures/a.jpg", content_);
  ASSERT_TRUE(awaitResult(services_.caching->refreshMediaItemCache(
      Settings(false, false, false, true), std::make_shared<CancelToken>(), {Version(1, 1)})));
  const MediaItem restored = item(content_, {"a.jpg", "copy/a.jpg"});

  auto result = awaitResult(services_.images->ensureItemExistsInAllItemPathsOnRestore(restored));

  ASSERT_TRUE(result && result->isSuccess());
  EXPECT_THAT(result->successValue(), IsEmpty());
  EXPECT_EQ(temp_.read("home/Pictures/copy/a.jpg"), content_);
  EXPECT_FALSE(fs::exists(pictures("a 1.jpg")));
  EXPECT_TRUE(fs::exists(pictures("a.jpg")));

  // Once every copy is gone, the item has to come from the remote side.
  fs::remove(pictures("a.jpg"));
  fs::remove(pictures("copy/a.jpg"));
  auto gone = awaitResult(services_.images->ensureItemExistsInAllItemPathsOnRestore(restored));
  ASSERT_TRUE(gone);
  EXPECT_THAT(*gone, FailsWith(BackupSDKError::mediaFailedToAddImage));
}

}  // namespace
}  // namespace tessellon
