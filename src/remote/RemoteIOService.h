#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "tessellon/BackupSDKDelegate.h"
#include "tessellon/LoggerProtocol.h"

#include "platform/files/FileIOServiceProtocol.h"
#include "remote/RemoteIOServiceProtocol.h"
#include "remote/SingleFileTransferStateReporter.h"

namespace tessellon {

class HostDownload;
class OpenWrites;
template <class T>
class HostRequest;

// The only caller of the host's delegate. Each request logs one line, calls
// the host on the calling thread and completes its future on the background
// queue; the port keeps no state between requests beyond the reporter's size.
// It trusts no answer of the host: see HostRequest and HostAnswerCheck.
class RemoteIOService final : public RemoteIOServiceProtocol {
 public:
  static constexpr std::chrono::milliseconds kDefaultRequestTimeout = std::chrono::minutes(10);

  // Downloads are moved into fresh folders in `downloadFolder` (the private
  // temporary folder); when it is empty, beside the host's file. A request the
  // host neither answers nor reports progress on for `requestTimeout` fails
  // (zero or less: never). A host's downloaded file inside one of `userFolders`
  // (the folders backed up and restored into), or outside both `downloadFolder` and
  // every one of `hostFolders` (the system's temporary folder) when any are given, is
  // refused and left alone.
  RemoteIOService(std::shared_ptr<BackupSDKDelegate> delegate,
                  std::shared_ptr<FileIOServiceProtocol> fileIOService,
                  std::shared_ptr<LoggerProtocol> logger,
                  std::shared_ptr<SingleFileTransferStateReporter> fileTransferReporter,
                  std::string downloadFolder = {},
                  std::chrono::milliseconds requestTimeout = kDefaultRequestTimeout,
                  std::vector<std::string> userFolders = {},
                  std::vector<std::string> hostFolders = {});

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
  uint64_t writeMark() override;
  Future<bool> writesAnswered(uint64_t from, uint64_t to, std::chrono::milliseconds grace) override;

 private:
  // A guarded request, watching the token, with the port's time limit (`scale` times it).
  template <class T>
  std::shared_ptr<HostRequest<T>> startRequest(std::string what, BackupSDKError timeoutCode,
                                               const std::shared_ptr<CancelToken>& cancelToken,
                                               int64_t scale = 1);
  // As above, for a request that changes the remote: it stays open until the host answers.
  template <class T>
  std::shared_ptr<HostRequest<T>> startWrite(std::string what, BackupSDKError timeoutCode,
                                             const std::shared_ptr<CancelToken>& cancelToken,
                                             int64_t scale = 1);
  int64_t sizeForUpload(const std::string& localPath);
  // The host's upload with the given progress callback, after the caller's checks and log line.
  Future<Void> sendFile(const std::string& localPath, const std::string& relativeRemotePath,
                        ProgressReport progressReport,
                        const std::shared_ptr<CancelToken>& cancelToken);

  const std::shared_ptr<BackupSDKDelegate> delegate_;
  const std::shared_ptr<FileIOServiceProtocol> fileIOService_;  // may be null
  const std::shared_ptr<LoggerProtocol> logger_;                // may be null
  const std::shared_ptr<SingleFileTransferStateReporter> fileTransferReporter_;
  const std::chrono::milliseconds requestTimeout_;
  const std::shared_ptr<const HostDownload> downloads_;
  const std::shared_ptr<OpenWrites> writes_;
};

}  // namespace tessellon
