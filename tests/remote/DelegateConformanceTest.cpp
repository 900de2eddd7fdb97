// The contract every BackupSDKDelegate keeps, run against each delegate in DelegateTypes.

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <future>
#include <type_traits>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tessellon/ForwardingDelegate.h"

#include "delegates/LocalFolderDelegate.h"
#include "delegates/LocalFolderError.h"
#include "remote/DelegateCalls.h"
#include "remote/NetworkRemotes.h"
#include "remote/TestArchives.h"
#include "support/MediaTree.h"
#include "support/TempDir.h"

namespace tessellon {
namespace {

using hosts::StoreAnswer;
using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Eq;
using ::testing::Field;
using ::testing::IsEmpty;
using ::testing::Pair;
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
  void TearDown() override {
    // Let the delegate settle, then every request must have had exactly one answer.
    calls_.release();
    remote_->delegate.reset();
    for (size_t count : calls_.answerCounts()) EXPECT_EQ(count, 1u);
  }

  std::string local(const std::string& name, const std::string& bytes) {
    return local_.write(name, bytes);
  }
  // The content of a downloaded file, or a marker when the download failed.
  std::string downloaded(const std::string& remotePath) {
    const auto [path, error] = calls_.download(remotePath);
    if (!path) return "download failed: " + std::to_string(static_cast<int>(error.value()));
    return local_.read(*path);  // an absolute path replaces the folder's
  }

  // A folder's members as "name size", sorted; a marker when it cannot be listed.
  std::vector<std::string> listed(const std::string& remotePath) {
    const auto [folder, error] = calls_.list(remotePath);
    if (!folder) return {"cannot list " + remotePath};
    std::vector<std::string> members;
    for (const Member& member : folder->members) {
      members.push_back(member.fullName + " " + std::to_string(member.fileSizeInByte));
    }
    std::sort(members.begin(), members.end());
    return members;
  }
  // A folder's member names, sorted; a marker when it cannot be listed.
  std::vector<std::string> names(const std::string& remotePath) {
    const auto [folder, error] = calls_.list(remotePath);
    if (!folder) return {"cannot list " + remotePath};
    std::vector<std::string> members;
    for (const Member& member : folder->members) members.push_back(member.fullName);
    std::sort(members.begin(), members.end());
    return members;
  }

  // Files in the remote's own folder (downloads, staging), the stored ones excepted.
  size_t filesBesideTheRemote() const {
    namespace fs = std::filesystem;
    const fs::path stored = fs::path(remote_->space.path()) / "remote";
    size_t count = 0;
    for (auto it = fs::recursive_directory_iterator(remote_->space.path());
         it != fs::recursive_directory_iterator(); ++it) {
      if (it->path() == stored) {
        it.disable_recursion_pending();
      } else if (it->is_regular_file()) {
        ++count;
      }
    }
    return count;
  }

  std::unique_ptr<Remote> remote_ = std::make_unique<Remote>();
  DelegateCalls calls_{remote_->delegate};
  TempDir local_;
};

// A host that keeps the library's own create-if-absent: a listing, then an upload.
class ListingThenUploading final : public ForwardingDelegate, public hosts::RemoteVersions {
 public:
  explicit ListingThenUploading(std::shared_ptr<hosts::LocalFolderDelegate> inner)
      : ForwardingDelegate(inner), versions_(std::move(inner)) {}
  void copyFile(const std::string& from, const std::string& to,
                std::function<void(hosts::StoreAnswer, std::optional<Error>)> done) override {
    versions_->copyFile(from, to, std::move(done));
  }
  void moveFile(const std::string& from, const std::string& to,
                std::function<void(hosts::StoreAnswer, std::optional<Error>)> done) override {
    versions_->moveFile(from, to, std::move(done));
  }
  void uploadFileIfAbsent(const std::string& localPath, const std::string& relativeRemotePath,
                          std::function<void(bool, std::optional<Error>)> completion) override {
    BackupSDKDelegate::uploadFileIfAbsent(localPath, relativeRemotePath, std::move(completion));
  }

 private:
  const std::shared_ptr<hosts::RemoteVersions> versions_;
};

struct DefaultIfAbsentRemote {
  TempDir space;
  std::shared_ptr<BackupSDKDelegate> delegate =
      std::make_shared<ListingThenUploading>(std::make_shared<hosts::LocalFolderDelegate>(
          space.file("remote"), hosts::LocalFolderDelegate::kDefaultZipSize, std::nullopt,
          space.file("downloads")));
};

// The S3 remote runs in a program of its own, which starts its gateway once.
#ifdef TESSELLON_CONFORMANCE_S3
using DelegateTypes = ::testing::Types<S3Remote>;
#else
using DelegateTypes = ::testing::Types<LocalFolderRemote, DefaultIfAbsentRemote, WebDavRemote>;
#endif
TYPED_TEST_SUITE(DelegateConformanceTest, DelegateTypes);

TYPED_TEST(DelegateConformanceTest, UploadedBytesComeBackUnchanged) {
  EXPECT_GT(this->remote_->delegate->getZipSize(), 0);
  for (size_t size : {size_t{0}, size_t{3 * 1024 * 1024 + 17}}) {
    SCOPED_TRACE(size);
    const std::string bytes = randomContent(size, 1);
    std::vector<double> fractions;
    EXPECT_EQ(this->calls_.upload(this->local("a.bin", bytes), "a.bin", &fractions), std::nullopt);
    EXPECT_TRUE(this->downloaded("a.bin") == bytes);
    EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
    for (double fraction : fractions) EXPECT_TRUE(fraction >= 0.0 && fraction <= 1.0) << fraction;
  }
}

TYPED_TEST(DelegateConformanceTest, CreateDirectoryTellsWhetherTheFolderExisted) {
  EXPECT_THAT(this->calls_.createDirectory("dev1/images"), Pair(false, Eq(std::nullopt)));
  for (const char* existing : {"dev1/images", "dev1", "dev1/images/"}) {
    SCOPED_TRACE(existing);
    EXPECT_THAT(this->calls_.createDirectory(existing), Pair(true, Eq(std::nullopt)));
  }
}

TYPED_TEST(DelegateConformanceTest, UploadIfAbsentCreatesOnlyWhereNothingIs) {
  ASSERT_EQ(this->calls_.createDirectory("dev1/images").second, std::nullopt);
  EXPECT_THAT(this->calls_.uploadIfAbsent(this->local("1", "first"), "dev1/lock.json"),
              Pair(true, Eq(std::nullopt)));
  EXPECT_THAT(this->calls_.uploadIfAbsent(this->local("2", "second"), "dev1/lock.json"),
              Pair(false, Eq(std::nullopt)));
  EXPECT_EQ(this->downloaded("dev1/lock.json"), "first");
  // A folder of that name is something too.
  EXPECT_THAT(this->calls_.uploadIfAbsent(this->local("2", "second"), "dev1/images"),
              Pair(false, Eq(std::nullopt)));
  // Nothing is created where the folder is missing.
  const auto [created, error] =
      this->calls_.uploadIfAbsent(this->local("3", "third"), "nowhere/lock.json");
  EXPECT_FALSE(created);
  EXPECT_TRUE(error.has_value());
  EXPECT_THAT(this->names("dev1"), ElementsAre("dev1/images", "dev1/lock.json"));
}

TYPED_TEST(DelegateConformanceTest, ListingNamesMembersRelativeToTheRoot) {
  ASSERT_EQ(this->calls_.createDirectory("dev1/images").second, std::nullopt);
  ASSERT_EQ(this->calls_.upload(this->local("b.json", "{\"a\":1}"), "dev1/backup.json"),
            std::nullopt);

  const auto folder = this->calls_.list("dev1").first;
  const auto root = this->calls_.list("").first;

  ASSERT_TRUE(folder.has_value());
  EXPECT_THAT(folder->members,
              UnorderedElementsAre(
                  AllOf(Field(&Member::fullName, "dev1/backup.json"),
                        Field(&Member::fileSizeInByte, 7), Field(&Member::type, MemberType::file)),
                  AllOf(Field(&Member::fullName, "dev1/images"),
                        Field(&Member::type, MemberType::directory))));
  ASSERT_TRUE(root.has_value());
  EXPECT_THAT(root->members, Contains(AllOf(Field(&Member::fullName, "dev1"),
                                            Field(&Member::type, MemberType::directory))));
}

TYPED_TEST(DelegateConformanceTest, MissingThingsAreErrors) {
  const auto [listing, listError] = this->calls_.list("nowhere");
  EXPECT_FALSE(listing.has_value());
  EXPECT_TRUE(listError.has_value());
  EXPECT_EQ(this->calls_.download("nowhere/backup.json"),
            std::make_pair(std::optional<std::string>(),
                           std::optional(BackupSDKError::delegateFileDoesNotExist)));
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
    EXPECT_THAT(this->calls_.deleteFile(path), Pair(true, Eq(std::nullopt)));
  }
  EXPECT_THAT(this->names("dev1"), IsEmpty());
  // A deleted folder is made anew, not remembered as existing.
  EXPECT_THAT(this->calls_.createDirectory("dev1/images"), Pair(false, Eq(std::nullopt)));
  EXPECT_THAT(this->names("dev1"), ElementsAre("dev1/images"));
}

TYPED_TEST(DelegateConformanceTest, InflateZipYieldsTheArchivedFiles) {
  const std::string photo = randomContent(300000, 2);
  const std::string archivePath = this->local_.file("dev1.zip");
  for (ArchiveFormat format : {ArchiveFormat::zipStored, ArchiveFormat::zipDeflated}) {
    SCOPED_TRACE(format == ArchiveFormat::zipStored ? "stored" : "deflated");
    writeArchive(archivePath,
                 {{"images/abc", photo},
                  {"videos/", "", ArchiveEntry::Kind::folder},
                  {"Grüße/Straße.jpg", "x"},
                  {"backup.json", "{}"}},
                 format);
    ASSERT_EQ(this->calls_.createDirectory("dev1").second, std::nullopt);
    ASSERT_EQ(this->calls_.upload(archivePath, "dev1/dev1.zip"), std::nullopt);

    EXPECT_EQ(this->calls_.inflate("dev1/dev1.zip", "dev1"), std::nullopt);

    EXPECT_THAT(this->listed("dev1/images"), ElementsAre("dev1/images/abc 300000"));
    EXPECT_TRUE(this->downloaded("dev1/images/abc") == photo);
    EXPECT_EQ(this->downloaded("dev1/backup.json"), "{}");
    EXPECT_EQ(this->downloaded("dev1/Grüße/Straße.jpg"), "x");
    EXPECT_EQ(this->calls_.list("dev1/videos").second, std::nullopt);
    ASSERT_EQ(this->calls_.deleteFile("dev1").first, true);
  }
}

TYPED_TEST(DelegateConformanceTest, StreamedReadHandsOverTheStoredBytesInOrder) {
  const std::string bytes = randomContent(3 * 1024 * 1024 + 17, 5);
  ASSERT_EQ(this->calls_.createDirectory("dev1").second, std::nullopt);
  ASSERT_EQ(this->calls_.upload(this->local("v", bytes), "dev1/v.mov"), std::nullopt);
  ASSERT_EQ(this->calls_.upload(this->local("e", ""), "dev1/empty"), std::nullopt);

  const size_t localFiles = this->filesBesideTheRemote();

  EXPECT_TRUE(this->calls_.read("dev1/v.mov").first == bytes);
  EXPECT_EQ(this->calls_.read("dev1/empty"),
            std::make_pair(std::optional<std::string>(""), std::optional<BackupSDKError>()));
  EXPECT_EQ(this->calls_.read("dev1/none").second, BackupSDKError::delegateFileDoesNotExist);
  EXPECT_EQ(this->calls_.read("../outside").second, BackupSDKError::delegateFileDownloadFailed);
  // Reading left no local copy.
  EXPECT_EQ(this->filesBesideTheRemote(), localFiles);
}

TYPED_TEST(DelegateConformanceTest, StreamedReadStopsWhenTheConsumerHasEnoughOrIsCancelled) {
  const std::string bytes = randomContent(16 * 1024 * 1024, 6);
  ASSERT_EQ(this->calls_.createDirectory("dev1").second, std::nullopt);
  ASSERT_EQ(this->calls_.upload(this->local("v", bytes), "dev1/v.mov"), std::nullopt);

  // A consumer that has enough ends the read without an error.
  auto seen = std::make_shared<std::atomic<size_t>>(0);
  Answer<std::optional<BackupSDKError>> stopped;
  this->remote_->delegate->readFile(
      "dev1/v.mov",
      [seen](const char*, size_t size) {
        *seen += size;
        return false;
      },
      stopped.callback());
  EXPECT_THAT(stopped.wait(), AnsweredWith(Eq(std::nullopt)));
  EXPECT_LT(seen->load(), bytes.size());

  // A cancel during the read fails it before the end.
  auto handle = std::make_shared<std::promise<std::shared_ptr<CancellationDelegate>>>();
  auto ready = std::make_shared<std::shared_future<std::shared_ptr<CancellationDelegate>>>(
      handle->get_future().share());
  auto read = std::make_shared<std::atomic<size_t>>(0);
  Answer<std::optional<BackupSDKError>> cancelled;
  handle->set_value(this->remote_->delegate->readFile(
      "dev1/v.mov",
      [ready, read](const char*, size_t size) {
        if (read->fetch_add(size) == 0) ready->get()->cancel();
        return true;
      },
      cancelled.callback()));
  EXPECT_THAT(cancelled.wait(), AnsweredWith(Eq(BackupSDKError::delegateFileDownloadFailed)));
  EXPECT_LT(read->load(), bytes.size());
  EXPECT_EQ(stopped.count() + cancelled.count(), 2u);
}

TYPED_TEST(DelegateConformanceTest, InflateZipStoresNoDamagedMember) {
  const std::string photo = randomContent(300000, 3);
  const std::string archivePath = this->local_.file("dev1.zip");
  writeArchive(archivePath, {{"images/good", "fine"}, {"images/bad", photo}},
               ArchiveFormat::zipStored);
  // One bit of the stored photo flips on the disk.
  std::string archive = this->local_.read("dev1.zip");
  const size_t at = archive.find(photo.substr(0, 64));
  ASSERT_NE(at, std::string::npos);
  archive[at + 1000] = static_cast<char>(archive[at + 1000] ^ 0x10);
  this->local_.write("dev1.zip", archive);
  ASSERT_EQ(this->calls_.createDirectory("dev1").second, std::nullopt);
  ASSERT_EQ(this->calls_.upload(archivePath, "dev1/dev1.zip"), std::nullopt);

  EXPECT_THAT(this->calls_.inflate("dev1/dev1.zip", "dev1"),
              IsError(hosts::kLocalFolderErrorDomain,
                      static_cast<int>(hosts::LocalFolderError::unreadableArchive)));
  EXPECT_EQ(this->calls_.download("dev1/images/bad").second,
            BackupSDKError::delegateFileDoesNotExist);
}

// ---- Server-side copy and move

TYPED_TEST(DelegateConformanceTest, ACopyKeepsTheOldBytesWhenTheSourceIsUploadedAgain) {
  const std::string old = randomContent(300000, 20);
  ASSERT_EQ(this->calls_.createDirectory("dev1/versions").second, std::nullopt);
  ASSERT_EQ(this->calls_.upload(this->local("old", old), "dev1/backup.json"), std::nullopt);

  EXPECT_THAT(this->calls_.copy("dev1/backup.json", "dev1/versions/backup.json.1"),
              Pair(StoreAnswer::done, Eq(std::nullopt)));
  ASSERT_EQ(this->calls_.upload(this->local("new", "new"), "dev1/backup.json"), std::nullopt);

  EXPECT_EQ(this->downloaded("dev1/backup.json"), "new");
  EXPECT_TRUE(this->downloaded("dev1/versions/backup.json.1") == old);
  EXPECT_THAT(this->listed("dev1/versions"), ElementsAre("dev1/versions/backup.json.1 300000"));
}

TYPED_TEST(DelegateConformanceTest, AMoveCarriesAFileOrAFolderWithAllItHolds) {
  const std::string photo = randomContent(200000, 21);
  ASSERT_EQ(this->calls_.createDirectory("dev1/images/2019").second, std::nullopt);
  ASSERT_EQ(this->calls_.createDirectory("dev1/images/empty").second, std::nullopt);
  ASSERT_EQ(this->calls_.upload(this->local("p", photo), "dev1/images/2019/a.jpg"), std::nullopt);
  // A name that must be escaped in a URL, and is in the copy's source and destination.
  ASSERT_EQ(this->calls_.upload(this->local("b", "b"), "dev1/images/Straße b+c.jpg"), std::nullopt);
  ASSERT_EQ(this->calls_.upload(this->local("j", "{}"), "dev1/backup.json"), std::nullopt);

  EXPECT_THAT(this->calls_.move("dev1/backup.json", "dev1/backup.json.1"),
              Pair(StoreAnswer::done, Eq(std::nullopt)));
  EXPECT_THAT(this->calls_.move("dev1/images", "dev1/kept"),
              Pair(StoreAnswer::done, Eq(std::nullopt)));

  EXPECT_EQ(this->downloaded("dev1/backup.json.1"), "{}");
  EXPECT_TRUE(this->downloaded("dev1/kept/2019/a.jpg") == photo);
  EXPECT_EQ(this->downloaded("dev1/kept/Straße b+c.jpg"), "b");
  EXPECT_THAT(this->names("dev1/kept"),
              ElementsAre("dev1/kept/2019", "dev1/kept/Straße b+c.jpg", "dev1/kept/empty"));
  EXPECT_THAT(this->names("dev1/kept/empty"), IsEmpty());
  // Nothing is left where they were.
  EXPECT_THAT(this->names("dev1"), ElementsAre("dev1/backup.json.1", "dev1/kept"));
  EXPECT_TRUE(this->calls_.list("dev1/images").second.has_value());
}

TYPED_TEST(DelegateConformanceTest, CopyAndMoveNeverReplaceAndTellAMissingSource) {
  ASSERT_EQ(this->calls_.createDirectory("dev1/images").second, std::nullopt);
  ASSERT_EQ(this->calls_.upload(this->local("x", "x"), "dev1/images/x"), std::nullopt);
  ASSERT_EQ(this->calls_.upload(this->local("a", "a"), "dev1/a"), std::nullopt);
  ASSERT_EQ(this->calls_.upload(this->local("b", "b"), "dev1/b"), std::nullopt);
  const std::vector<std::string> before = this->listed("dev1");

  struct Case {
    const char* from;
    const char* to;
    StoreAnswer answer;
  } cases[] = {
      {"dev1/a", "dev1/b", StoreAnswer::exists},
      {"dev1/a", "dev1/images", StoreAnswer::exists},
      {"dev1/images", "dev1/a", StoreAnswer::exists},
      {"dev1/none", "dev1/c", StoreAnswer::missing},
      {"dev1/none/x", "dev1/c", StoreAnswer::missing},
  };
  for (const Case& test : cases) {
    for (const bool move : {false, true}) {
      // Copying a folder is no file request: only its move is asked.
      if (!move && std::string(test.from) == "dev1/images") continue;
      SCOPED_TRACE(std::string(move ? "move " : "copy ") + test.from + " to " + test.to);
      const auto outcome =
          move ? this->calls_.move(test.from, test.to) : this->calls_.copy(test.from, test.to);
      EXPECT_THAT(outcome, Pair(test.answer, Eq(std::nullopt)));
    }
  }

  EXPECT_EQ(this->listed("dev1"), before);
  EXPECT_EQ(this->downloaded("dev1/a"), "a");
  EXPECT_EQ(this->downloaded("dev1/b"), "b");
  EXPECT_EQ(this->downloaded("dev1/images/x"), "x");
}

TYPED_TEST(DelegateConformanceTest, CopyAndMoveRefusePathsOutsideTheRootAndMissingFolders) {
  ASSERT_EQ(this->calls_.createDirectory("dev1").second, std::nullopt);
  ASSERT_EQ(this->calls_.upload(this->local("a", "a"), "dev1/a"), std::nullopt);
  for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
           {"../x", "dev1/x"}, {"dev1/a", "../a"}, {"/etc/hostname", "dev1/h"}, {"dev1/a", ""}}) {
    SCOPED_TRACE(from + " to " + to);
    for (const auto& outcome : {this->calls_.copy(from, to), this->calls_.move(from, to)}) {
      EXPECT_THAT(outcome.second, IsError(hosts::kLocalFolderErrorDomain,
                                          static_cast<int>(hosts::LocalFolderError::refusedPath)));
    }
  }
  // The folder of the target must be there already, and a folder cannot go below itself.
  ASSERT_EQ(this->calls_.createDirectory("dev1/images").second, std::nullopt);
  for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
           {"dev1/a", "nowhere/a"}, {"dev1/images", "dev1/images/sub"}}) {
    SCOPED_TRACE(from + " to " + to);
    EXPECT_TRUE(this->calls_.move(from, to).second.has_value());
  }
  EXPECT_TRUE(this->calls_.copy("dev1/a", "nowhere/a").second.has_value());
  EXPECT_THAT(this->names(""), ElementsAre("dev1"));
  EXPECT_THAT(this->names("dev1"), ElementsAre("dev1/a", "dev1/images"));
  EXPECT_EQ(this->downloaded("dev1/a"), "a");
}

TYPED_TEST(DelegateConformanceTest, ConcurrentRequestsAreEachAnsweredOnceOffTheCallersThread) {
  ASSERT_EQ(this->calls_.createDirectory("dev1").second, std::nullopt);
  constexpr size_t kCallers = 4;
  std::vector<Answer<std::optional<Error>>> uploads(kCallers);
  std::vector<std::thread::id> callerIds(kCallers);
  std::vector<std::thread> callers;
  for (size_t i = 0; i < kCallers; ++i) {
    const std::string file = this->local("f" + std::to_string(i), randomContent(100000, 10 + i));
    callers.emplace_back([&, i, file] {
      callerIds[i] = std::this_thread::get_id();
      this->remote_->delegate->uploadFile(
          file, "dev1/f" + std::to_string(i), [](const TransferProgress&) {},
          uploads[i].callback());
    });
  }
  for (auto& caller : callers) caller.join();

  for (size_t i = 0; i < kCallers; ++i) {
    EXPECT_THAT(uploads[i].wait(), AnsweredWith(Eq(std::nullopt)));
    EXPECT_NE(uploads[i].thread(), callerIds[i]);
  }
  EXPECT_EQ(this->names("dev1").size(), kCallers);
  for (auto& upload : uploads) EXPECT_EQ(upload.count(), 1u);
}

}  // namespace
}  // namespace tessellon
