#include "platform/zip/ZipService.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tessellon/BackupSDKError.h"

#include "platform/SmallVolume.h"
#include "platform/ZipReadBack.h"
#include "platform/files/ContentChecksum.h"
#include "support/ErrorMatchers.h"
#include "support/MediaTree.h"
#include "support/TempDir.h"

namespace tessellon {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

std::string checksumOf(const std::string& content) {
  ContentChecksum checksum;
  checksum.update(content.data(), content.size());
  return checksum.finish();
}

class ZipServiceTest : public ::testing::Test {
 protected:
  // A source file with `bytes` as content; returns its path.
  std::string source(const std::string& name, const std::string& bytes) {
    return dir_.write("src/" + name, bytes);
  }
  Result<void> append(const std::shared_ptr<Zip>& zip, const std::string& srcPath,
                      const std::string& entry, bool close = false) {
    return service_.append(zip, srcPath, entry, close);
  }
  std::vector<std::string> namesIn(const std::string& relative) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_.file(relative))) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  // The entries of a finished archive, checked by libarchive and by unzip -t.
  std::vector<ziptest::Entry> readBack(const std::string& path) {
    const auto tested = ziptest::unzipTest(path);
    EXPECT_EQ(tested.exitCode, 0) << tested.output;
    std::string problem;
    auto entries = ziptest::readEntries(path, /*withContent=*/true, &problem);
    EXPECT_TRUE(entries.has_value()) << problem;
    return entries.value_or(std::vector<ziptest::Entry>{});
  }
  static std::vector<std::string> names(const std::vector<ziptest::Entry>& entries) {
    std::vector<std::string> result;
    for (const auto& entry : entries) result.push_back(entry.name);
    return result;
  }

  TempDir dir_;
  ZipService service_;
  const std::string archive_ = dir_.file("tmp/uid.zip");
  const bool folderMade_ = fs::create_directories(dir_.file("tmp"));
};

// Archive content also crosses the backup and restore suites, though only in small files.
TEST_F(ZipServiceTest, EntriesPastTheFirstChunkComeBackInAppendOrder) {
  const std::string photo = source("photo.jpg", std::string(3 << 20, '\x7f') + "end");
  const std::string empty = source("empty.mov", "");
  std::string document = "{\"items\": [";
  while (document.size() < (3u << 20))
    document += "{\"id\": \"" + std::to_string(document.size()) + "\"},";
  document += "{}]}";
  auto zip = service_.generateZip(archive_);
  ASSERT_TRUE(append(zip, photo, "images/Grüße.jpg").ok());
  ASSERT_TRUE(append(zip, empty, "videos/1.1_def.mov").ok());
  EXPECT_THAT(service_.appendContent(zip, "x", "../images.json", false).error(),
              HasCode(BackupSDKError::zipAppendFailed));
  ASSERT_TRUE(service_.appendContent(zip, document, "images.json", false).ok());
  ASSERT_TRUE(service_.appendContent(zip, "", "videos.json", true).ok());

  const auto entries = readBack(archive_);
  EXPECT_THAT(names(entries),
              ElementsAre("images/Grüße.jpg", "videos/1.1_def.mov", "images.json", "videos.json"));
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].content, dir_.read("src/photo.jpg"));
  EXPECT_EQ(entries[1].content, "");
  EXPECT_EQ(entries[2].content, document);
  EXPECT_EQ(entries[3].content, "");
  EXPECT_THAT(namesIn("tmp"), ElementsAre("uid.zip"));
  // Media are stored as they are; documents are deflated.
  EXPECT_THAT(ziptest::methods(archive_).at("images/Grüße.jpg"), StartsWith("stor"));
  EXPECT_THAT(ziptest::methods(archive_).at("images.json"), StartsWith("def"));
}

TEST_F(ZipServiceTest, ThePathShowsOnlyAFinishedArchiveAndEachArchiveStartsEmpty) {
  const std::string old = source("old.jpg", "old");
  const std::string fresh = source("fresh.json", "{}");
  auto first = service_.generateZip(archive_);
  ASSERT_TRUE(append(first, old, "images/old.jpg", true).ok());
  ASSERT_THAT(names(readBack(archive_)), ElementsAre("images/old.jpg"));

  auto second = service_.generateZip(archive_);
  EXPECT_FALSE(fs::exists(archive_)) << "an archive of an earlier run is still there";
  ASSERT_TRUE(append(second, fresh, "images.json").ok());
  EXPECT_FALSE(fs::exists(archive_));
  ASSERT_TRUE(append(second, fresh, "backup.json", true).ok());

  // A finished archive takes no more entries; the older handle must not take the newer archive.
  EXPECT_THAT(append(second, fresh, "late.json").error(), HasCode(BackupSDKError::zipAppendFailed));
  EXPECT_THAT(append(nullptr, fresh, "a.jpg").error(), HasCode(BackupSDKError::zipAppendFailed));
  service_.discard(first);
  EXPECT_THAT(names(readBack(archive_)), ElementsAre("images.json", "backup.json"));
}

TEST_F(ZipServiceTest, AFailedAppendBeforeWritingLeavesTheArchiveOpen) {
  const std::string good = source("good.jpg", "good");
  fs::create_directories(dir_.file("src/folder"));
  ASSERT_EQ(::mkfifo(dir_.file("src/pipe.jpg").c_str(), 0600), 0);
  struct Case {
    const char* name;
    std::string srcPath;
    std::string entry;
  } cases[] = {
      {"missing source", dir_.file("src/missing.jpg"), "images/missing.jpg"},
      {"source is a folder", dir_.file("src/folder"), "images/folder.jpg"},
      {"source is a FIFO without writer", dir_.file("src/pipe.jpg"), "images/pipe.jpg"},
      {"absolute entry name", good, "/etc/evil.jpg"},
      {"parent component", good, "images/../../evil.jpg"},
      {"empty component", good, "images//a.jpg"},
  };
  auto zip = service_.generateZip(archive_);
  ASSERT_TRUE(append(zip, good, "images/first.jpg").ok());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_THAT(append(zip, c.srcPath, c.entry).error(), HasCode(BackupSDKError::zipAppendFailed));
    EXPECT_THAT(append(zip, c.srcPath, c.entry, /*close=*/true).error(),
                HasCode(BackupSDKError::zipAppendFailed));
  }
  ASSERT_TRUE(append(zip, good, "backup.json", true).ok());
  const auto entries = readBack(archive_);
  EXPECT_THAT(names(entries), ElementsAre("images/first.jpg", "backup.json"));
}

// The record keeps the scanned size: a file that changed since must fail alone, before its
// header makes the archive promise bytes.
TEST_F(ZipServiceTest, AMediaFileOfAnotherSizeThanScannedFailsBeforeAnythingIsWritten) {
  const std::string good = source("good.jpg", "good");
  const struct {
    const char* name;
    std::string content;
  } cases[] = {{"truncated", std::string(50, 's')}, {"extended", std::string(150, 'g')}};
  auto zip = service_.generateZip(archive_);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string changed = source(std::string(c.name) + ".jpg", c.content);
    const Result<std::string> appended = service_.appendMedia(
        zip, changed, "images/" + std::string(c.name) + ".jpg", 100, std::nullopt);
    EXPECT_THAT(appended.error(), HasCode(BackupSDKError::zipAppendFailed));
    EXPECT_THAT(appended.error().message, HasSubstr("changed since it was scanned"));
  }
  ASSERT_TRUE(service_.appendMedia(zip, good, "images/good.jpg", 4, std::nullopt).ok());
  ASSERT_TRUE(service_.appendContent(zip, "{}", "backup.json", true).ok());
  EXPECT_THAT(names(readBack(archive_)), ElementsAre("images/good.jpg", "backup.json"));
}

// Kernel files give deterministic sources that change under the reader: a sysfs file claims a
// page and holds a few bytes (it shrinks), a procfs file claims nothing and holds text (it grows).
// Their entries must not reach the remote, where their names would replace good files.
TEST_F(ZipServiceTest, ASourceThatShrinksOrGrowsWhilePackedFailsAloneAndIsLeftOut) {
  const std::string shrinking = "/sys/devices/system/cpu/online";
  const std::string growing = "/proc/self/status";
  struct stat status {};
  if (::stat(shrinking.c_str(), &status) != 0 || status.st_size != 4096 ||
      ::stat(growing.c_str(), &status) != 0 || status.st_size != 0) {
    GTEST_SKIP() << "needs sysfs and procfs";
  }
  // The good files span several read chunks; their checksums are those of the bytes stored.
  const std::string before = source("before.jpg", randomContent((2 << 20) + 7, 2));
  const std::string after = source("after.jpg", randomContent((1 << 20) + 3, 3));
  auto zip = service_.generateZip(archive_);
  const Result<std::string> beforeSum =
      service_.appendMedia(zip, before, "images/before.jpg", (2 << 20) + 7, std::nullopt);
  const Result<void> shrunk = append(zip, shrinking, "images/shrunk.jpg");
  EXPECT_THAT(shrunk.error(), HasCode(BackupSDKError::zipAppendFailed));
  EXPECT_THAT(shrunk.error().message, HasSubstr("shrank while being added"));
  const Result<std::string> grown =
      service_.appendMedia(zip, growing, "images/grown.jpg", 0, std::nullopt);
  EXPECT_THAT(grown.error(), HasCode(BackupSDKError::zipAppendFailed));
  EXPECT_THAT(grown.error().message, HasSubstr("grew while being added"));
  const Result<std::string> afterSum =
      service_.appendMedia(zip, after, "images/after.jpg", (1 << 20) + 3, std::nullopt);
  ASSERT_TRUE(service_.appendContent(zip, "{\"items\": []}", "images.json", true).ok());

  const auto entries = readBack(archive_);
  ASSERT_THAT(names(entries), ElementsAre("images/before.jpg", "images/after.jpg", "images.json"));
  EXPECT_EQ(entries[0].content, dir_.read("src/before.jpg"));
  EXPECT_EQ(beforeSum.value(), checksumOf(entries[0].content));
  EXPECT_EQ(entries[1].content, dir_.read("src/after.jpg"));
  EXPECT_EQ(afterSum.value(), checksumOf(entries[1].content));
  EXPECT_EQ(entries[2].content, "{\"items\": []}");
  EXPECT_THAT(namesIn("tmp"), ElementsAre("uid.zip"));
}

// A write in place keeps the size; its new modification time gives it away. The writer runs
// beside every attempt, so at least one of them sees it.
TEST_F(ZipServiceTest, ASourceWrittenToWhilePackedFailsAndIsLeftOut) {
  constexpr int64_t kBytes = int64_t{4} << 20;
  const std::string busy = source("busy.mov", randomContent(kBytes, 4));
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int64_t second = 1; !stop; ++second) {
      const struct timespec times[2] = {{0, UTIME_OMIT}, {second, 0}};
      ::utimensat(AT_FDCWD, busy.c_str(), times, 0);
    }
  });
  auto zip = service_.generateZip(archive_);
  std::vector<std::string> stored;
  int failed = 0;
  for (int attempt = 0; attempt < 16; ++attempt) {
    const std::string entry = "videos/" + std::to_string(attempt) + ".mov";
    const Result<std::string> packed = service_.appendMedia(zip, busy, entry, kBytes, std::nullopt);
    if (packed.ok()) {
      stored.push_back(entry);
      continue;
    }
    EXPECT_THAT(packed.error().message, HasSubstr("written to while being added"));
    ++failed;
  }
  stop = true;
  writer.join();
  ASSERT_TRUE(service_.appendContent(zip, "{}", "videos.json", true).ok());

  EXPECT_GT(failed, 0);
  stored.push_back("videos.json");
  EXPECT_EQ(names(readBack(archive_)), stored);
}

TEST_F(ZipServiceTest, AnAbandonedArchiveLeavesNoFileBehind) {
  const std::string file = source("a.jpg", std::string(100000, 'a'));
  auto dropped = service_.generateZip(archive_);
  ASSERT_TRUE(append(dropped, file, "images/a.jpg").ok());
  dropped.reset();
  EXPECT_THAT(namesIn("tmp"), IsEmpty());

  auto discarded = service_.generateZip(archive_);
  ASSERT_TRUE(append(discarded, file, "images/a.jpg").ok());
  service_.discard(discarded);
  EXPECT_THAT(namesIn("tmp"), IsEmpty());
  EXPECT_THAT(append(discarded, file, "backup.json", true).error(),
              HasCode(BackupSDKError::zipAppendFailed));
  EXPECT_THAT(namesIn("tmp"), IsEmpty());

  auto finished = service_.generateZip(archive_);
  ASSERT_TRUE(append(finished, file, "backup.json", true).ok());
  service_.discard(finished);
  EXPECT_THAT(namesIn("tmp"), IsEmpty());
}

TEST_F(ZipServiceTest, AnArchiveThatCannotBeCreatedFailsEveryAppend) {
  const std::string file = source("a.jpg", "a");
  fs::create_directories(dir_.file("tmp/taken.zip/inside"));
  for (const std::string& path : {dir_.file("missing/uid.zip"), dir_.file("tmp/taken.zip")}) {
    SCOPED_TRACE(path);
    auto zip = service_.generateZip(path);
    ASSERT_NE(zip, nullptr);
    EXPECT_THAT(append(zip, file, "images/a.jpg").error(),
                HasCode(BackupSDKError::zipAppendFailed));
    EXPECT_THAT(append(zip, file, "backup.json", true).error(),
                HasCode(BackupSDKError::zipAppendFailed));
  }
  EXPECT_FALSE(fs::exists(dir_.file("missing")));
  EXPECT_THAT(namesIn("tmp"), ElementsAre("taken.zip"));
}

// More entries than the classic end record can count: only ZIP64 records hold 70,000.
TEST_F(ZipServiceTest, SeventyThousandEntriesNeedAndGetZip64Records) {
  constexpr int kEntries = 70'000;
  const std::string tiny = source("tiny.jpg", "t");
  auto zip = service_.generateZip(archive_);
  for (int i = 0; i < kEntries; ++i) {
    const auto appended = append(zip, tiny, "images/" + std::to_string(i) + ".jpg");
    ASSERT_TRUE(appended.ok()) << i << ": " << appended.error().message;
  }
  ASSERT_TRUE(append(zip, tiny, "backup.json", true).ok());

  const auto tested = ziptest::unzipTest(archive_);
  EXPECT_EQ(tested.exitCode, 0) << tested.output.substr(0, 2000);
  std::string problem;
  const auto entries = ziptest::readEntries(archive_, /*withContent=*/false, &problem);
  ASSERT_TRUE(entries.has_value()) << problem;
  ASSERT_EQ(entries->size(), kEntries + 1u);
  EXPECT_EQ(entries->at(0).name, "images/0.jpg");
  EXPECT_EQ(entries->at(kEntries - 1).name, "images/69999.jpg");
  EXPECT_EQ(entries->back().name, "backup.json");
}

TEST(ZipServiceVolumeTest, AFullDiskFailsWith602AndLeavesNoArchive) {
  TempDir dir;
  SmallVolume volume(dir.file("volume"), 512 * 1024);
  if (!volume.mounted()) GTEST_SKIP() << "needs the right to mount a tmpfs";
  ZipService service;
  const std::string small = dir.write("small.jpg", std::string(1000, 's'));
  const std::string big = dir.write("big.mov", std::string(2 << 20, 'b'));
  const std::string path = dir.file("volume/uid.zip");

  auto zip = service.generateZip(path);
  ASSERT_TRUE(service.append(zip, small, "images/small.jpg", false).ok());
  EXPECT_THAT(service.append(zip, big, "videos/big.mov", false).error(),
              HasCode(BackupSDKError::zipFailedNotEnoughDiskSpace));
  EXPECT_TRUE(fs::is_empty(volume.path()));
  // The archive is gone for good; the run stops on the first 602 anyway.
  EXPECT_THAT(service.append(zip, small, "backup.json", true).error(),
              HasCode(BackupSDKError::zipFailedNotEnoughDiskSpace));
  EXPECT_TRUE(fs::is_empty(volume.path()));
}

}  // namespace
}  // namespace tessellon
