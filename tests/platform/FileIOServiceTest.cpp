#include "platform/files/FileIOService.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tessellon/BackupSDKError.h"

#include "platform/SmallVolume.h"
#include "support/ErrorMatchers.h"
#include "support/TempDir.h"

namespace tessellon {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// The errno a call failed with (0 on success), checking the domain.
template <class R>
int posixCode(const R& result) {
  if (result.ok()) return 0;
  EXPECT_EQ(result.error().domain, "NSPOSIXErrorDomain") << result.error().message;
  return result.error().code;
}

void setTimes(const std::string& path, time_t seconds, long nanoseconds, bool followLink = true) {
  const struct timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, followLink ? 0 : AT_SYMLINK_NOFOLLOW), 0)
      << path;
}

Date millis(int64_t count) { return Date(std::chrono::milliseconds(count)); }

class FileIOServiceTest : public ::testing::Test {
 protected:
  std::string file(const std::string& relative) const { return dir_.file(relative); }
  std::string write(const std::string& relative, const std::string& bytes) const {
    return dir_.write(relative, bytes);
  }
  std::string contentOf(const std::string& relative) const { return dir_.read(relative); }
  bool present(const std::string& relative) const {
    struct stat status {};
    return ::lstat(file(relative).c_str(), &status) == 0;
  }
  std::vector<std::string> namesIn(const std::string& relative) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(file(relative))) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  TempDir dir_;
  FileIOService service_{dir_.file("tmp")};
};

TEST_F(FileIOServiceTest, WriteReplacesContentOrFailsWith401LeavingNoTemporaryFile) {
  EXPECT_THAT(service_.write(file("docs/backup.json"), "first"),
              FailsWith(BackupSDKError::fileIOParentDirectoryNotFound));  // no parent folder
  fs::create_directory(file("docs"));
  EXPECT_THAT(service_.write(file("docs/backup.json"), "first"), SucceedsWith(Void{}));
  EXPECT_THAT(service_.write(file("docs/backup.json"), "second, longer"), SucceedsWith(Void{}));
  EXPECT_EQ(contentOf("docs/backup.json"), "second, longer");
  fs::create_directory(file("docs/folder"));
  EXPECT_THAT(service_.write(file("docs/folder/"), "x"),
              FailsWith(BackupSDKError::fileIOParentDirectoryNotFound));
  EXPECT_THAT(namesIn("docs"), ElementsAre("backup.json", "folder"));
  EXPECT_THAT(namesIn("docs/folder"), IsEmpty());
}

TEST_F(FileIOServiceTest, ReadReturnsUtf8TextOrFailsWith402) {
  const std::string plain = write("plain.json", "{\"a\": 1}");
  write("with space é.json", "Grüße \xF0\x9F\x8E\x89");
  write("empty.json", "");
  write("latin1.txt", "caf\xE9");  // the UTF-8 check has tests of its own
  fs::create_directory(file("folder"));
  fs::create_symlink(plain, file("link.json"));
  for (const std::string& path : {plain, "file://" + plain, "file://localhost" + plain}) {
    EXPECT_THAT(service_.read(path), SucceedsWith("{\"a\": 1}")) << path;
  }
  EXPECT_THAT(service_.read("file://" + file("with%20space%20%C3%A9.json")),
              SucceedsWith("Grüße \xF0\x9F\x8E\x89"));
  EXPECT_THAT(service_.read(file("empty.json")), SucceedsWith(""));
  for (const std::string& path :
       {file("missing.json"), file("folder"), "file://server" + plain, "file://" + file("with%2"),
        file("latin1.txt"), file("link.json")}) {
    EXPECT_THAT(service_.read(path), FailsWith(BackupSDKError::fileIOFailedToReadFile)) << path;
  }
}

TEST_F(FileIOServiceTest, MoveForcedReplacesTheTargetButNeverItself) {
  write("a.jpg", "content");
  setTimes(file("a.jpg"), 1'000'000'000, 0);
  for (const std::string& target : {file("a.jpg"), file("./a.jpg"), dir_.path() + "//a.jpg"}) {
    SCOPED_TRACE(target);
    EXPECT_THAT(service_.moveForced(file("a.jpg"), target), SucceedsWith(Void{}));
    EXPECT_EQ(contentOf("a.jpg"), "content");
  }
  EXPECT_EQ(service_.attributesOfItem(file("a.jpg")).value().modificationDate,
            millis(1'000'000'000'000));
  EXPECT_THAT(service_.moveForced(file("gone"), file("gone")), SucceedsWith(Void{}));

  write("old.json", "old");
  EXPECT_THAT(service_.moveForced(file("a.jpg"), file("old.json")), SucceedsWith(Void{}));
  EXPECT_EQ(contentOf("old.json"), "content");
  EXPECT_FALSE(present("a.jpg"));
  write("target/inner/file", "stale");
  EXPECT_THAT(service_.moveForced(file("old.json"), file("target")), SucceedsWith(Void{}));
  EXPECT_EQ(contentOf("target"), "content");
}

TEST_F(FileIOServiceTest, MoveForcedFailsWith403AndLosesNothing) {
  write("target", "keep me");
  write("tree/sub/file", "inside");
  const std::pair<const char*, const char*> cases[] = {{"missing", "target"},
                                                       {"tree", "tree/sub/moved"},
                                                       {"tree/sub", "tree"},
                                                       {"target", "nowhere/target"}};
  for (const auto& [source, target] : cases) {
    SCOPED_TRACE(std::string(source) + " -> " + target);
    EXPECT_THAT(service_.moveForced(file(source), file(target)),
                FailsWith(BackupSDKError::fileIOFailedToMoveFile));
    EXPECT_EQ(contentOf("target"), "keep me");
    EXPECT_EQ(contentOf("tree/sub/file"), "inside");
  }
}

TEST_F(FileIOServiceTest, DeleteRemovesFilesFoldersAndLinksButNotWhatLinksPointTo) {
  write("file", "x");
  write("folder/a/b", "x");
  write("kept/file", "x");
  fs::create_directory_symlink(file("kept"), file("link"));
  for (const char* name : {"file", "folder", "link"}) {
    SCOPED_TRACE(name);
    EXPECT_THAT(service_.deleteItem(file(name)), SucceedsWith(Void{}));
    EXPECT_FALSE(present(name));
  }
  EXPECT_EQ(contentOf("kept/file"), "x");
  EXPECT_THAT(service_.deleteItem(file("file")), FailsWith(BackupSDKError::fileIOFailedToDelete));
}

TEST_F(FileIOServiceTest, CreateDirectoryFailsWith405OrTheErrno) {
  write("file", "x");
  for (int i = 0; i < 2; ++i) {
    EXPECT_THAT(service_.createDirectory(file("a/b/c")), SucceedsWith(Void{}));
  }
  for (const char* path : {"file", "file/below"}) {
    EXPECT_THAT(service_.createDirectory(file(path)),
                FailsWith(BackupSDKError::fileIOFailedToCreateDirectory))
        << path;
  }
  EXPECT_EQ(posixCode(service_.createDirectory(file("two/three"), false)), ENOENT);
  EXPECT_EQ(posixCode(service_.createDirectory(file("a"), false)), EEXIST);
  EXPECT_EQ(posixCode(service_.createDirectory(file("a"), true)), 0);
}

TEST_F(FileIOServiceTest, FoldersInTheTemporaryFolderArePrivateAndLinksInItAreRefused) {
  auto modeOf = [&](const std::string& relative) {
    struct stat status {};
    EXPECT_EQ(::lstat(file(relative).c_str(), &status), 0) << relative;
    return status.st_mode & 07777;
  };
  EXPECT_THAT(service_.createDirectory(file("tmp/cache")), SucceedsWith(Void{}));
  EXPECT_EQ(modeOf("tmp"), 0700u);
  EXPECT_EQ(modeOf("tmp/cache"), 0700u);
  EXPECT_EQ(posixCode(service_.createDirectory(file("tmp/run/a"), true)), 0);
  EXPECT_EQ(modeOf("tmp/run/a"), 0700u);

  ::chmod(file("tmp").c_str(), 0755);  // loosened by someone: tightened again
  EXPECT_EQ(posixCode(service_.createDirectory(file("tmp/cache"), true)), 0);
  EXPECT_EQ(modeOf("tmp"), 0700u);

  fs::create_directory(file("elsewhere"));
  fs::create_directory_symlink(file("elsewhere"), file("tmp/planted"));
  EXPECT_EQ(posixCode(service_.createDirectory(file("tmp/planted/x"), true)), ENOTDIR);
  EXPECT_FALSE(fs::exists(file("elsewhere/x")));

  // Outside the temporary folder the user's umask decides.
  EXPECT_EQ(posixCode(service_.createDirectory(file("restored/a"), true)), 0);
  EXPECT_NE(modeOf("restored/a"), 0700u);
}

// A link or another user's folder at its name is refused through every operation of the facade
// (TemporaryFolderEndToEndTest); a folder of ours that others could have planted anything in is
// refused here.
TEST_F(FileIOServiceTest, AnOpenTemporaryFolderIsNeitherUsedNorWrittenInto) {
  fs::create_directory(file("tmp"));
  ::chmod(file("tmp").c_str(), 0777);
  EXPECT_EQ(posixCode(service_.createDirectory(file("tmp/cache"), true)), EPERM);
  EXPECT_THAT(service_.write(file("tmp/backup.json"), "{}"),
              FailsWith(BackupSDKError::fileIOParentDirectoryNotFound));
  EXPECT_TRUE(fs::is_empty(file("tmp")));
}

TEST_F(FileIOServiceTest, ADownloadFolderGoesWithItsFileAndOtherFoldersStay) {
  ASSERT_EQ(posixCode(service_.createDirectory(file("tmp"), true)), 0);
  write("tmp/download-01/backup.json", "a");
  write("tmp/download-02/photo.jpg", "b");
  write("tmp/download-03/images.json", "c");
  write("tmp/cache/hash_1", "d");
  write("tmp/nested/download-04/x", "e");

  EXPECT_THAT(service_.deleteItem(file("tmp/download-01/backup.json")), SucceedsWith(Void{}));
  EXPECT_EQ(posixCode(service_.moveItem(file("tmp/download-02/photo.jpg"), file("photo.jpg"))), 0);
  EXPECT_THAT(service_.moveForced(file("tmp/download-03/images.json"), file("images.json")),
              SucceedsWith(Void{}));
  EXPECT_THAT(service_.deleteItem(file("tmp/cache/hash_1")), SucceedsWith(Void{}));
  EXPECT_THAT(service_.deleteItem(file("tmp/nested/download-04/x")), SucceedsWith(Void{}));

  EXPECT_THAT(namesIn("tmp"), ElementsAre("cache", "nested"));
  EXPECT_THAT(namesIn("tmp/nested"), ElementsAre("download-04"));
  EXPECT_EQ(contentOf("photo.jpg"), "b");
}

TEST_F(FileIOServiceTest, SubpathsAreSortedInPreOrderAndDoNotEnterLinks) {
  write("root/b.jpg", "");
  write("root/a/z.jpg", "");
  write("root/a/deep/x.mov", "");
  write("elsewhere/secret", "");
  fs::create_directory_symlink(file("elsewhere"), file("root/link"));
  const auto expected = ElementsAre("a", "a/deep", "a/deep/x.mov", "a/z.jpg", "b.jpg", "link");
  EXPECT_THAT(service_.subpathsOfDirectory(file("root")).value(), expected);
  EXPECT_THAT(service_.subpathsOfDirectorySave(file("root")), expected);

  EXPECT_EQ(posixCode(service_.subpathsOfDirectory(file("missing"))), ENOENT);
  EXPECT_EQ(posixCode(service_.subpathsOfDirectory(file("root/b.jpg"))), ENOTDIR);
  EXPECT_THAT(service_.subpathsOfDirectorySave(file("missing")), IsEmpty());
}

TEST_F(FileIOServiceTest, AttributesDescribeTheItemItselfWithMillisecondDates) {
  using Type = FileAttributes::Type;
  write("photo.jpg", std::string(1234, 'x'));
  write("target.mov", std::string(99999, 'y'));
  fs::create_directory(file("folder"));
  fs::create_symlink(file("target.mov"), file("link"));
  setTimes(file("target.mov"), 1'500'000'000, 0);
  const struct {
    const char* relative;
    time_t seconds;
    long nanoseconds;
    Type type;
    int64_t size;  // -1: not checked
    int64_t expectedMillis;
  } cases[] = {
      {"photo.jpg", 1'700'000'000, 123'999'999, Type::regular, 1234, 1'700'000'000'123},
      {"folder", 1'600'000'000, 5'000'000, Type::directory, -1, 1'600'000'000'005},
      // The link itself, not its target.
      {"link", 1'400'000'000, 0, Type::symbolicLink,
       static_cast<int64_t>(file("target.mov").size()), 1'400'000'000'000},
      {"photo.jpg", -2, 500'400'000, Type::regular, 1234, -1'500},  // before 1970: rounded down
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.relative) + " " + std::to_string(c.seconds));
    setTimes(file(c.relative), c.seconds, c.nanoseconds, /*followLink=*/false);
    auto attributes = service_.attributesOfItem(file(c.relative));
    ASSERT_TRUE(attributes.ok()) << attributes.error().message;
    EXPECT_EQ(attributes.value().type, c.type);
    if (c.size >= 0) {
      EXPECT_EQ(attributes.value().size, c.size);
    }
    EXPECT_EQ(attributes.value().modificationDate, millis(c.expectedMillis));
  }
  EXPECT_EQ(posixCode(service_.attributesOfItem(file("missing"))), ENOENT);
}

TEST_F(FileIOServiceTest, SetAttributesSetsTheModificationDateAndIgnoresCreation) {
  const std::string path = write("restored.jpg", "x");
  for (int64_t date : {int64_t{1'234'567'890'123}, int64_t{-1'001}}) {
    ASSERT_EQ(posixCode(service_.setAttributes({millis(date), millis(1'000), std::nullopt}, path)),
              0);
    EXPECT_EQ(service_.attributesOfItem(path).value().modificationDate, millis(date));
  }
  EXPECT_EQ(posixCode(service_.setAttributes({std::nullopt, millis(5), std::nullopt}, path)), 0);
  EXPECT_EQ(service_.attributesOfItem(path).value().modificationDate, millis(-1'001));
  EXPECT_EQ(posixCode(service_.setAttributes({}, file("missing"))), ENOENT);
}

TEST_F(FileIOServiceTest, CopyItemKeepsContentModeAndDateAndNeverOverwrites) {
  write("photo.jpg", std::string(3 << 20, 'p'));  // more than one copy chunk
  ::chmod(file("photo.jpg").c_str(), 0640);
  setTimes(file("photo.jpg"), 1'300'000'000, 250'000'000);
  ASSERT_EQ(posixCode(service_.copyItem(file("photo.jpg"), file("copy.jpg"))), 0);
  EXPECT_EQ(contentOf("copy.jpg"), contentOf("photo.jpg"));
  EXPECT_EQ(fs::status(file("copy.jpg")).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(service_.attributesOfItem(file("copy.jpg")).value().modificationDate,
            millis(1'300'000'000'250));

  write("taken", "mine");
  EXPECT_EQ(posixCode(service_.copyItem(file("photo.jpg"), file("taken"))), EEXIST);
  EXPECT_EQ(contentOf("taken"), "mine");
  EXPECT_EQ(posixCode(service_.copyItem(file("missing"), file("new"))), ENOENT);
  EXPECT_EQ(posixCode(service_.copyItem(file("taken"), file("missing/new"))), ENOENT);
  EXPECT_FALSE(present("new"));
}

TEST_F(FileIOServiceTest, ACopyKilledMidwayLeavesNothingUnderItsName) {
  write("video.mp4", std::string(3 << 20, 'v'));
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The kernel kills the process at the write that passes a megabyte, inside the copy.
    const rlimit noCore{0, 0};
    const rlimit oneMegabyte{1 << 20, 1 << 20};
    ::setrlimit(RLIMIT_CORE, &noCore);
    ::setrlimit(RLIMIT_FSIZE, &oneMegabyte);
    (void)service_.copyItem(file("video.mp4"), file("copy.mp4"));
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGXFSZ);
  EXPECT_FALSE(present("copy.mp4"));

  ASSERT_EQ(posixCode(service_.copyItem(file("video.mp4"), file("copy.mp4"))), 0);
  EXPECT_EQ(contentOf("copy.mp4"), contentOf("video.mp4"));
}

TEST_F(FileIOServiceTest, ExistsFollowsLinks) {
  write("file", "x");
  fs::create_symlink(file("nothing"), file("dangling"));
  EXPECT_TRUE(service_.exists(file("file")));
  EXPECT_FALSE(service_.exists(file("dangling")));
  EXPECT_TRUE(service_.isReadableFile(file("file")));
  EXPECT_FALSE(service_.isReadableFile(file("missing")));
}

TEST_F(FileIOServiceTest, FreeSpaceNeedsNoTemporaryFolder) {
  ASSERT_FALSE(present("tmp"));
  EXPECT_GT(service_.getTotalRemainingFreeSpaceInBytes().value_or(0), 0);
}

// A real small volume: a full disk, and a second file system to move across.
class FileIOServiceVolumeTest : public FileIOServiceTest {
 protected:
  void SetUp() override {
    if (!volume_.mounted()) GTEST_SKIP() << "needs the right to mount a tmpfs";
  }
  SmallVolume volume_{dir_.file("volume"), 256 * 1024};
  FileIOService onVolume_{dir_.file("volume/tmp")};
};

TEST_F(FileIOServiceVolumeTest, FullDiskFailsWriteWith401AndKeepsTheOldFile) {
  ASSERT_THAT(service_.write(file("volume/backup.json"), "old"), SucceedsWith(Void{}));
  const auto before = onVolume_.getTotalRemainingFreeSpaceInBytes();
  ASSERT_TRUE(before.has_value());
  EXPECT_GT(*before, 0);
  EXPECT_LE(*before, 256 * 1024);

  ASSERT_TRUE(volume_.fill());
  EXPECT_EQ(onVolume_.getTotalRemainingFreeSpaceInBytes(), 0);
  EXPECT_THAT(service_.write(file("volume/backup.json"), std::string(64 * 1024, 'n')),
              FailsWith(BackupSDKError::fileIOParentDirectoryNotFound));
  EXPECT_EQ(contentOf("volume/backup.json"), "old");
  EXPECT_THAT(namesIn("volume"), ElementsAre("backup.json", "filler"));
}

TEST_F(FileIOServiceVolumeTest, MoveForcedCopiesAcrossVolumes) {
  write("download.tmp", std::string(100 * 1024, 'd'));
  write("album/a.jpg", "a");
  write("volume/old.jpg", "old");
  EXPECT_THAT(service_.moveForced(file("download.tmp"), file("volume/old.jpg")),
              SucceedsWith(Void{}));
  EXPECT_EQ(contentOf("volume/old.jpg"), std::string(100 * 1024, 'd'));
  EXPECT_FALSE(present("download.tmp"));
  EXPECT_THAT(service_.moveForced(file("album"), file("volume/album")), SucceedsWith(Void{}));
  EXPECT_EQ(contentOf("volume/album/a.jpg"), "a");
  EXPECT_FALSE(present("album"));

  // Too big for the volume: the source stays and nothing half-copied is left.
  write("huge", std::string(512 * 1024, 'h'));
  EXPECT_THAT(service_.moveForced(file("huge"), file("volume/huge")),
              FailsWith(BackupSDKError::fileIOFailedToMoveFile));
  EXPECT_EQ(fs::file_size(file("huge")), 512u * 1024);
  EXPECT_THAT(namesIn("volume"), ElementsAre("album", "old.jpg"));
}

}  // namespace
}  // namespace tessellon
