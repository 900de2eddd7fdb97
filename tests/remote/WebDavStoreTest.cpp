// The WebDAV remote against a real Apache: faults on the way (a proxy answering 500, resetting
// connections or losing an answer, the server stopped mid-transfer, a full volume), cancellation,
// create-if-absent under contention, and what a killed run leaves. Each ends in a clear error or a
// successful retry, and the server then holds either the whole file or nothing of it.

#include <sys/wait.h>
#include <unistd.h>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "remote/DelegateCalls.h"
#include "remote/NetworkRemotes.h"
#include "remote/TestArchives.h"
#include "support/ErrorMatchers.h"
#include "support/FaultyHttpProxy.h"
#include "support/MediaTree.h"

namespace tessellon {
namespace {

namespace fs = std::filesystem;
using ::testing::Eq;
using ::testing::Field;
using ::testing::HasSubstr;
using ::testing::Optional;
using ::testing::Pair;

class WebDavStoreTest : public ::testing::Test {
 protected:
  explicit WebDavStoreTest(ApacheDavServer::Options options = {})
      : server_((clearAwsEnvironment(), options)) {}

  // A delegate talking to `url` (the server, or a proxy in front of it).
  DelegateCalls& delegateFor(const std::string& url, hosts::HttpOptions options = quickRetries()) {
    delegate_ = std::make_shared<hosts::ObjectStoreDelegate>(
        std::make_shared<hosts::WebDavStore>(url, std::move(options)),
        hosts::ObjectStoreDelegate::kDefaultZipSize, 4, local_.file("work"));
    calls_ = std::make_unique<DelegateCalls>(delegate_);
    return *calls_;
  }
  std::string local(const std::string& name, const std::string& bytes) {
    return local_.write(name, bytes);
  }
  // The files the server holds below its root, hidden upload names included.
  std::vector<std::string> storedFiles() const {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(server_.davRoot())) {
      if (entry.is_regular_file()) {
        files.push_back(entry.path().lexically_relative(server_.davRoot()).string());
      }
    }
    std::sort(files.begin(), files.end());
    return files;
  }
  std::string storedBytes(const std::string& name) const {
    return local_.read(server_.davRoot() + "/" + name);
  }

  ApacheDavServer server_;
  TempDir local_;
  std::shared_ptr<BackupSDKDelegate> delegate_;
  std::unique_ptr<DelegateCalls> calls_;
};

TEST_F(WebDavStoreTest, AnswersOf500AndResetConnectionsAreRetried) {
  FaultyHttpProxy proxy(server_.port());
  proxy.arm("PUT", 1, FaultyHttpProxy::Fault::answer500);
  proxy.arm("MOVE", 1, FaultyHttpProxy::Fault::reset);
  proxy.arm("PROPFIND", 1, FaultyHttpProxy::Fault::reset);
  proxy.arm("GET", 1, FaultyHttpProxy::Fault::answer500);
  DelegateCalls& calls = delegateFor(proxy.url());
  const std::string bytes = randomContent(1000000, 3);

  EXPECT_EQ(calls.upload(local("a", bytes), "a.jpg"), std::nullopt);
  EXPECT_EQ(calls.list("").second, std::nullopt);
  const auto [path, error] = calls.download("a.jpg");
  ASSERT_TRUE(path.has_value());
  EXPECT_TRUE(local_.read(*path) == bytes);
  EXPECT_TRUE(storedBytes("a.jpg") == bytes);
  for (const char* method : {"PUT", "MOVE", "PROPFIND", "GET"}) EXPECT_EQ(proxy.count(method), 2u);
}

TEST_F(WebDavStoreTest, AFailureThatLastsEndsInItsErrorAfterBoundedAttempts) {
  FaultyHttpProxy proxy(server_.port());
  proxy.arm("PUT", 0, FaultyHttpProxy::Fault::answer500);
  DelegateCalls& calls = delegateFor(proxy.url(), quickRetries(3));

  EXPECT_THAT(calls.upload(local("a", "abc"), "a.jpg"), IsError("HTTP", 500));
  EXPECT_EQ(proxy.count("PUT"), 3u);
  EXPECT_THAT(storedFiles(), ::testing::IsEmpty());
}

TEST_F(WebDavStoreTest, AServerStoppedMidTransferIsRetriedOnceItIsBack) {
  hosts::HttpOptions patient = quickRetries(8);
  patient.retry.firstDelay = std::chrono::milliseconds(250);
  patient.retry.maxDelay = std::chrono::milliseconds(1000);
  delegateFor(server_.url(), patient);
  const std::string bytes = randomContent(48 * 1024 * 1024, 4);
  std::atomic<bool> stopping{false};

  // The transfer waits in its progress callback while the server goes down and comes back.
  Answer<std::optional<Error>> upload;
  delegate_->uploadFile(
      local("big", bytes), "big.mov",
      [&](const TransferProgress& progress) {
        if (progress.fractionCompleted > 0.1 && !stopping.exchange(true)) {
          server_.stop();
          server_.start();
        }
      },
      upload.callback());
  EXPECT_THAT(upload.wait(), AnsweredWith(Eq(std::nullopt)));
  EXPECT_TRUE(stopping.load());
  EXPECT_TRUE(storedBytes("big.mov") == bytes);
}

TEST_F(WebDavStoreTest, AServerThatStaysDownEndsInATransportErrorAndStoresNothing) {
  delegateFor(server_.url(), quickRetries(3));
  const std::string bytes = randomContent(48 * 1024 * 1024, 5);
  std::atomic<bool> stopping{false};

  Answer<std::optional<Error>> upload;
  delegate_->uploadFile(
      local("big", bytes), "big.mov",
      [&](const TransferProgress& progress) {
        if (progress.fractionCompleted > 0.1 && !stopping.exchange(true)) server_.stop();
      },
      upload.callback());
  const auto answer = upload.wait();

  ASSERT_TRUE(answer.has_value());
  const std::optional<Error> error = std::get<0>(*answer);
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->domain, "CURLError") << error->message;
  EXPECT_FALSE(fs::exists(server_.davRoot() + "/big.mov"));
}

TEST_F(WebDavStoreTest, CancelStopsARunningUploadAtOnce) {
  delegateFor(server_.url());
  std::atomic<bool> started{false};
  Answer<std::optional<Error>> upload;
  const auto transfer = delegate_->uploadFile(
      local("big", randomContent(128 * 1024 * 1024, 6)), "big.mov",
      [&](const TransferProgress& progress) {
        if (progress.fractionCompleted > 0) started = true;
      },
      upload.callback());
  while (!started.load()) std::this_thread::yield();
  transfer->cancel();
  EXPECT_THAT(upload.wait(), AnsweredWith(IsError("NSURLErrorDomain", -999)));
  EXPECT_FALSE(fs::exists(server_.davRoot() + "/big.mov"));
}

TEST_F(WebDavStoreTest, OfConcurrentCreatorsExactlyOneCreates) {
  // Apache checks "Overwrite: F" and renames in two steps; without the claim about one round in
  // ten let two creators through.
  delegateFor(server_.url());
  constexpr int kRounds = 12;
  constexpr int kCreators = 8;
  for (int round = 0; round < kRounds; ++round) {
    const std::string target = "lock" + std::to_string(round) + ".json";
    std::vector<Answer<bool, std::optional<Error>>> answers(kCreators);
    for (int i = 0; i < kCreators; ++i) {
      delegate_->uploadFileIfAbsent(
          local("lock" + std::to_string(i), "holder " + std::to_string(i)), target,
          answers[i].callback());
    }
    int created = 0;
    for (auto& answer : answers) {
      const auto value = answer.wait();
      ASSERT_TRUE(value.has_value());
      EXPECT_EQ(std::get<1>(*value), std::nullopt);
      created += std::get<0>(*value) ? 1 : 0;
    }
    EXPECT_EQ(created, 1) << "round " << round;
    EXPECT_THAT(storedBytes(target), HasSubstr("holder "));
  }
  EXPECT_FALSE(fs::exists(server_.davRoot() + "/.tessellon-claim-lock0.json"));
}

TEST_F(WebDavStoreTest, AKilledCreatorsClaimIsTakenOverOnceAbandoned) {
  delegateFor(server_.url());
  ASSERT_THAT(calls_->createDirectory("dev1"), Pair(false, Eq(std::nullopt)));
  const std::string claim = server_.davRoot() + "/dev1/.tessellon-claim-lock.json";
  fs::create_directory(claim);
  fs::last_write_time(claim, fs::file_time_type::clock::now() - std::chrono::minutes(6));

  EXPECT_THAT(calls_->uploadIfAbsent(local("ours", "laptop 4242"), "dev1/lock.json"),
              Pair(true, Eq(std::nullopt)));
  EXPECT_EQ(storedBytes("dev1/lock.json"), "laptop 4242");
  EXPECT_FALSE(fs::exists(claim));

  // A live claim beside a file that is there does not hold up the answer.
  fs::create_directory(claim);
  EXPECT_THAT(calls_->uploadIfAbsent(local("theirs", "desktop 17"), "dev1/lock.json"),
              Pair(false, Eq(std::nullopt)));
  EXPECT_EQ(storedBytes("dev1/lock.json"), "laptop 4242");
}

TEST_F(WebDavStoreTest, ACreateWhoseAnswerWasLostIsOursButAnotherRunsRecordIsNot) {
  FaultyHttpProxy proxy(server_.port());
  // The server moves the record into place, the answer never arrives, the retry finds it there.
  proxy.arm("MOVE", 1, FaultyHttpProxy::Fault::dropAnswer);
  DelegateCalls& calls = delegateFor(proxy.url());

  EXPECT_THAT(calls.uploadIfAbsent(local("ours", "laptop 4242 started 17"), "lock.json"),
              Pair(true, Eq(std::nullopt)));
  EXPECT_EQ(proxy.count("MOVE"), 2u);
  EXPECT_THAT(calls.uploadIfAbsent(local("theirs", "laptop 4243 started 18"), "lock.json"),
              Pair(false, Eq(std::nullopt)));
  EXPECT_EQ(storedBytes("lock.json"), "laptop 4242 started 17");
}

TEST_F(WebDavStoreTest, WhatAKilledRunLeftGoesAtTheNextStartButNotWhatALiveOneWrites) {
  char name[256] = {};
  ASSERT_EQ(::gethostname(name, sizeof name - 1), 0);
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ASSERT_GT(child, 0);
  ASSERT_EQ(::waitpid(child, nullptr, 0), child);
  const std::string host(name);
  const std::string dead = host + "-" + std::to_string(child) + "-";
  const std::string alive = host + "-" + std::to_string(::getpid()) + "-";
  const std::string staging = local_.file("work") + "/remote-staging-";
  fs::create_directories(staging + dead + "a1b2c3");
  local("work/remote-staging-" + dead + "a1b2c3/archive-0.zip", "staged archive");
  fs::create_directories(staging + alive + "d4e5f6");

  delegateFor(server_.url());
  ASSERT_THAT(calls_->createDirectory("dev1"), Pair(false, Eq(std::nullopt)));
  const auto put = [&](const std::string& stored, std::chrono::minutes age) {
    const std::string path = server_.davRoot() + "/dev1/" + stored;
    std::ofstream(path) << "partial";
    fs::last_write_time(path, fs::file_time_type::clock::now() - age);
  };
  put(".tessellon-upload-" + dead + "1", std::chrono::minutes(0));
  put(".tessellon-upload-" + alive + "2", std::chrono::minutes(30));
  put(".tessellon-upload-elsewhere-" + std::to_string(child) + "-3", std::chrono::minutes(1));
  put(".tessellon-upload-elsewhere-" + std::to_string(child) + "-4", std::chrono::minutes(11));
  put(".tessellon-upload-5", std::chrono::minutes(11));  // named before names told the owner
  put("notes.txt", std::chrono::minutes(60));

  EXPECT_THAT(calls_->createDirectory("dev1"), Pair(true, Eq(std::nullopt)));
  EXPECT_THAT(storedFiles(), ::testing::UnorderedElementsAre(
                                 "dev1/.tessellon-upload-" + alive + "2",
                                 "dev1/.tessellon-upload-elsewhere-" + std::to_string(child) + "-3",
                                 "dev1/notes.txt"));
  EXPECT_FALSE(fs::exists(staging + dead + "a1b2c3"));
  EXPECT_TRUE(fs::exists(staging + alive + "d4e5f6"));
}

class FullWebDavStoreTest : public WebDavStoreTest {
 protected:
  FullWebDavStoreTest()
      : WebDavStoreTest(ApacheDavServer::Options{std::nullopt, "", size_t{1024} * 1024}) {}
};

TEST_F(FullWebDavStoreTest, AFullVolumeAnswers507ForUploadsAndInflation) {
  if (!server_.volumeMounted()) GTEST_SKIP() << "needs the right to mount a tmpfs";
  DelegateCalls& calls = delegateFor(server_.url());
  const std::optional<Error> upload =
      calls.upload(local("big", randomContent(2 * 1024 * 1024, 7)), "big.mov");
  ASSERT_TRUE(upload.has_value());
  EXPECT_EQ(upload->code, 507);
  EXPECT_THAT(upload->message, HasSubstr("full"));

  writeArchive(local_.file("dev1.zip"), {{"images/a", randomContent(700000, 8)},
                                         {"images/b", randomContent(700000, 9)},
                                         {"backup.json", "{}"}});
  ASSERT_THAT(calls.createDirectory("dev1"), Pair(false, Eq(std::nullopt)));
  ASSERT_EQ(calls.upload(local_.file("dev1.zip"), "dev1/dev1.zip"), std::nullopt);
  EXPECT_THAT(calls.inflate("dev1/dev1.zip", "dev1"), Optional(Field(&Error::code, 507)));
  // The record comes last: it never names files that did not land.
  EXPECT_FALSE(fs::exists(server_.davRoot() + "/dev1/backup.json"));
}

}  // namespace
}  // namespace tessellon
