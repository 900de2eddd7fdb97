#pragma once

#include <memory>

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
  RemoteIOService(std::shared_ptr<BackupSDKDelegate> delegate,
                  std::shared_ptr<FileIOServiceProtocol> fileIOService,
                  std::shared_ptr<LoggerProtocol> logger,
                  std::shared_ptr<SingleFileTransferStateReporterProtocol> fileTransferReporter);

  Future<Void> uploadFile(const std::string& localPath, const std::string& relativeRemotePath,
                          std::shared_ptr<CancelToken> cancelToken) override;
  Future<std::string> downloadFile(const std::string& relativeRemotePath,
                                   std::shared_ptr<CancelToken> cancelToken) override;
  Future<std::string> downloadFile(const std::string& relativeRemotePath, int64_t fileSizeBytes,
                                   std::shared_ptr<CancelToken> cancelToken) override;
  Future<std::string> downloadFileInternal(const std::string& relativeRemotePath,
                                           ProgressReport progressReport,
                                           std::shared_ptr<CancelToken> cancelToken) override;
  Future<Void> createDirectory(const std::string& relativeRemotePath,
                               std::shared_ptr<CancelToken> cancelToken) override;
  Future<Void> deleteFile(const std::string& relativeRemotePath,
                          std::shared_ptr<CancelToken> cancelToken) override;
  Future<Directory> getDirectoryInfo(const std::string& relativeRemotePath,
                                     std::shared_ptr<CancelToken> cancelToken) override;
  Future<Void> inflateZip(const std::string& remoteSrcPath, const std::string& remoteDstPath,
                          std::shared_ptr<CancelToken> cancelToken) override;
  int64_t getZipSize() override;

 private:
  int64_t sizeForUpload(const std::string& localPath);

  const std::shared_ptr<BackupSDKDelegate> delegate_;
  const std::shared_ptr<FileIOServiceProtocol> fileIOService_;  // may be null
  const std::shared_ptr<LoggerProtocol> logger_;                // may be null
  const std::shared_ptr<SingleFileTransferStateReporterProtocol> fileTransferReporter_;
};

}  // namespace tessellon
