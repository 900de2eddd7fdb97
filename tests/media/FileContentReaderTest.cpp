#include "platform/memorymap/FileContentReader.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "media/PythonDigests.h"
#include "media/fingerprints/HashUtils.h"
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
  void expectPosixError(const Error& error, int code) {
    EXPECT_EQ(error.domain, "NSPOSIXErrorDomain");
    EXPECT_EQ(error.code, code) << error.message;
  }

  TempDir scratch_;
  FileContentReader reader_;
};

TEST_F(FileContentReaderTest, StreamStopsAtTheEndOfTheFile) {
  const std::string content = randomBytes(3000, 1);
  auto opened = reader_.openStream(scratch_.write("a", content));
  ASSERT_TRUE(opened.ok());
  FileContentStream& stream = *opened.value();

  EXPECT_EQ(stream.skip(1000).value(), 1000);
  std::string buffer(1500, '\0');
  ASSERT_EQ(stream.read(reinterpret_cast<unsigned char*>(buffer.data()), 1500).value(), 1500u);
  EXPECT_EQ(buffer, content.substr(1000, 1500));
  EXPECT_EQ(stream.skip(1000).value(), 500);
  EXPECT_EQ(stream.read(reinterpret_cast<unsigned char*>(buffer.data()), 10).value(), 0u);
  EXPECT_EQ(stream.skip(10).value(), 0);
}

TEST_F(FileContentReaderTest, MappingCopiesRangesAndRefusesOthers) {
  const std::string content = randomBytes(10000, 2);
  auto mapped = reader_.mapFile(scratch_.write("a", content));
  ASSERT_TRUE(mapped.ok());
  const MappedContent& file = *mapped.value();
  EXPECT_EQ(file.size(), 10000);

  std::string buffer(100, '\0');
  auto* destination = reinterpret_cast<unsigned char*>(buffer.data());
  ASSERT_TRUE(file.copy(9900, 100, destination).ok());
  EXPECT_EQ(buffer, content.substr(9900));
  expectPosixError(file.copy(9901, 100, destination).error(), EINVAL);
  expectPosixError(file.copy(-1, 10, destination).error(), EINVAL);
}

TEST_F(FileContentReaderTest, FileTruncatedUnderTheMappingFailsInsteadOfCrashing) {
  const std::string content = randomBytes(1 << 20, 3);
  const std::string path = scratch_.write("a", content);
  auto mapped = reader_.mapFile(path);
  ASSERT_TRUE(mapped.ok());
  ASSERT_EQ(::truncate(path.c_str(), 4096), 0);

  std::string buffer(8192, '\0');
  auto* destination = reinterpret_cast<unsigned char*>(buffer.data());
  expectPosixError(mapped.value()->copy(500000, 8192, destination).error(), EIO);
  // What is left of the file still reads, and the guard does not stay armed.
  ASSERT_TRUE(mapped.value()->copy(0, 4096, destination).ok());
  EXPECT_EQ(buffer.substr(0, 4096), content.substr(0, 4096));
  expectPosixError(mapped.value()->copy(8192, 8192, destination).error(), EIO);
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
