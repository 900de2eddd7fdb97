#include "delegates/LocalFolderDelegate.h"

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "delegates/LocalFolderError.h"
#include "remote/DelegateCalls.h"
#include "remote/TestArchives.h"
#include "support/MediaTree.h"
#include "support/TempDir.h"

namespace tessellon {
namespace {

namespace fs = std::filesystem;
using hosts::LocalFolderDelegate;
using ::testing::Each;
using ::testing::Eq;
using ::testing::Field;
using ::testing::IsEmpty;
using ::testing::Optional;
using ::testing::Pair;
using ::testing::UnorderedElementsAre;
using ::testing::UnorderedElementsAreArray;

constexpr int kRefusedPath = static_cast<int>(hosts::LocalFolderError::refusedPath);
constexpr int kUnsafeArchive = static_cast<int>(hosts::LocalFolderError::unsafeArchive);
constexpr int kUnreadableArchive = static_cast<int>(hosts::LocalFolderError::unreadableArchive);

class LocalFolderDelegateTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(space_.file("outside")); }

  std::string remotePath(const std::string& relative) const { return root_ + "/" + relative; }
  std::string putRemote(const std::string& relative, const std::string& bytes) {
    return space_.write("remote/" + relative, bytes);
  }
  std::string readRemote(const std::string& relative) const {
    return space_.read("remote/" + relative);
  }
  // Every path below the test's folder with its size: what a hostile request could change.
  std::map<std::string, uintmax_t> tree() const {
    std::map<std::string, uintmax_t> result;
    for (const auto& entry : fs::recursive_directory_iterator(space_.path())) {
      const bool file = entry.is_regular_file() && !entry.is_symlink();
      result[fs::relative(entry.path(), space_.path()).string()] = file ? entry.file_size() : 0;
    }
    return result;
  }
  // Names in a remote folder that a finished request must not leave behind.
  std::vector<std::string> leftovers(const std::string& relative) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(remotePath(relative))) {
      const std::string name = entry.path().filename().string();
      if (name.rfind(".tessellon-", 0) == 0 || name.rfind("download-", 0) == 0) {
        names.push_back(name);
      }
    }
    return names;
  }

  TempDir space_;
  const std::string root_ = space_.file("remote");
  const std::string downloads_ = space_.file("downloads");
  std::shared_ptr<LocalFolderDelegate> delegate_ = std::make_shared<LocalFolderDelegate>(
      root_, LocalFolderDelegate::kDefaultZipSize, std::nullopt, downloads_);
  DelegateCalls calls_{delegate_};
};

// ---- Archives and escapes

TEST_F(LocalFolderDelegateTest, HostileArchivesAreRefusedBeforeAnythingIsWritten) {
  using Kind = ArchiveEntry::Kind;
  using enum ArchiveFormat;
  const std::string outside = space_.file("outside");
  struct Case {
    const char* what;
    ArchiveEntry hostile;
    ArchiveFormat format;
    int code;
  } cases[] = {
      {"absolute path", {outside + "/evil", "x"}, zipStored, kUnsafeArchive},
      {"parent component", {"../evil", "x"}, zipStored, kUnsafeArchive},
      {"inner parent", {"images/../../../outside/evil", "x"}, zipDeflated, kUnsafeArchive},
      {"symbolic link", {"link", "", Kind::symlink, outside}, zipStored, kUnsafeArchive},
      // ZIP has no hard links; an archive that carries one is not taken at all.
      {"hard link", {"evil", "", Kind::hardlink, "/etc/passwd"}, tar, kUnreadableArchive},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    putRemote("dev1/placeholder", "");
    writeArchive(remotePath("dev1/dev1.zip"), {{"ok.txt", "ok"}, test.hostile, {"link/evil", "x"}},
                 test.format);
    const auto before = tree();

    EXPECT_THAT(calls_.inflate("dev1/dev1.zip", "dev1"), IsError("LocalFolderDelegate", test.code));

    EXPECT_EQ(tree(), before);
    fs::remove_all(remotePath("dev1"));
  }
}

TEST_F(LocalFolderDelegateTest, InflationDoesNotFollowALinkAlreadyInTheDestination) {
  fs::create_directories(remotePath("dev1"));
  fs::create_directory_symlink(space_.file("outside"), remotePath("dev1/images"));
  writeArchive(remotePath("dev1/dev1.zip"), {{"images/evil", "x"}});

  const auto error = calls_.inflate("dev1/dev1.zip", "dev1");
  EXPECT_EQ(error.value_or(Error{}).domain, "NSPOSIXErrorDomain");
  EXPECT_TRUE(fs::is_empty(space_.file("outside")));
}

TEST_F(LocalFolderDelegateTest, PathsThatLeaveTheRootAreRefusedAndTouchNothing) {
  const std::string file = space_.write("local/f", "f");
  for (const std::string path : {"../outside/x", "/escape", "dev1/../../outside"}) {
    SCOPED_TRACE(path);
    const auto before = tree();
    EXPECT_THAT(calls_.upload(file, path), IsError("LocalFolderDelegate", kRefusedPath));
    EXPECT_THAT(calls_.createDirectory(path).second, IsError("LocalFolderDelegate", kRefusedPath));
    EXPECT_THAT(calls_.deleteFile(path), Pair(false, IsError("LocalFolderDelegate", kRefusedPath)));
    EXPECT_THAT(calls_.list(path).second, IsError("LocalFolderDelegate", kRefusedPath));
    EXPECT_FALSE(calls_.download(path).first.has_value());
    EXPECT_THAT(calls_.inflate(path, "dev1"), IsError("LocalFolderDelegate", kRefusedPath));
    EXPECT_THAT(calls_.inflate("dev1/dev1.zip", path),
                IsError("LocalFolderDelegate", kRefusedPath));
    EXPECT_EQ(tree(), before);
  }
}

TEST_F(LocalFolderDelegateTest, StoredLinksAreNeverFollowed) {
  const std::string secret = space_.write("outside/secret", "outside the remote");
  writeArchive(space_.file("outside/evil.zip"), {{"evil", "x"}});
  const std::string local = space_.write("local/photo", "photo");
  struct Case {
    const char* what;
    std::function<void()> request;
  } cases[] = {
      {"download a link", [&] { EXPECT_FALSE(calls_.download("dev1/to-secret").first); }},
      {"read a link", [&] { EXPECT_FALSE(calls_.read("dev1/to-secret").first); }},
      {"read through a linked folder",
       [&] { EXPECT_FALSE(calls_.read("dev1/to-outside/secret").first); }},
      {"download through a linked folder",
       [&] { EXPECT_FALSE(calls_.download("dev1/to-outside/secret").first); }},
      {"list a linked folder",
       [&] {
         EXPECT_THAT(calls_.list("dev1/to-outside").second, IsError("NSPOSIXErrorDomain", ENOTDIR));
       }},
      {"list sizes",
       [&] {
         const auto listed = calls_.list("dev1").first;
         ASSERT_TRUE(listed.has_value());
         for (const Member& member : listed->members) {
           EXPECT_EQ(member.fileSizeInByte, 0) << member.fullName;
         }
       }},
      {"delete through a linked folder",
       [&] { EXPECT_FALSE(calls_.deleteFile("dev1/to-outside/secret").first); }},
      {"delete the link itself",
       [&] {
         const auto [deleted, error] = calls_.deleteFile("dev1/to-outside");
         EXPECT_TRUE(deleted);
         EXPECT_FALSE(error.has_value());
         EXPECT_FALSE(fs::exists(fs::symlink_status(remotePath("dev1/to-outside"))));
       }},
      {"upload over a link",
       [&] {
         EXPECT_EQ(calls_.upload(local, "dev1/to-secret"), std::nullopt);
         EXPECT_EQ(readRemote("dev1/to-secret"), "photo");
         EXPECT_FALSE(fs::is_symlink(remotePath("dev1/to-secret")));
       }},
      {"upload an archive over a link",
       [&] {
         EXPECT_EQ(calls_.upload(local, "dev1/to-outside.zip"), std::nullopt);
         EXPECT_FALSE(fs::is_symlink(remotePath("dev1/to-outside.zip")));
       }},
      {"upload through a linked folder",
       [&] { EXPECT_TRUE(calls_.upload(local, "dev1/to-outside/photo").has_value()); }},
      {"create if absent through a linked folder",
       [&] { EXPECT_TRUE(calls_.uploadIfAbsent(local, "dev1/to-outside/lock").second); }},
      {"create a folder through a linked folder",
       [&] { EXPECT_TRUE(calls_.createDirectory("dev1/to-outside/sub").second.has_value()); }},
      {"inflate a linked archive",
       [&] {
         EXPECT_THAT(calls_.inflate("dev1/to-evil.zip", "dev1"),
                     IsError("LocalFolderDelegate", kUnreadableArchive));
         EXPECT_FALSE(fs::exists(remotePath("dev1/evil")));
       }},
      {"inflate into a linked folder",
       [&] {
         writeArchive(remotePath("dev1/dev1.zip"), {{"evil", "x"}});
         EXPECT_TRUE(calls_.inflate("dev1/dev1.zip", "dev1/to-outside").has_value());
       }},
      {"copy or move a link",
       [&] {
         EXPECT_THAT(calls_.copy("dev1/to-secret", "dev1/copy").second,
                     IsError("NSPOSIXErrorDomain", ELOOP));
         EXPECT_THAT(calls_.move("dev1/to-secret", "dev1/copy").second,
                     IsError("NSPOSIXErrorDomain", ELOOP));
         EXPECT_TRUE(fs::is_symlink(remotePath("dev1/to-secret")));
         EXPECT_FALSE(fs::exists(fs::symlink_status(remotePath("dev1/copy"))));
       }},
      {"copy or move through a linked folder",
       [&] {
         for (const auto& outcome : {calls_.copy("dev1/to-outside/secret", "dev1/copy"),
                                     calls_.move("dev1/to-outside/secret", "dev1/copy")}) {
           EXPECT_THAT(outcome, Pair(hosts::StoreAnswer::missing, Eq(std::nullopt)));
         }
         EXPECT_FALSE(fs::exists(fs::symlink_status(remotePath("dev1/copy"))));
       }},
      {"copy or move into a linked folder",
       [&] {
         putRemote("dev1/photo", "photo");
         EXPECT_THAT(calls_.copy("dev1/photo", "dev1/to-outside/photo").second,
                     IsError("NSPOSIXErrorDomain", ENOTDIR));
         EXPECT_THAT(calls_.move("dev1/photo", "dev1/to-outside/photo").second,
                     IsError("NSPOSIXErrorDomain", ENOTDIR));
         EXPECT_EQ(readRemote("dev1/photo"), "photo");
       }},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    fs::remove_all(remotePath("dev1"));
    fs::create_directories(remotePath("dev1"));
    fs::create_symlink(secret, remotePath("dev1/to-secret"));
    fs::create_directory_symlink(space_.file("outside"), remotePath("dev1/to-outside"));
    fs::create_directory_symlink(space_.file("outside"), remotePath("dev1/to-outside.zip"));
    fs::create_symlink(space_.file("outside/evil.zip"), remotePath("dev1/to-evil.zip"));
    const auto outside = [&] {
      std::map<std::string, uintmax_t> files;
      for (const auto& [path, size] : tree()) {
        if (path.rfind("outside", 0) == 0) files[path] = size;
      }
      return files;
    };
    const auto before = outside();

    test.request();

    EXPECT_EQ(outside(), before);
    EXPECT_EQ(space_.read("outside/secret"), "outside the remote");
    EXPECT_TRUE(!fs::exists(downloads_) || fs::is_empty(downloads_));
  }
}

// ---- Transfers

TEST_F(LocalFolderDelegateTest, UploadReplacesTheOldFileOnlyOnceComplete) {
  putRemote("dev1/big", "old");
  const std::string bytes = randomContent(9 * 1024 * 1024, 3);
  std::mutex mutex;
  std::vector<std::string> seenWhileCopying;

  // The progress callback looks at the target mid-copy.
  Answer<std::optional<Error>> answer;
  delegate_->uploadFile(
      space_.write("local/big", bytes), "dev1/big",
      [&](const TransferProgress& progress) {
        if (progress.fractionCompleted >= 1.0) return;
        std::lock_guard lock(mutex);
        seenWhileCopying.push_back(readRemote("dev1/big"));
      },
      answer.callback());
  EXPECT_THAT(answer.wait(), AnsweredWith(Eq(std::nullopt)));

  EXPECT_TRUE(readRemote("dev1/big") == bytes);
  ASSERT_FALSE(seenWhileCopying.empty());
  EXPECT_THAT(seenWhileCopying, Each(std::string("old")));
  EXPECT_THAT(leftovers("dev1"), IsEmpty());
}

TEST_F(LocalFolderDelegateTest, UploadFromAnotherFileSystemArrivesWhole) {
  // The in-kernel copy cannot cross file systems; the buffered copy takes over.
  std::string folder = "/dev/shm/tessellon-test-XXXXXX";
  if (!fs::is_directory("/dev/shm") || ::mkdtemp(folder.data()) == nullptr) {
    GTEST_SKIP() << "no second file system at /dev/shm";
  }
  const std::string bytes = randomContent(1000 * 1000 + 7, 8);
  std::ofstream(folder + "/photo", std::ios::binary) << bytes;
  std::vector<double> fractions;

  const auto error = calls_.upload(folder + "/photo", "photo", &fractions);
  fs::remove_all(folder);

  EXPECT_EQ(error, std::nullopt);
  EXPECT_TRUE(readRemote("photo") == bytes);
  ASSERT_GT(fractions.size(), 1u);
  EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
  EXPECT_DOUBLE_EQ(fractions.back(), 1.0);
}

TEST_F(LocalFolderDelegateTest, AnArchiveTakenByLinkOutlivesItsSourceBeingReplaced) {
  putRemote("dev1/dev1.zip", "old");
  const std::string local = space_.write("local/dev1.zip", "first archive");
  ASSERT_EQ(calls_.upload(local, "dev1/dev1.zip"), std::nullopt);
  // The next archive is a new file at the same local path.
  fs::remove(local);
  space_.write("local/dev1.zip", "second archive");
  EXPECT_EQ(readRemote("dev1/dev1.zip"), "first archive");
  EXPECT_THAT(leftovers("dev1"), IsEmpty());
}

TEST_F(LocalFolderDelegateTest, CancelledTransfersLeaveNothingBehind) {
  putRemote("dev1/big", "old");
  const std::string local = space_.write("local/big", randomContent(17 * 1024 * 1024, 6));
  ASSERT_EQ(calls_.upload(local, "dev1/copy"), std::nullopt);

  // Cancels from the first progress report, once the caller holds the handle.
  struct Canceller {
    std::promise<std::shared_ptr<CancellationDelegate>> handle;
    std::shared_future<std::shared_ptr<CancellationDelegate>> ready = handle.get_future().share();
    std::function<void(const TransferProgress&)> progress() {
      return [ready = ready](const TransferProgress&) { ready.get()->cancel(); };
    }
  } upload, download;
  Answer<std::optional<Error>> uploaded;
  upload.handle.set_value(
      delegate_->uploadFile(local, "dev1/big", upload.progress(), uploaded.callback()));
  Answer<std::optional<std::string>, std::optional<BackupSDKError>> downloaded;
  download.handle.set_value(
      delegate_->downloadFile("dev1/copy", download.progress(), downloaded.callback()));

  EXPECT_THAT(uploaded.wait(), AnsweredWith(IsError("NSURLErrorDomain", -999)));
  EXPECT_EQ(readRemote("dev1/big"), "old");
  EXPECT_THAT(leftovers("dev1"), IsEmpty());

  EXPECT_EQ(downloaded.wait(),
            std::make_tuple(std::optional<std::string>(),
                            std::optional(BackupSDKError::delegateFileDownloadFailed)));
  EXPECT_TRUE(fs::is_empty(downloads_));
}

// A listing reads every name anyway, and a folder is cleared before the first file this remote
// writes into it; a live writer's and another host's temporaries stay.
TEST_F(LocalFolderDelegateTest, AKilledWritersTemporariesGoWhenTheFolderIsListedOrFirstWritten) {
  char host[256] = {};
  ASSERT_EQ(::gethostname(host, sizeof host - 1), 0);
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ASSERT_GT(child, 0);
  ASSERT_EQ(::waitpid(child, nullptr, 0), child);
  const std::string dead = std::string(host) + "-" + std::to_string(child) + "-";
  const std::string alive = std::string(host) + "-" + std::to_string(::getpid()) + "-";
  const std::string otherHost = ".tessellon-upload-elsewhere-" + std::to_string(child) + "-20";
  for (const std::string folder : {"dev1", "dev1/images"}) {
    putRemote(folder + "/.tessellon-upload-" + dead + "17", "partial upload");
    putRemote(folder + "/.tessellon-inflate-" + dead + "18", "partial entry");
    putRemote(folder + "/.tessellon-upload-" + alive + "19", "being written");
    putRemote(folder + "/" + otherHost, "other host");
  }
  const std::vector<std::string> stay = {".tessellon-upload-" + alive + "19", otherHost};

  const auto [listing, error] = calls_.list("dev1/images");
  ASSERT_FALSE(error.has_value());
  std::vector<std::string> listed;
  for (const Member& member : listing->members) listed.push_back(member.fullName);
  EXPECT_THAT(listed, UnorderedElementsAre("dev1/images/" + stay[0], "dev1/images/" + stay[1]));
  EXPECT_THAT(leftovers("dev1/images"), UnorderedElementsAreArray(stay));

  EXPECT_EQ(calls_.createDirectory("dev1").second, std::nullopt);
  EXPECT_EQ(leftovers("dev1").size(), 4u) << "making sure of a folder does not read it";
  ASSERT_EQ(calls_.upload(space_.write("local/doc", "text"), "dev1/doc.json"), std::nullopt);
  EXPECT_THAT(leftovers("dev1"), UnorderedElementsAreArray(stay));
}

TEST_F(LocalFolderDelegateTest, AFullRemoteAnswers507AndKeepsNothingPartial) {
  calls_.release();
  delegate_ = std::make_shared<LocalFolderDelegate>(root_, LocalFolderDelegate::kDefaultZipSize,
                                                    10000, downloads_);
  calls_ = DelegateCalls(delegate_);
  ASSERT_EQ(calls_.upload(space_.write("local/a", randomContent(4000, 1)), "a"), std::nullopt);

  // Any domain will do: the code is what the library reacts to.
  EXPECT_THAT(calls_.upload(space_.write("local/b", randomContent(8000, 2)), "b"),
              Optional(Field(&Error::code, 507)));
  EXPECT_FALSE(fs::exists(remotePath("b")));
  EXPECT_THAT(leftovers(""), IsEmpty());

  // Extraction counts against the same room.
  writeArchive(remotePath("dev1.zip"), {{"images/c", randomContent(5000, 3)}});
  EXPECT_THAT(calls_.inflate("dev1.zip", ""), Optional(Field(&Error::code, 507)));
  EXPECT_FALSE(fs::exists(remotePath("images/c")));
  EXPECT_THAT(leftovers("images"), IsEmpty());
}

TEST_F(LocalFolderDelegateTest, BadRequestsGetClearErrors) {
  putRemote("dev1/file", "f");
  const std::string local = space_.write("local/f", "f");

  EXPECT_THAT(calls_.upload(local, "missing/f"), IsError("NSPOSIXErrorDomain", ENOENT));
  EXPECT_FALSE(fs::exists(remotePath("missing")));
  EXPECT_THAT(calls_.upload(space_.file("local/none"), "dev1/x"),
              IsError("NSPOSIXErrorDomain", ENOENT));
  EXPECT_THAT(calls_.list("dev1/file").second, IsError("NSPOSIXErrorDomain", ENOTDIR));
  const auto [exists, createError] = calls_.createDirectory("dev1/file");
  EXPECT_FALSE(exists);
  EXPECT_TRUE(createError.has_value());
  EXPECT_THAT(calls_.deleteFile(""), Pair(false, IsError("LocalFolderDelegate", kRefusedPath)));
  EXPECT_TRUE(fs::exists(root_));
  EXPECT_EQ(calls_.download("dev1").second, BackupSDKError::delegateFileDownloadFailed);
  // A stored file streams as it is; a folder or a missing file does not.
  const std::string big = randomContent(3 * 1024 * 1024 + 5, 9);
  putRemote("dev1/big", big);
  EXPECT_EQ(calls_.read("dev1/big").first, big);
  EXPECT_EQ(calls_.read("dev1").second, BackupSDKError::delegateFileDownloadFailed);
  EXPECT_EQ(calls_.read("dev1/none").second, BackupSDKError::delegateFileDoesNotExist);
  for (const char* archive : {"dev1/file", "dev1/none.zip"}) {
    SCOPED_TRACE(archive);
    EXPECT_THAT(calls_.inflate(archive, "dev1"),
                IsError("LocalFolderDelegate", kUnreadableArchive));
  }
}

TEST_F(LocalFolderDelegateTest, OfRacingCreateIfAbsentRequestsExactlyOneCreates) {
  // Two delegates over one folder, as two processes sharing the remote have.
  auto other = std::make_shared<LocalFolderDelegate>(root_, LocalFolderDelegate::kDefaultZipSize,
                                                     std::nullopt, downloads_);
  DelegateCalls otherCalls(other);
  fs::create_directories(remotePath("dev1"));
  const std::string mine = space_.write("local/mine", randomContent(256 * 1024, 1));
  const std::string theirs = space_.write("local/theirs", randomContent(256 * 1024, 2));
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    std::promise<void> go;
    std::shared_future<void> started = go.get_future().share();
    DelegateCalls::Outcome first, second;
    std::thread racer([&] {
      started.wait();
      second = otherCalls.uploadIfAbsent(theirs, "dev1/lock.json");
    });
    go.set_value();
    first = calls_.uploadIfAbsent(mine, "dev1/lock.json");
    racer.join();
    EXPECT_EQ(first.second, std::nullopt);
    EXPECT_EQ(second.second, std::nullopt);
    ASSERT_NE(first.first, second.first);
    // The winner's bytes, whole; no temporary file left behind.
    EXPECT_TRUE(readRemote("dev1/lock.json") == space_.read(first.first ? mine : theirs));
    EXPECT_THAT(leftovers("dev1"), IsEmpty());
    fs::remove(remotePath("dev1/lock.json"));
  }
}

// ---- Threads and lifetime

TEST_F(LocalFolderDelegateTest, QueuedRequestsAreAnsweredOnItsThreadBeforeItGoesAway) {
  std::vector<Answer<std::optional<Error>>> uploads(5);
  for (size_t i = 0; i < uploads.size(); ++i) {
    delegate_->uploadFile(space_.write("local/" + std::to_string(i), randomContent(50000, i)),
                          std::to_string(i), nullptr, uploads[i].callback());
  }
  calls_.release();
  delegate_.reset();

  for (size_t i = 0; i < uploads.size(); ++i) {
    EXPECT_EQ(uploads[i].count(), 1u);
    EXPECT_NE(uploads[i].thread(), std::this_thread::get_id());
    EXPECT_EQ(uploads[i].thread(), uploads[0].thread());
    EXPECT_TRUE(fs::exists(remotePath(std::to_string(i))));
  }
}

// A run refreshes its lock while a large video goes up to a slow disk: the refresh must not
// wait for the video, or the lock turns stale and the run stops.
TEST_F(LocalFolderDelegateTest, ALockRefreshIsAnsweredWhileALargeTransferIsUnderWay) {
  putRemote("dev1/lock.json", "{}");
  std::promise<void> opened;
  const std::shared_future<void> gate = opened.get_future().share();
  std::atomic<bool> held{false};
  Answer<std::optional<Error>> large;
  delegate_->uploadFile(
      space_.write("local/video.mp4", randomContent(3 << 20, 1)), "dev1/video.mp4",
      [gate, &held](const TransferProgress&) {
        // The slow disk: the transfer stays under way until the test lets it end.
        if (!held.exchange(true)) (void)gate.wait_for(std::chrono::seconds(30));
      },
      large.callback());
  const auto download = calls_.download("dev1/lock.json");
  EXPECT_EQ(download.second, std::nullopt);
  EXPECT_EQ(calls_.upload(space_.write("local/lock.json", "{\"a\":1}"), "dev1/lock.json"),
            std::nullopt);
  EXPECT_EQ(calls_.list("dev1").second, std::nullopt);
  EXPECT_EQ(large.count(), 0u);
  opened.set_value();
  const auto answered = large.wait();
  ASSERT_TRUE(answered);
  EXPECT_EQ(std::get<0>(*answered), std::nullopt);
  EXPECT_EQ(fs::file_size(remotePath("dev1/video.mp4")), 3u << 20);
  EXPECT_EQ(readRemote("dev1/lock.json"), "{\"a\":1}");
}

TEST_F(LocalFolderDelegateTest, MayBeDestroyedByItsOwnLastAnswer) {
  std::promise<void> done;
  auto* raw = delegate_.get();
  raw->createDirectory("dev1", [keep = delegate_, &done](bool, std::optional<Error>) mutable {
    keep.reset();
    done.set_value();
  });
  calls_.release();
  delegate_.reset();
  EXPECT_EQ(done.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
}

TEST_F(LocalFolderDelegateTest, DefaultDownloadsArePrivateFilesThatLeaveNoFolderBehind) {
  putRemote("dev1/backup.json", "{}");
  TempDir temporary;
  const char* const saved = std::getenv("TMPDIR");
  const std::string previous = saved != nullptr ? saved : "";
  ::setenv("TMPDIR", temporary.path().c_str(), 1);
  auto delegate = std::make_shared<LocalFolderDelegate>(root_);
  saved != nullptr ? ::setenv("TMPDIR", previous.c_str(), 1) : ::unsetenv("TMPDIR");
  DelegateCalls calls(delegate);
  EXPECT_TRUE(fs::is_empty(temporary.path()));

  const auto first = calls.download("dev1/backup.json").first;
  const auto second = calls.download("dev1/backup.json").first;
  ASSERT_TRUE(first && second);
  EXPECT_NE(*first, *second);
  for (const std::string& path : {*first, *second}) {
    EXPECT_EQ(fs::path(path).parent_path(), temporary.path());
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  }

  // What the library does with a download it has read: nothing of it is left.
  fs::remove(*first);
  fs::remove(*second);
  EXPECT_TRUE(fs::is_empty(temporary.path()));
}

}  // namespace
}  // namespace tessellon
