#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tessellon/ForwardingDelegate.h"

namespace tessellon {

// Forwards to a real remote and keeps a copy of every archive that reaches it,
// in upload order (the remote itself keeps only the last one).
class ArchiveKeepingDelegate final : public ForwardingDelegate {
 public:
  ArchiveKeepingDelegate(std::shared_ptr<BackupSDKDelegate> inner, std::string folder)
      : ForwardingDelegate(std::move(inner)), folder_(std::move(folder)) {
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
    return ForwardingDelegate::uploadFile(localPath, relativeRemotePath, std::move(progress),
                                          std::move(completion));
  }

 private:
  const std::string folder_;
  mutable std::mutex mutex_;
  std::vector<std::string> archives_;
};

}  // namespace tessellon
