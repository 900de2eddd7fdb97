#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tessellon/BackupSDKDelegate.h"

namespace tessellon {

// Forwards to a real remote and keeps a copy of every archive that reaches it,
// in upload order (the remote itself keeps only the last one).
class ArchiveKeepingDelegate final : public BackupSDKDelegate {
 public:
  ArchiveKeepingDelegate(std::shared_ptr<BackupSDKDelegate> inner, std::string folder)
      : inner_(std::move(inner)), folder_(std::move(folder)) {
    std::filesystem::create_directories(folder_);
  }

  std::vector<std::string> archives() const {
    std::lock_guard lock(mutex_);
    return archives_;
  }

  std::shared_ptr<CancellationDelegate> uploadFile(
      const std::string& localPath, const std::string& relativeRemotePath,
      std::function<void(const TransferProgress&)> progress,
      std::function<void(std::optional<Error>)> completion) override {
    {
      std::lock_guard lock(mutex_);
      archives_.push_back(folder_ + "/archive-" + std::to_string(archives_.size() + 1) + ".zip");
      std::filesystem::copy_file(localPath, archives_.back());
    }
    return inner_->uploadFile(localPath, relativeRemotePath, std::move(progress),
                              std::move(completion));
  }
  std::shared_ptr<CancellationDelegate> downloadFile(
      const std::string& path, std::function<void(const TransferProgress&)> progress,
      std::function<void(std::optional<std::string>, std::optional<BackupSDKError>)> completion)
      override {
    return inner_->downloadFile(path, std::move(progress), std::move(completion));
  }
  void createDirectory(const std::string& path,
                       std::function<void(bool, std::optional<Error>)> completion) override {
    inner_->createDirectory(path, std::move(completion));
  }
  void deleteFile(const std::string& path,
                  std::function<void(bool, std::optional<Error>)> completion) override {
    inner_->deleteFile(path, std::move(completion));
  }
  void getDirectoryInfo(
      const std::string& path,
      std::function<void(std::optional<Directory>, std::optional<Error>)> completion) override {
    inner_->getDirectoryInfo(path, std::move(completion));
  }
  void inflateZip(const std::string& source, const std::string& destination,
                  std::function<void(std::optional<Error>)> completion) override {
    inner_->inflateZip(source, destination, std::move(completion));
  }
  int64_t getZipSize() override { return inner_->getZipSize(); }

 private:
  const std::shared_ptr<BackupSDKDelegate> inner_;
  const std::string folder_;
  mutable std::mutex mutex_;
  std::vector<std::string> archives_;
};

}  // namespace tessellon
