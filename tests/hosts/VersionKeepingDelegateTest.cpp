#include "delegates/VersionKeepingDelegate.h"

#include <filesystem>
#include <future>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "delegates/LocalFolderDelegate.h"
#include "remote/DelegateCalls.h"
#include "support/TempDir.h"

namespace tessellon {
namespace {

namespace fs = std::filesystem;

constexpr const char* kState = "20261207T220437.972Z";

class VersionKeepingDelegateTest : public ::testing::Test {
 protected:
  std::string kept(const std::string& path) const {
    return dir_.file("remote/DEV/.history/" + std::string(kState) + "/" + path);
  }
  std::optional<Error> upload(const std::string& bytes, const std::string& path) {
    return calls_.upload(dir_.write("local/" + std::to_string(++uploads_), bytes), path);
  }

  TempDir dir_;
  std::shared_ptr<hosts::LocalFolderDelegate> local_ =
      std::make_shared<hosts::LocalFolderDelegate>(dir_.file("remote"));
  std::shared_ptr<hosts::VersionKeepingDelegate> delegate_ =
      std::make_shared<hosts::VersionKeepingDelegate>(local_, local_, kState);
  DelegateCalls calls_{delegate_};
  int uploads_ = 0;
};

// Deletions from several threads at once, as a clean-up and a host's own threads may ask: each
// file lands in the state whole, none stays, and nothing of the history is listed.
TEST_F(VersionKeepingDelegateTest, ConcurrentDeletionsAllLandInTheState) {
  constexpr int kFiles = 40;
  for (int index = 0; index < kFiles; ++index) {
    dir_.write("remote/DEV/images/f" + std::to_string(index), std::string(100 + index, 'x'));
  }
  std::vector<std::thread> threads;
  std::vector<std::promise<std::pair<bool, std::optional<Error>>>> answers(kFiles);
  for (int part = 0; part < 4; ++part) {
    threads.emplace_back([&, part] {
      for (int index = part; index < kFiles; index += 4) {
        delegate_->deleteFile("DEV/images/f" + std::to_string(index),
                              [&answers, index](bool deleted, std::optional<Error> error) {
                                answers[index].set_value({deleted, std::move(error)});
                              });
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int index = 0; index < kFiles; ++index) {
    const auto [deleted, error] = answers[index].get_future().get();
    EXPECT_TRUE(deleted) << index;
    EXPECT_EQ(error, std::nullopt) << index;
    EXPECT_EQ(fs::file_size(kept("images/f" + std::to_string(index))), 100u + index);
  }
  EXPECT_TRUE(fs::is_empty(dir_.file("remote/DEV/images")));

  const std::optional<Directory> listing = calls_.list("DEV").first;
  ASSERT_TRUE(listing);
  ASSERT_EQ(listing->members.size(), 1u);
  EXPECT_EQ(listing->members[0].fullName, "DEV/images");
}

// A state holds each path as it was before the run: written twice, a record keeps its first
// bytes; deleted after that, it is not kept again; a lock passes untouched.
TEST_F(VersionKeepingDelegateTest, AStateHoldsWhatWasThereBeforeTheRunOnly) {
  dir_.write("remote/DEV/backup.json", "before");
  dir_.write("remote/DEV/images.json", "images before");
  ASSERT_EQ(upload("first", "DEV/backup.json"), std::nullopt);
  ASSERT_EQ(upload("second", "DEV/backup.json"), std::nullopt);
  ASSERT_EQ(upload("lock", "DEV/lock.json"), std::nullopt);
  EXPECT_TRUE(calls_.deleteFile("DEV/backup.json").first);

  EXPECT_EQ(dir_.read(kept("backup.json")), "before");
  EXPECT_EQ(dir_.read(kept("images.json")), "images before");
  EXPECT_FALSE(fs::exists(dir_.file("remote/DEV/backup.json")));
  EXPECT_FALSE(fs::exists(kept("lock.json")));
  EXPECT_EQ(dir_.read("remote/DEV/lock.json"), "lock");

  // The next run keeps in its own state what this one left.
  delegate_->beginRun("20261207T230000.000Z");
  ASSERT_EQ(upload("third", "DEV/images.json"), std::nullopt);
  EXPECT_EQ(dir_.read("remote/DEV/.history/20261207T230000.000Z/images.json"), "images before");
  EXPECT_EQ(dir_.read(kept("images.json")), "images before");
}

}  // namespace
}  // namespace tessellon
