#pragma once

#include <algorithm>
#include <atomic>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "media/MediaItemWithHashes.h"
#include "platform/memorymap/FileContentReader.h"
#include "support/AwaitResult.h"
#include "support/ErrorMatchers.h"
#include "support/MediaServices.h"
#include "support/MediaTree.h"
#include "support/RecordingLogger.h"
#include "support/TempDir.h"

namespace tessellon {

// Counts the files whose content is opened for a fingerprint; forwards to the real reader.
class CountingReader final : public FileContentReaderProtocol {
 public:
  int opened() const { return opened_.load(); }

  Result<std::int64_t> fileSize(const std::string& path) override { return real_.fileSize(path); }
  Result<std::unique_ptr<FileContentStream>> openStream(const std::string& path) override {
    ++opened_;
    return real_.openStream(path);
  }
  Result<std::unique_ptr<MappedContent>> mapFile(const std::string& path) override {
    ++opened_;
    return real_.mapFile(path);
  }

 private:
  FileContentReader real_;
  std::atomic<int> opened_{0};
};

// A home folder with "Pictures" and "Movies", a temporary folder and the real media services.
class MediaTestBase : public ::testing::Test {
 protected:
  MediaTestBase() : tree_(temp_.path() + "/home", {}) {
    tree_.folder("Pictures");
    tree_.folder("Movies");
  }

  // Builds the services (again, as the next run would: a fresh memory over the same folders).
  MediaServices& services(std::shared_ptr<FileIOServiceProtocol> files = nullptr) {
    services_ = MediaServices::build(
        {temp_.path() + "/home", temp_.path() + "/tmp", std::move(files), reader_, logger_});
    return services_;
  }

  std::vector<std::shared_ptr<MediaItem>> preview(
      const std::shared_ptr<MediaItemRepository>& repository) {
    auto result = awaitResult(repository->getItemsOnBackupPreview(std::make_shared<CancelToken>()));
    EXPECT_TRUE(result && result->isSuccess());
    return result && result->isSuccess() ? result->successValue()
                                         : std::vector<std::shared_ptr<MediaItem>>{};
  }

  MediaScan scanned(const std::shared_ptr<MediaItemRepository>& repository,
                    std::shared_ptr<const MediaMetaData> record = nullptr) {
    auto result =
        awaitResult(repository->scanOnBackupPreview(std::make_shared<CancelToken>(), record));
    EXPECT_TRUE(result && result->isSuccess());
    return result && result->isSuccess() ? result->successValue() : MediaScan{};
  }

  MediaItemsWithHashes withHashes(const std::shared_ptr<MediaItemRepository>& repository) {
    auto result = awaitResult(
        repository->getItemsWithHashOnRestore(std::make_shared<CancelToken>(), {Version(1, 1)}));
    EXPECT_TRUE(result && result->isSuccess());
    return result && result->isSuccess() ? result->successValue() : MediaItemsWithHashes{};
  }

  static std::vector<std::string> ids(const std::vector<std::shared_ptr<MediaItem>>& items) {
    std::vector<std::string> result;
    for (const auto& item : items) result.push_back(item->id);
    std::sort(result.begin(), result.end());
    return result;
  }

  TempDir temp_;
  MediaTree tree_;
  std::shared_ptr<CountingReader> reader_ = std::make_shared<CountingReader>();
  std::shared_ptr<RecordingLogger> logger_ = std::make_shared<RecordingLogger>();
  MediaServices services_;
};

}  // namespace tessellon
