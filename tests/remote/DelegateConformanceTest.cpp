// The contract every BackupSDKDelegate keeps, run against each delegate we
// ship. A new delegate joins by adding a Remote type to DelegateTypes below.

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "delegates/LocalFolderDelegate.h"
#include "remote/DelegateCalls.h"
#include "remote/TestArchives.h"
#include "support/ErrorMatchers.h"
#include "support/TempDir.h"

namespace tessellon {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::Optional;
using ::testing::UnorderedElementsAre;

// A delegate over a fresh, empty remote.
struct LocalFolderRemote {
  TempDir space;
  std::shared_ptr<BackupSDKDelegate> delegate = std::make_shared<hosts::LocalFolderDelegate>(
      space.file("remote"), hosts::LocalFolderDelegate::kDefaultZipSize, std::nullopt,
      space.file("downloads"));
};

template <class Remote>
class DelegateConformanceTest : public ::testing::Test {
 protected:
  DelegateConformanceTest() : remote_(std::make_unique<Remote>()), calls_(remote_->delegate) {}

  void TearDown() override {
    // Let the delegate settle, then every request must have had exactly one answer.
    calls_.release();
    remote_->delegate.reset();
    for (size_t count : calls_.answerCounts()) EXPECT_EQ(count, 1u);
  }

  // A local file with `bytes`, to upload.
  std::string local(const std::string& name, const std::string& bytes) {
    return local_.write(name, bytes);
  }
  std::string readLocal(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  std::unique_ptr<Remote> remote_;
  DelegateCalls calls_;
  TempDir local_;
};

using DelegateTypes = ::testing::Types<LocalFolderRemote>;
TYPED_TEST_SUITE(DelegateConformanceTest, DelegateTypes);

TYPED_TEST(DelegateConformanceTest, UploadedBytesComeBackUnchanged) {
  const std::string bytes = randomBytes(3 * 1024 * 1024 + 17, 1);
  ASSERT_EQ(this->calls_.createDirectory("dev1").second, std::nullopt);

  std::vector<double> fractions;
  EXPECT_EQ(this->calls_.upload(this->local("a.bin", bytes), "dev1/a.bin", &fractions),
            std::nullopt);
  const auto [path, error] = this->calls_.download("dev1/a.bin");

  ASSERT_EQ(error, std::nullopt);
  ASSERT_TRUE(path.has_value());
  EXPECT_EQ(this->readLocal(*path), bytes);
  EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
  for (double fraction : fractions) EXPECT_TRUE(fraction >= 0.0 && fraction <= 1.0) << fraction;
}

TYPED_TEST(DelegateConformanceTest, EmptyFileRoundTrips) {
  ASSERT_EQ(this->calls_.upload(this->local("empty", ""), "empty"), std::nullopt);
  const auto [path, error] = this->calls_.download("empty");
  ASSERT_TRUE(path.has_value()) << (error ? static_cast<int>(*error) : 0);
  EXPECT_EQ(this->readLocal(*path), "");
}

TYPED_TEST(DelegateConformanceTest, CreateDirectoryTellsWhetherTheFolderExisted) {
  const auto [created, error] = this->calls_.createDirectory("dev1/images");
  EXPECT_FALSE(created);
  EXPECT_EQ(error, std::nullopt);
  for (const char* existing : {"dev1/images", "dev1", "dev1/images/"}) {
    SCOPED_TRACE(existing);
    const auto [exists, existsError] = this->calls_.createDirectory(existing);
    EXPECT_TRUE(exists);
    EXPECT_EQ(existsError, std::nullopt);
  }
}

TYPED_TEST(DelegateConformanceTest, ListingNamesMembersRelativeToTheRoot) {
  ASSERT_EQ(this->calls_.createDirectory("dev1/images").second, std::nullopt);
  ASSERT_EQ(this->calls_.upload(this->local("b.json", "{\"a\":1}"), "dev1/backup.json"),
            std::nullopt);

  const auto [folder, error] = this->calls_.list("dev1");
  const auto [root, rootError] = this->calls_.list("");

  ASSERT_TRUE(folder.has_value()) << (error ? describe(*error) : "");
  EXPECT_THAT(folder->members,
              UnorderedElementsAre(
                  AllOf(Field(&Member::fullName, "dev1/backup.json"),
                        Field(&Member::fileSizeInByte, 7), Field(&Member::type, MemberType::file)),
                  AllOf(Field(&Member::fullName, "dev1/images"),
                        Field(&Member::type, MemberType::directory))));
  ASSERT_TRUE(root.has_value()) << (rootError ? describe(*rootError) : "");
  EXPECT_THAT(root->members, Contains(AllOf(Field(&Member::fullName, "dev1"),
                                            Field(&Member::type, MemberType::directory))));
}

TYPED_TEST(DelegateConformanceTest, MissingThingsAreErrors) {
  const auto [listing, listError] = this->calls_.list("nowhere");
  EXPECT_FALSE(listing.has_value());
  EXPECT_TRUE(listError.has_value());

  const auto [path, downloadError] = this->calls_.download("nowhere/backup.json");
  EXPECT_FALSE(path.has_value());
  EXPECT_EQ(downloadError, BackupSDKError::delegateFileDoesNotExist);

  const auto [deleted, deleteError] = this->calls_.deleteFile("nowhere.zip");
  EXPECT_FALSE(deleted);
  EXPECT_TRUE(deleteError.has_value());
}

TYPED_TEST(DelegateConformanceTest, DeleteRemovesFilesAndFoldersWithTheirContent) {
  ASSERT_EQ(this->calls_.createDirectory("dev1/images").second, std::nullopt);
  ASSERT_EQ(this->calls_.upload(this->local("x", "x"), "dev1/images/x"), std::nullopt);
  ASSERT_EQ(this->calls_.upload(this->local("y", "y"), "dev1/y"), std::nullopt);

  for (const char* path : {"dev1/y", "dev1/images"}) {
    SCOPED_TRACE(path);
    const auto [deleted, error] = this->calls_.deleteFile(path);
    EXPECT_TRUE(deleted);
    EXPECT_EQ(error, std::nullopt);
  }

  const auto [folder, error] = this->calls_.list("dev1");
  ASSERT_TRUE(folder.has_value());
  EXPECT_TRUE(folder->members.empty());
}

TYPED_TEST(DelegateConformanceTest, InflateZipYieldsTheArchivedFiles) {
  const std::string photo = randomBytes(300000, 2);
  const std::string archivePath = this->local_.file("dev1.zip");
  for (ArchiveFormat format : {ArchiveFormat::zipStored, ArchiveFormat::zipDeflated}) {
    SCOPED_TRACE(format == ArchiveFormat::zipStored ? "stored" : "deflated");
    writeArchive(
        archivePath,
        {{"images/abc", photo}, {"videos/", "", ArchiveEntry::Kind::folder}, {"backup.json", "{}"}},
        format);
    ASSERT_EQ(this->calls_.createDirectory("dev1").second, std::nullopt);
    ASSERT_EQ(this->calls_.upload(archivePath, "dev1/dev1.zip"), std::nullopt);

    EXPECT_EQ(this->calls_.inflate("dev1/dev1.zip", "dev1"), std::nullopt);

    const auto [folder, error] = this->calls_.list("dev1/images");
    ASSERT_TRUE(folder.has_value());
    EXPECT_THAT(folder->members, ElementsAre(AllOf(Field(&Member::fullName, "dev1/images/abc"),
                                                   Field(&Member::fileSizeInByte, 300000))));
    const auto [path, downloadError] = this->calls_.download("dev1/images/abc");
    ASSERT_TRUE(path.has_value());
    EXPECT_EQ(this->readLocal(*path), photo);
    EXPECT_EQ(this->calls_.list("dev1/videos").second, std::nullopt);
    EXPECT_EQ(this->readLocal(*this->calls_.download("dev1/backup.json").first), "{}");
    ASSERT_EQ(this->calls_.deleteFile("dev1").first, true);
  }
}

TYPED_TEST(DelegateConformanceTest, PathsThatLeaveTheRootAreRefused) {
  const std::string file = this->local("f", "f");
  for (const std::string path : {"../escape", "/escape", "dev1/../../escape"}) {
    SCOPED_TRACE(path);
    EXPECT_TRUE(this->calls_.upload(file, path).has_value());
    EXPECT_TRUE(this->calls_.createDirectory(path).second.has_value());
    EXPECT_TRUE(this->calls_.list(path).second.has_value());
    EXPECT_FALSE(this->calls_.download(path).first.has_value());
  }
}

TYPED_TEST(DelegateConformanceTest, RequestsFromSeveralThreadsAreEachAnsweredOnce) {
  ASSERT_EQ(this->calls_.createDirectory("dev1").second, std::nullopt);
  std::vector<std::string> files;
  for (int i = 0; i < 4; ++i) {
    files.push_back(this->local("f" + std::to_string(i), randomBytes(100000, 10 + i)));
  }

  // Requests straight on the delegate, concurrently; answers may come on any thread.
  std::vector<Answer<std::optional<Error>>> uploads(files.size());
  std::vector<std::thread> callers;
  for (size_t i = 0; i < files.size(); ++i) {
    callers.emplace_back([&, i] {
      this->remote_->delegate->uploadFile(
          files[i], "dev1/f" + std::to_string(i), [](const TransferProgress&) {},
          uploads[i].callback());
    });
  }
  for (auto& caller : callers) caller.join();

  for (auto& upload : uploads) {
    auto answer = upload.wait();
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(std::get<0>(*answer), std::nullopt);
  }
  const auto [folder, error] = this->calls_.list("dev1");
  ASSERT_TRUE(folder.has_value());
  EXPECT_EQ(folder->members.size(), files.size());
  for (auto& upload : uploads) EXPECT_EQ(upload.count(), 1u);
}

TYPED_TEST(DelegateConformanceTest, ZipSizeIsPositive) {
  EXPECT_GT(this->remote_->delegate->getZipSize(), 0);
}

}  // namespace
}  // namespace tessellon
