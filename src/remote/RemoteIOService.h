#pragma once

#include <memory>
#include <string>

#include "tessellon/BackupSDKDelegate.h"
#include "tessellon/LoggerProtocol.h"

#include "platform/files/FileIOServiceProtocol.h"
#include "remote/RemoteIOServiceProtocol.h"
#include "remote/SingleFileTransferStateReporterProtocol.h"

namespace tessellon {

// The only caller of the host's delegate. Each request logs one line, calls
// the host on the calling thread and completes its future on the background
// queue; the port keeps no state between requests beyond the reporter's size.
class RemoteIOService final : public RemoteIOServiceProtocol {
 public:
  // Downloads are moved into fresh folders in `downloadFolder` (the private
  // temporary folder); when it is empty, beside the host's file.
  RemoteIOService(std::shared_ptr<BackupSDKDelegate> delegate,
                  std::shared_ptr<FileIOServiceProtocol> fileIOService,
                  std::shared_ptr<LoggerProtocol> logger,
                  std::shared_ptr<SingleFileTransferStateReporterProtocol> fileTransferReporter,
                  std::string downloadFolder = {});

  Future<Void> uploadFile(const std::string& localPath, const std::string& relativeRemotePath,
                          std::shared_ptr<CancelToken> cancelToken) override;
  Future<Void> uploadFileInternal(const std::string& localPath,
                                  const std::string& relativeRemotePath,
                                  ProgressReport progressReport,
                                  std::shared_ptr<CancelToken> cancelToken) override;
  Future<bool> uploadFileIfAbsent(const std::string& localPath,
                                  const std::string& relativeRemotePath,
                                  std::shared_ptr<CancelToken> cancelToken) override;
  Future<std::string> downloadFile(const std::string& relativeRemotePath,
                                   std::shared_ptr<CancelToken> cancelToken) override;
  Future<std::string> downloadFile(const std::string& relativeRemotePath, int64_t fileSizeBytes,
                                   std::shared_ptr<CancelToken> cancelToken) override;
  Future<std::string> downloadFileInternal(const std::string& relativeRemotePath,
                                           ProgressReport progressReport,
                                           std::shared_ptr<CancelToken> cancelToken) override;
  Future<bool> readFile(const std::string& relativeRemotePath,
                        std::function<bool(const char* data, size_t size)> consume,
                        std::shared_ptr<CancelToken> cancelToken) override;
  Future<Void> createDirectory(const std::string& relativeRemotePath,
                               std::shared_ptr<CancelToken> cancelToken) override;
  Future<Void> deleteFile(const std::string& relativeRemotePath,
                          std::shared_ptr<CancelToken> cancelToken) override;
  Future<std::shared_ptr<const Directory>> getDirectoryInfo(
      const std::string& relativeRemotePath, std::shared_ptr<CancelToken> cancelToken) override;
  Future<Void> inflateZip(const std::string& remoteSrcPath, const std::string& remoteDstPath,
                          std::shared_ptr<CancelToken> cancelToken) override;
  int64_t getZipSize() override;

 private:
  int64_t sizeForUpload(const std::string& localPath);
  // The host's upload with the given progress callback, after the caller's checks and log line.
  Future<Void> sendFile(const std::string& localPath, const std::string& relativeRemotePath,
                        ProgressReport progressReport, std::shared_ptr<CancelToken> cancelToken);

  const std::shared_ptr<BackupSDKDelegate> delegate_;
  const std::shared_ptr<FileIOServiceProtocol> fileIOService_;  // may be null
  const std::shared_ptr<LoggerProtocol> logger_;                // may be null
  const std::shared_ptr<SingleFileTransferStateReporterProtocol> fileTransferReporter_;
  const std::string downloadFolder_;  // may be empty
};

}  // namespace tessellon
