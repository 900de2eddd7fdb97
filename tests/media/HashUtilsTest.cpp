#include "media/fingerprints/HashUtils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <fstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "media/fingerprints/Md5.h"
#include "model/FingerprintUtils.h"
#include "platform/memorymap/FileContentReader.h"
#include "support/ErrorMatchers.h"
#include "support/MediaTree.h"
#include "support/TempDir.h"

namespace tessellon {
namespace {

const std::string kAbc = "900150983cd24fb0d6963f7d28e17f72";

// MD5 hex digests from python3's hashlib, an implementation independent of ours. With chunkSize > 0
// each file is sampled as fingerprints sample it (whole up to three chunks, else first, middle and
// last chunk); with 0 it is hashed whole.
std::vector<std::string> pythonDigests(const TempDir& scratch,
                                       const std::vector<std::string>& paths,
                                       std::int64_t chunkSize) {
  const std::string script = scratch.write("digests.py", R"(import hashlib, os, sys
chunk = int(sys.argv[1])
for path in sys.argv[2:]:
    size = os.path.getsize(path)
    digest = hashlib.md5()
    with open(path, 'rb') as f:
        if chunk <= 0 or 3 * chunk >= size:
            digest.update(f.read())
        else:
            for offset in (0, size // 2 - chunk // 2, size - chunk):
                f.seek(offset)
                digest.update(f.read(chunk))
    print(digest.hexdigest())
)");
  std::string command = "python3 '" + script + "' " + std::to_string(chunkSize);
  for (const std::string& path : paths) command += " '" + path + "'";
  FILE* pipe = ::popen(command.c_str(), "r");
  std::string output;
  char buffer[4096];
  while (std::size_t count = pipe ? std::fread(buffer, 1, sizeof buffer, pipe) : 0)
    output.append(buffer, count);
  EXPECT_TRUE(pipe != nullptr && ::pclose(pipe) == 0) << command;

  std::vector<std::string> digests;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) digests.push_back(line);
  EXPECT_EQ(digests.size(), paths.size()) << output;
  digests.resize(paths.size());
  return digests;
}

// The real reader, truncating the file right after reading its size or mapping it, as a file
// being rewritten while it is fingerprinted.
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
  void shrink(const std::string& path) { EXPECT_EQ(::truncate(path.c_str(), newSize_), 0); }
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
  EXPECT_EQ(HashUtils::getHash("abc", Version(1, 2)), "1.2_" + kAbc);
  EXPECT_EQ(HashUtils::getHash("", Version(1, 1)), "d41d8cd98f00b204e9800998ecf8427e");
  // A long text is sampled exactly as a file.
  const std::string large = randomContent(24577, 3);
  const auto fileOfLarge = HashUtils::getFileHash(reader_, scratch_.write("large", large), {1, 1});
  ASSERT_TRUE(fileOfLarge.ok());
  EXPECT_EQ(HashUtils::getHash(large, Version(1, 1)), fileOfLarge.value());
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

TEST(Md5Test, AgreesWithPythonAcrossBlockAndPaddingBoundaries) {
  TempDir scratch;
  const std::vector<std::size_t> lengths{0,   1,   55,  56,  57,   63,   64,           65,
                                         119, 120, 127, 128, 1000, 4099, (1 << 20) + 3};
  std::vector<std::string> contents;
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < lengths.size(); ++i) {
    contents.push_back(randomContent(lengths[i], static_cast<std::uint32_t>(i + 1)));
    paths.push_back(scratch.write("data" + std::to_string(i), contents.back()));
  }
  const std::vector<std::string> expected = pythonDigests(scratch, paths, 0);
  for (std::size_t i = 0; i < lengths.size(); ++i) {
    SCOPED_TRACE("length " + std::to_string(lengths[i]));
    EXPECT_EQ(Md5::toHex(Md5::digest(contents[i])), expected[i]);
  }
}

TEST(FingerprintUtilsTest, GetVersionReadsThePrefix) {
  const std::pair<std::string, Version> cases[] = {
      {"1.1_" + kAbc, Version(1, 1)}, {"1.2_" + kAbc, Version(1, 2)},  {kAbc, Version(1, 0)},
      {"1.3_" + kAbc, Version(1, 0)}, {"x1.1_" + kAbc, Version(1, 0)}, {"1.1", Version(1, 0)},
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

void expectPosixError(const Error& error, int code) {
  EXPECT_EQ(error.domain, "NSPOSIXErrorDomain");
  EXPECT_EQ(error.code, code) << error.message;
}

TEST_F(HashUtilsTest, ReaderMappingCopiesRangesAndRefusesOthers) {
  const std::string content = randomContent(10000, 2);
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

TEST_F(HashUtilsTest, ReaderFailuresCarryTheErrno) {
  const std::string missing = scratch_.file("missing");
  expectPosixError(reader_.fileSize(missing).error(), ENOENT);
  expectPosixError(reader_.openStream(missing).error(), ENOENT);
  expectPosixError(reader_.mapFile(missing).error(), ENOENT);
  expectPosixError(reader_.mapFile(scratch_.path()).error(), EINVAL);
}

TEST_F(HashUtilsTest, StreamFingerprintOfAHugeFileReadsOnlyTheSampleWindows) {
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
