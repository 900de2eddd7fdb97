#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "tessellon/BackupSDKDelegate.h"

namespace tessellon {

// A delegate that hands every request to another one. A host derives from it to change one
// request and keep the rest: counting uploads, noting a full remote, keeping a copy of each
// archive.
class ForwardingDelegate : public BackupSDKDelegate {
 public:
  explicit ForwardingDelegate(std::shared_ptr<BackupSDKDelegate> inner)
      : inner_(std::move(inner)) {}

  std::shared_ptr<CancellationDelegate> uploadFile(
      const std::string& localPath, const std::string& relativeRemotePath,
      std::function<void(const TransferProgress&)> progress,
      std::function<void(std::optional<Error>)> completion) override {
    return inner_->uploadFile(localPath, relativeRemotePath, std::move(progress),
                              std::move(completion));
  }
  std::shared_ptr<CancellationDelegate> downloadFile(
      const std::string& relativeRemotePath, std::function<void(const TransferProgress&)> progress,
      std::function<void(std::optional<std::string> localPath, std::optional<BackupSDKError>)>
          completion) override {
    return inner_->downloadFile(relativeRemotePath, std::move(progress), std::move(completion));
  }
  std::shared_ptr<CancellationDelegate> readFile(
      const std::string& relativeRemotePath,
      std::function<bool(const char* data, size_t size)> consume,
      std::function<void(std::optional<BackupSDKError>)> completion) override {
    return inner_->readFile(relativeRemotePath, std::move(consume), std::move(completion));
  }
  void uploadFileIfAbsent(
      const std::string& localPath, const std::string& relativeRemotePath,
      std::function<void(bool created, std::optional<Error>)> completion) override {
    inner_->uploadFileIfAbsent(localPath, relativeRemotePath, std::move(completion));
  }
  void createDirectory(
      const std::string& relativeRemotePath,
      std::function<void(bool alreadyExists, std::optional<Error>)> completion) override {
    inner_->createDirectory(relativeRemotePath, std::move(completion));
  }
  void deleteFile(const std::string& relativeRemotePath,
                  std::function<void(bool deleted, std::optional<Error>)> completion) override {
    inner_->deleteFile(relativeRemotePath, std::move(completion));
  }
  void getDirectoryInfo(
      const std::string& relativeRemotePath,
      std::function<void(std::optional<Directory>, std::optional<Error>)> completion) override {
    inner_->getDirectoryInfo(relativeRemotePath, std::move(completion));
  }
  void inflateZip(const std::string& remoteSrcPath, const std::string& remoteDstPath,
                  std::function<void(std::optional<Error>)> completion) override {
    inner_->inflateZip(remoteSrcPath, remoteDstPath, std::move(completion));
  }
  int64_t getZipSize() override { return inner_->getZipSize(); }

 protected:
  BackupSDKDelegate& inner() const { return *inner_; }

 private:
  const std::shared_ptr<BackupSDKDelegate> inner_;
};

}  // namespace tessellon
