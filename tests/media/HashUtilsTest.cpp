#include "media/fingerprints/HashUtils.h"

#include <sys/stat.h>
#include <unistd.h>
#include <memory>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "media/PythonDigests.h"
#include "platform/memorymap/FileContentReader.h"
#include "support/ErrorMatchers.h"
#include "support/TempDir.h"

namespace tessellon {
namespace {

constexpr std::string_view kAbcDigest = "900150983cd24fb0d6963f7d28e17f72";

// Forwards to the real reader and truncates the file right after one chosen call, as a file that
// is being rewritten while we fingerprint it.
class ShrinkingReader final : public FileContentReaderProtocol {
 public:
  enum class After { fileSize, mapFile };
  ShrinkingReader(After after, off_t newSize) : after_(after), newSize_(newSize) {}

  Result<std::int64_t> fileSize(const std::string& path) override {
    auto size = real_.fileSize(path);
    if (after_ == After::fileSize) shrink(path);
    return size;
  }
  Result<std::unique_ptr<FileContentStream>> openStream(const std::string& path) override {
    return real_.openStream(path);
  }
  Result<std::unique_ptr<MappedContent>> mapFile(const std::string& path) override {
    auto mapped = real_.mapFile(path);
    if (after_ == After::mapFile) shrink(path);
    return mapped;
  }

 private:
  void shrink(const std::string& path) { ASSERT_EQ(::truncate(path.c_str(), newSize_), 0); }

  FileContentReader real_;
  const After after_;
  const off_t newSize_;
};

class HashUtilsTest : public ::testing::Test {
 protected:
  std::string write(const std::string& name, std::size_t length, std::uint32_t seed = 1) {
    return scratch_.write(name, randomBytes(length, seed));
  }

  void expectReadFailure(const Result<std::string>& result) {
    ASSERT_FALSE(result.ok()) << "fingerprint " << result.value();
    EXPECT_THAT(result.error(), HasCode(BackupSDKError::fileIOFailedToReadFile));
  }

  TempDir scratch_;
  FileContentReader reader_;
};

TEST_F(HashUtilsTest, FileFingerprintsAgreeWithPythonOverTheSampleWindows) {
  const std::vector<std::size_t> sizes{
      0, 1, 24576, 24577, 6291456, 6291457, 9437195};  // 6 MiB is scheme 1.0's whole limit
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    paths.push_back(write("file" + std::to_string(i), sizes[i], static_cast<std::uint32_t>(i)));
  }
  const std::vector<std::string> bigChunkDigests = pythonDigests(scratch_, paths, 2097152);
  const std::vector<std::string> smallChunkDigests = pythonDigests(scratch_, paths, 8192);

  const struct {
    Version scheme;
    std::string prefix;
    const std::vector<std::string>& digests;
  } schemes[] = {
      {Version(1, 0), "", bigChunkDigests},
      {Version(1, 1), "1.1_", smallChunkDigests},
      {Version(1, 2), "1.2_", smallChunkDigests},
      {Version(2, 0), "", smallChunkDigests},  // an unknown scheme samples like 1.1, unprefixed
  };
  for (const auto& scheme : schemes) {
    for (std::size_t i = 0; i < paths.size(); ++i) {
      SCOPED_TRACE("scheme " + scheme.scheme.description() + ", " + std::to_string(sizes[i]) +
                   " bytes");
      const std::string expected = sizes[i] == 0 ? std::string(HashUtils::kEmptyContentFingerprint)
                                                 : scheme.prefix + scheme.digests[i];
      const auto streamed = HashUtils::getHashUsingStream(reader_, paths[i], scheme.scheme);
      const auto mapped = HashUtils::getHashUsingMapping(reader_, paths[i], scheme.scheme);
      const auto either = HashUtils::getFileHash(reader_, paths[i], scheme.scheme);
      ASSERT_TRUE(streamed.ok() && mapped.ok() && either.ok());
      EXPECT_EQ(streamed.value(), expected);
      EXPECT_EQ(mapped.value(), expected);
      EXPECT_EQ(either.value(), expected);
    }
  }
}

TEST_F(HashUtilsTest, TextFingerprints) {
  const std::string large = randomBytes(24577, 3);
  const auto fileOfLarge = HashUtils::getFileHash(reader_, scratch_.write("large", large), {1, 1});
  ASSERT_TRUE(fileOfLarge.ok());

  const struct {
    std::string text;
    Version scheme;
    std::string expected;
  } cases[] = {
      {"abc", Version(1, 0), std::string(kAbcDigest)},
      {"abc", Version(1, 1), "1.1_" + std::string(kAbcDigest)},
      {"abc", Version(1, 2), "1.2_" + std::string(kAbcDigest)},
      {"", Version(1, 1), "d41d8cd98f00b204e9800998ecf8427e"},
      {"", Version(1, 0), "d41d8cd98f00b204e9800998ecf8427e"},
      // A text is sampled exactly as a file with the same bytes.
      {large, Version(1, 1), fileOfLarge.value()},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.text.substr(0, 8) + " under " + row.scheme.description());
    EXPECT_EQ(HashUtils::getHash(row.text, row.scheme), row.expected);
  }
}

TEST_F(HashUtilsTest, SampleWindows) {
  using Windows = std::vector<std::pair<std::int64_t, std::int64_t>>;
  const struct {
    std::int64_t length;
    std::int64_t chunk;
    Windows expected;
  } cases[] = {
      {0, 8192, {}},
      {1, 8192, {{0, 1}}},
      {24576, 8192, {{0, 24576}}},
      {24577, 8192, {{0, 8192}, {8192, 8192}, {16385, 8192}}},
      {6291456, 2097152, {{0, 6291456}}},
      {6291457, 2097152, {{0, 2097152}, {2097152, 2097152}, {4194305, 2097152}}},
      {4294967296, 8192, {{0, 8192}, {2147479552, 8192}, {4294959104, 8192}}},
      {10, 0, {{0, 10}}},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(std::to_string(row.length) + " bytes in chunks of " + std::to_string(row.chunk));
    Windows actual;
    for (const SampleWindow& window : HashUtils::sampleWindows(row.length, row.chunk)) {
      actual.emplace_back(window.offset, window.length);
    }
    EXPECT_EQ(actual, row.expected);
  }
}

// Read failures.

TEST_F(HashUtilsTest, PathsWithoutAReadableFileFailInEveryForm) {
  const std::string vanished = write("gone.jpg", 100);
  ASSERT_EQ(::unlink(vanished.c_str()), 0);
  const std::string pipe = scratch_.file("pipe.jpg");  // must not wait for a writer
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  for (const std::string& path : {vanished, pipe, scratch_.path()}) {
    SCOPED_TRACE(path);
    expectReadFailure(HashUtils::getHashUsingStream(reader_, path, {1, 1}));
    expectReadFailure(HashUtils::getHashUsingMapping(reader_, path, {1, 1}));
    expectReadFailure(HashUtils::getFileHash(reader_, path, {1, 1}));
  }
}

TEST_F(HashUtilsTest, UnreadableFileFails) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads files whatever their mode";
  const std::string path = write("locked.jpg", 100);
  ASSERT_EQ(::chmod(path.c_str(), 0), 0);
  expectReadFailure(HashUtils::getFileHash(reader_, path, {1, 1}));
}

TEST_F(HashUtilsTest, FileShrinkingAfterItsSizeWasReadGivesNoStreamFingerprint) {
  for (const std::size_t size : {std::size_t{20000}, std::size_t{100000}}) {
    SCOPED_TRACE(std::to_string(size) + " bytes, halved");
    const std::string path = write("shrinking.mov", size);
    ShrinkingReader reader(ShrinkingReader::After::fileSize, static_cast<off_t>(size / 2));
    expectReadFailure(HashUtils::getHashUsingStream(reader, path, {1, 1}));
  }
}

TEST_F(HashUtilsTest, FileTruncatedUnderTheMappingFallsBackToWhatIsLeft) {
  const std::string path = write("truncated.mov", 1 << 20);
  {
    ShrinkingReader reader(ShrinkingReader::After::mapFile, 0);
    expectReadFailure(HashUtils::getHashUsingMapping(reader, path, {1, 1}));
  }
  ASSERT_EQ(::truncate(path.c_str(), 1 << 20), 0);  // zeros now, a different content
  ShrinkingReader reader(ShrinkingReader::After::mapFile, 5000);
  const auto fingerprint = HashUtils::getFileHash(reader, path, {1, 1});
  ASSERT_TRUE(fingerprint.ok()) << describe(fingerprint.error());
  EXPECT_EQ(fingerprint.value(), HashUtils::getHash(std::string(5000, '\0'), {1, 1}));
}

}  // namespace
}  // namespace tessellon
