#include "backup/ZipServiceDecorator.h"

#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/ZipReadBack.h"
#include "platform/files/FileIOService.h"
#include "platform/zip/ZipService.h"
#include "support/ErrorMatchers.h"
#include "support/FaultyFileIOService.h"
#include "support/TempDir.h"

namespace tessellon {
namespace {

namespace fs = std::filesystem;

class ZipServiceDecoratorTest : public ::testing::Test {
 protected:
  ZipServiceDecoratorTest() { fs::create_directories(dir_.file("tmp")); }

  TempDir dir_;
  std::shared_ptr<FaultyFileIOService> files_ =
      std::make_shared<FaultyFileIOService>(std::make_shared<FileIOService>(dir_.file("tmp")));
  ZipServiceDecorator decorator_{files_, std::make_shared<ZipService>()};
  const std::string archive_ = dir_.file("tmp/uid.zip");
  const std::string photo_ = dir_.write("photo.jpg", std::string(50000, 'p'));
  const std::string document_ = dir_.write("backup.json", "{}");
};

TEST_F(ZipServiceDecoratorTest, OnlyADiskWithNoByteLeftStopsTheArchive) {
  struct Case {
    const char* name;
    std::optional<int64_t> freeBytes;
    bool close;
    bool diskFull;
    bool media = false;  // appendMedia, which answers the checksum
  } cases[] = {
      {"unknown free space", std::nullopt, false, false},
      {"one byte left", 1, false, false},
      {"no byte left", 0, false, true},
      {"no byte left after the last entry", 0, true, true},
      {"one byte left after the last entry", 1, true, false},
      {"one byte left after a media entry", 1, false, false, true},
      {"no byte left after a media entry", 0, false, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto zip = decorator_.generateZip(archive_);
    ASSERT_TRUE(decorator_.append(zip, document_, "images.json", false).ok());
    files_->reportFreeSpace(c.freeBytes);
    Result<void> appended;
    if (c.media) {
      const Result<std::string> checksum =
          decorator_.appendMedia(zip, photo_, "images/1.1_a.jpg", 50000, std::nullopt);
      if (checksum.ok()) {
        EXPECT_EQ(checksum.value(), files_->contentChecksum(photo_).value());
      } else {
        appended = checksum.error();
      }
    } else {
      appended = decorator_.append(zip, photo_, "images/1.1_a.jpg", c.close);
    }
    if (!c.diskFull) {
      EXPECT_TRUE(appended.ok()) << appended.error().message;
      if (!c.close) {
        ASSERT_TRUE(decorator_.append(zip, document_, "backup.json", true).ok());
      }
      EXPECT_EQ(ziptest::unzipTest(archive_).exitCode, 0);
      continue;
    }
    EXPECT_THAT(appended.error(), HasCode(BackupSDKError::zipFailedNotEnoughDiskSpace));
    EXPECT_TRUE(fs::is_empty(dir_.file("tmp"))) << "an archive was left on the full disk";
    files_->reportFreeSpace(1);
    EXPECT_THAT(decorator_.append(zip, document_, "backup.json", true).error(),
                HasCode(BackupSDKError::zipAppendFailed));
    EXPECT_TRUE(fs::is_empty(dir_.file("tmp")));
  }
}

}  // namespace
}  // namespace tessellon
