#include "platform/memorymap/FileContentReader.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "media/fingerprints/HashUtils.h"
#include "support/MediaTree.h"
#include "support/TempDir.h"

namespace tessellon {
namespace {

// Bytes this process has read through read(2) and its kin so far.
std::int64_t bytesReadByProcess() {
  std::ifstream io("/proc/self/io");
  for (std::string key; io >> key;) {
    std::int64_t value = 0;
    io >> value;
    if (key == "rchar:") return value;
  }
  return -1;
}

class FileContentReaderTest : public ::testing::Test {
 protected:
  static void expectPosixError(const Error& error, int code) {
    EXPECT_EQ(error.domain, "NSPOSIXErrorDomain");
    EXPECT_EQ(error.code, code) << error.message;
  }
  unsigned char* destination() { return reinterpret_cast<unsigned char*>(buffer_.data()); }

  TempDir scratch_;
  FileContentReader reader_;
  std::string buffer_ = std::string(8192, '\0');
};

TEST_F(FileContentReaderTest, MappingCopiesRangesAndRefusesOthers) {
  const std::string content = randomContent(10000, 2);
  auto mapped = reader_.mapFile(scratch_.write("a", content));
  ASSERT_TRUE(mapped.ok());
  const MappedContent& file = *mapped.value();
  EXPECT_EQ(file.size(), 10000);
  ASSERT_TRUE(file.copy(9900, 100, destination()).ok());
  EXPECT_EQ(buffer_.substr(0, 100), content.substr(9900));
  expectPosixError(file.copy(9901, 100, destination()).error(), EINVAL);
  expectPosixError(file.copy(-1, 10, destination()).error(), EINVAL);
}

TEST_F(FileContentReaderTest, FailuresCarryTheErrno) {
  const std::string missing = scratch_.file("missing");
  expectPosixError(reader_.fileSize(missing).error(), ENOENT);
  expectPosixError(reader_.openStream(missing).error(), ENOENT);
  expectPosixError(reader_.mapFile(missing).error(), ENOENT);
  expectPosixError(reader_.mapFile(scratch_.path()).error(), EINVAL);
}

TEST_F(FileContentReaderTest, StreamFingerprintOfAHugeFileReadsOnlyTheSampleWindows) {
  const std::string path = scratch_.file("huge.mov");
  const int descriptor = ::open(path.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(descriptor, 0);
  ASSERT_EQ(::ftruncate(descriptor, std::int64_t{1} << 30), 0);  // sparse: costs no disk
  ::close(descriptor);

  const std::int64_t before = bytesReadByProcess();
  ASSERT_GE(before, 0) << "no /proc/self/io";
  ASSERT_TRUE(HashUtils::getHashUsingStream(reader_, path, {1, 1}).ok());
  // Reading /proc/self/io counts too: a hundred bytes or so.
  const std::int64_t read = bytesReadByProcess() - before;
  EXPECT_GE(read, 3 * 8192);
  EXPECT_LE(read, 3 * 8192 + 1024);
}

}  // namespace
}  // namespace tessellon
