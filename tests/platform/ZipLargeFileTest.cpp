#include <sys/statvfs.h>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "platform/ZipReadBack.h"
#include "platform/zip/ZipService.h"
#include "support/TempDir.h"

// Entries and offsets past 4 GiB. Writes about 10 GiB, so it carries the ctest
// label "large" and runs only on demand.
namespace tessellon {
namespace {

constexpr int64_t kBigSize = (4LL << 30) + (64LL << 20) + 12345;  // past 4 GiB, odd tail

// Incompressible, reproducible content: one random chunk, stamped with its
// index so that a lost or repeated chunk changes the digest.
void writePattern(const std::string& path, int64_t size) {
  std::ofstream out(path, std::ios::binary);
  std::string chunk(1 << 20, '\0');
  uint64_t state = 0x9E3779B97F4A7C15ULL;
  for (size_t i = 0; i < chunk.size(); ++i) {
    state ^= state << 13, state ^= state >> 7, state ^= state << 17;
    chunk[i] = static_cast<char>(state);
  }
  for (int64_t left = size, index = 0; left > 0; ++index) {
    std::memcpy(chunk.data(), &index, sizeof index);
    const auto now = static_cast<std::streamsize>(std::min<int64_t>(left, chunk.size()));
    out.write(chunk.data(), now);
    left -= now;
  }
  out.close();
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

std::string md5Of(const std::string& command) {
  const auto result = ziptest::run(command + " | md5sum");
  return result.output.substr(0, 32);
}

TEST(ZipLargeFileTest, AFileOverFourGigabytesRoundTripsWithTheEntriesAfterIt) {
  TempDir dir;
  struct statvfs volume {};
  ASSERT_EQ(::statvfs(dir.path().c_str(), &volume), 0);
  if (static_cast<int64_t>(volume.f_bavail) * static_cast<int64_t>(volume.f_frsize) <
      2 * kBigSize + (1LL << 30)) {
    GTEST_SKIP() << "needs about 10 GiB free in " << dir.path();
  }
  const std::string big = dir.file("big.mov");
  writePattern(big, kBigSize);
  const std::string images = dir.write("images.json", "[{\"fingerprint\": \"1.1_x\"}]");
  const std::string backup = dir.write("backup.json", "{\"deviceID\": \"uid\"}");
  const std::string archive = dir.file("uid.zip");

  ZipService service;
  auto zip = service.generateZip(archive);
  ASSERT_TRUE(service.append(zip, backup, "first.json", false).ok());
  ASSERT_TRUE(service.append(zip, big, "videos/1.1_big.mov", false).ok());
  // Its local header lies past 4 GiB: only a ZIP64 offset can point at it.
  ASSERT_TRUE(service.append(zip, images, "images.json", false).ok());
  ASSERT_TRUE(service.append(zip, backup, "backup.json", true).ok());
  zip.reset();

  const auto tested = ziptest::unzipTest(archive);
  EXPECT_EQ(tested.exitCode, 0) << tested.output;
  std::string problem;
  const auto entries = ziptest::readEntries(archive, /*withContent=*/false, &problem);
  ASSERT_TRUE(entries.has_value()) << problem;
  ASSERT_EQ(entries->size(), 4u);
  EXPECT_EQ(entries->at(1).name, "videos/1.1_big.mov");
  EXPECT_EQ(entries->at(1).size, kBigSize);
  EXPECT_EQ(entries->at(2).name, "images.json");

  EXPECT_EQ(ziptest::run("unzip -p " + ziptest::quoted(archive) + " images.json").output,
            dir.read("images.json"));
  const std::string expected = md5Of("cat " + ziptest::quoted(big));
  EXPECT_EQ(expected.size(), 32u);
  EXPECT_EQ(md5Of("unzip -p " + ziptest::quoted(archive) + " videos/1.1_big.mov"), expected);
}

}  // namespace
}  // namespace tessellon
