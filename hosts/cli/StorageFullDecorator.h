#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "tessellon/ForwardingDelegate.h"

namespace tessellon::cli {

// Forwards every request to the real remote and notes whether an upload or an inflation was
// refused because the remote is full (code 507), so the command can say so even when the library
// ends the run as cancelled. Thread-safe: completions may arrive on any thread.
class StorageFullDecorator final : public tessellon::ForwardingDelegate {
 public:
  static constexpr int kInsufficientStorage = 507;

  explicit StorageFullDecorator(std::shared_ptr<tessellon::BackupSDKDelegate> remote);

  bool sawStorageFull() const { return storageFull_->load(); }

  std::shared_ptr<tessellon::CancellationDelegate> uploadFile(
      const std::string& localPath, const std::string& relativeRemotePath,
      std::function<void(const tessellon::TransferProgress&)> progress,
      std::function<void(std::optional<tessellon::Error>)> completion) override;
  void inflateZip(const std::string& remoteSrcPath, const std::string& remoteDstPath,
                  std::function<void(std::optional<tessellon::Error>)> completion) override;

 private:
  // `completion`, noting a full remote on the way.
  std::function<void(std::optional<tessellon::Error>)> noting(
      std::function<void(std::optional<tessellon::Error>)> completion) const;

  // Shared with pending completions, which may outlive a request but not need the decorator.
  const std::shared_ptr<std::atomic<bool>> storageFull_;
};

}  // namespace tessellon::cli
