#include "media/fingerprints/HashUtils.h"

#include <sys/stat.h>
#include <unistd.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "media/PythonDigests.h"
#include "media/fingerprints/FingerprintUtils.h"
#include "platform/memorymap/FileContentReader.h"
#include "support/ErrorMatchers.h"
#include "support/MediaTree.h"
#include "support/TempDir.h"

namespace tessellon {
namespace {

const std::string kAbc = "900150983cd24fb0d6963f7d28e17f72";

// The real reader, truncating the file right after fileSize or mapFile, as a file being rewritten
// while it is fingerprinted.
class ShrinkingReader final : public FileContentReaderProtocol {
 public:
  ShrinkingReader(bool afterMapping, off_t newSize) : afterMap_(afterMapping), newSize_(newSize) {}
  Result<std::int64_t> fileSize(const std::string& path) override {
    auto size = real_.fileSize(path);
    if (!afterMap_) shrink(path);
    return size;
  }
  Result<std::unique_ptr<FileContentStream>> openStream(const std::string& path) override {
    return real_.openStream(path);
  }
  Result<std::unique_ptr<MappedContent>> mapFile(const std::string& path) override {
    auto mapped = real_.mapFile(path);
    if (afterMap_) shrink(path);
    return mapped;
  }

 private:
  void shrink(const std::string& path) { ASSERT_EQ(::truncate(path.c_str(), newSize_), 0); }
  FileContentReader real_;
  const bool afterMap_;
  const off_t newSize_;
};

class HashUtilsTest : public ::testing::Test {
 protected:
  std::string write(const std::string& name, std::size_t length, std::uint32_t seed = 1) {
    return scratch_.write(name, randomContent(length, seed));
  }
  static void expectReadFailure(const Result<std::string>& result) {
    ASSERT_FALSE(result.ok()) << "fingerprint " << result.value();
    EXPECT_THAT(result.error(), HasCode(BackupSDKError::fileIOFailedToReadFile));
  }

  TempDir scratch_;
  FileContentReader reader_;
};

// Stream, mapping and the combined form all agree with python over every scheme's windows.
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
      SCOPED_TRACE(scheme.scheme.description() + ", " + std::to_string(sizes[i]) + " bytes");
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
  const std::string large = randomContent(24577, 3);
  const auto fileOfLarge = HashUtils::getFileHash(reader_, scratch_.write("large", large), {1, 1});
  ASSERT_TRUE(fileOfLarge.ok());
  const struct {
    std::string text;
    Version scheme;
    std::string expected;
  } cases[] = {
      {"abc", Version(1, 0), kAbc},
      {"abc", Version(1, 2), "1.2_" + kAbc},
      {"", Version(1, 1), "d41d8cd98f00b204e9800998ecf8427e"},
      {large, Version(1, 1), fileOfLarge.value()},  // sampled exactly as a file
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.text.substr(0, 8) + " under " + row.scheme.description());
    EXPECT_EQ(HashUtils::getHash(row.text, row.scheme), row.expected);
  }
}

// Small files are covered against python above; here the middle of a 4 GiB file must not overflow.
TEST_F(HashUtilsTest, SampleWindowsOfHugeFiles) {
  std::vector<std::pair<std::int64_t, std::int64_t>> windows;
  for (const SampleWindow& window : HashUtils::sampleWindows(4294967296, 8192)) {
    windows.emplace_back(window.offset, window.length);
  }
  EXPECT_EQ(windows, (decltype(windows){{0, 8192}, {2147479552, 8192}, {4294959104, 8192}}));
  const auto whole = HashUtils::sampleWindows(10, 0);  // chunk 0: the whole file
  ASSERT_EQ(whole.size(), 1u);
  EXPECT_EQ(whole[0].length, 10);
}

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

TEST_F(HashUtilsTest, FileShrinkingAfterItsSizeWasReadGivesNoStreamFingerprint) {
  for (const std::size_t size : {std::size_t{20000}, std::size_t{100000}}) {
    SCOPED_TRACE(std::to_string(size) + " bytes, halved");
    ShrinkingReader reader(/*afterMapping=*/false, static_cast<off_t>(size / 2));
    expectReadFailure(HashUtils::getHashUsingStream(reader, write("shrinking.mov", size), {1, 1}));
  }
}

TEST_F(HashUtilsTest, FileTruncatedUnderTheMappingFallsBackToWhatIsLeft) {
  const std::string path = write("truncated.mov", 1 << 20);
  ShrinkingReader emptied(/*afterMapping=*/true, 0);
  expectReadFailure(HashUtils::getHashUsingMapping(emptied, path, {1, 1}));

  ASSERT_EQ(::truncate(path.c_str(), 1 << 20), 0);  // zeros now, a different content
  ShrinkingReader halved(/*afterMapping=*/true, 5000);
  const auto fingerprint = HashUtils::getFileHash(halved, path, {1, 1});
  ASSERT_TRUE(fingerprint.ok()) << describe(fingerprint.error());
  EXPECT_EQ(fingerprint.value(), HashUtils::getHash(std::string(5000, '\0'), {1, 1}));
}

TEST(FingerprintUtilsTest, GetVersionReadsThePrefix) {
  const std::pair<std::string, Version> cases[] = {
      {"1.1_" + kAbc, Version(1, 1)},
      {"1.2_" + kAbc, Version(1, 2)},
      {kAbc, Version(1, 0)},
      {"1.3_" + kAbc, Version(1, 0)},
      {"x1.1_" + kAbc, Version(1, 0)},
      {"1.1", Version(1, 0)},
      {"", Version(1, 0)},
  };
  for (const auto& [fingerprint, expected] : cases) {
    SCOPED_TRACE(fingerprint);
    EXPECT_EQ(FingerprintUtils::getVersion(fingerprint), expected);
  }
}

TEST(FingerprintUtilsTest, HighestVersionPicksTheGreatestSchemeAndTheEarliestOnTies) {
  const std::string v10a = kAbc, v10b = "0cc175b9c0f1b6a831c399e269772661";
  const std::string v11a = "1.1_" + v10a, v11b = "1.1_" + v10b, v12 = "1.2_" + v10a;
  const std::pair<std::vector<std::string>, std::optional<std::string>> cases[] = {
      {{}, std::nullopt},
      {{v10a, v10b}, v10a},
      {{v10a, v11a, v11b}, v11a},
      {{v11b, v12, v10a, v11a}, v12},
  };
  for (const auto& [fingerprints, expected] : cases) {
    SCOPED_TRACE(::testing::PrintToString(fingerprints));
    EXPECT_EQ(FingerprintUtils::highestVersion(fingerprints), expected);
  }
}

}  // namespace
}  // namespace tessellon
