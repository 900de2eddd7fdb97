#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "tessellon/BackupSDKDelegate.h"
#include "tessellon/Directory.h"

#include "futures/Future.h"

namespace tessellon {

class CancelToken;

// The remote storage as the pipelines see it: the host's delegate turned into
// futures. Remote paths are relative to a root only the host knows and are
// handed to it unchanged. Every future completes on the background queue
// ("BackupSDK background queue"), at most once, whatever the host does: only
// its first answer counts. Host errors pass through unchanged, except those of
// the cancellation class (testForCancellation), which complete the future as
// cancelled. A request the host leaves without answer or progress for the
// port's time limit fails with the code of a failed transfer of its kind
// (fileIOFailedToUploadFile for uploads and inflation, delegateFileDownloadFailed
// for downloads and reads, else the listing's, folder creation's or deletion's
// code). A null cancel token means the request cannot be cancelled; a
// cancelled token completes the future as cancelled (also when the host never
// answers) and aborts a running transfer through the host's handle. Every
// method returns at once and may be called from any thread.
class RemoteIOServiceProtocol {
 public:
  static constexpr std::string_view kProtocolName = "RemoteIOServiceProtocol";
  RemoteIOServiceProtocol() = default;
  virtual ~RemoteIOServiceProtocol() = default;
  RemoteIOServiceProtocol(const RemoteIOServiceProtocol&) = delete;
  RemoteIOServiceProtocol& operator=(const RemoteIOServiceProtocol&) = delete;

  using ProgressReport = std::function<void(const TransferProgress&)>;

  // Uploads the local file, reporting its progress as backup progress. Fails
  // with the host's error (code 507 when the remote is full). An already
  // cancelled token returns a cancelled future without asking the host.
  virtual Future<Void> uploadFile(const std::string& localPath,
                                  const std::string& relativeRemotePath,
                                  std::shared_ptr<CancelToken> cancelToken) = 0;

  // As above, with the caller's own progress callback (or none, called on the host's thread);
  // the running backup's progress is left alone, so small files of the library's own (its
  // lock) can travel beside an archive's upload.
  virtual Future<Void> uploadFileInternal(const std::string& localPath,
                                          const std::string& relativeRemotePath,
                                          ProgressReport progressReport,
                                          std::shared_ptr<CancelToken> cancelToken) = 0;

  // Creates the remote file from the local one only when nothing is at that path: succeeds
  // with true when it was created, false when something was already there (left untouched).
  // Atomic when the host's request is. Fails with the host's error, or fileIOFailedToUploadFile
  // when the host says the file was made and gives an error; no progress is reported.
  virtual Future<bool> uploadFileIfAbsent(const std::string& localPath,
                                          const std::string& relativeRemotePath,
                                          std::shared_ptr<CancelToken> cancelToken) = 0;

  // Downloads the file and succeeds with a local path whose last component is
  // the remote file's name, alone in a fresh private folder of its own (named
  // kDownloadFolderPrefix + random), so two downloads of one name never meet.
  // The caller deletes or moves the file once done; the file service removes
  // the folder with it. Fails with the host's BackupSDKError; with
  // delegateFileDownloadFailed when the host gives both or neither of path and
  // error, or a path that is not absolute and plain, lies in a folder of the
  // user's, or is no regular file (a link, a folder): such a path is left
  // alone. Fails with the error of making the folder or moving the file into
  // it; the host's file is then removed, as it is when it arrives after the
  // request ended. No progress is reported.
  virtual Future<std::string> downloadFile(const std::string& relativeRemotePath,
                                           std::shared_ptr<CancelToken> cancelToken) = 0;
  // As above, reporting progress of a file of `fileSizeBytes` as restore progress.
  virtual Future<std::string> downloadFile(const std::string& relativeRemotePath,
                                           int64_t fileSizeBytes,
                                           std::shared_ptr<CancelToken> cancelToken) = 0;
  // As above, with the caller's own progress callback (called on the host's thread).
  virtual Future<std::string> downloadFileInternal(const std::string& relativeRemotePath,
                                                   ProgressReport progressReport,
                                                   std::shared_ptr<CancelToken> cancelToken) = 0;

  // Streams the stored file's bytes to `consume` (on the host's thread) without a local copy.
  // Completes with true once they all passed, with false at once when the host cannot stream
  // (then download the file), or fails with the host's BackupSDKError.
  virtual Future<bool> readFile(const std::string& relativeRemotePath,
                                std::function<bool(const char* data, size_t size)> consume,
                                std::shared_ptr<CancelToken> cancelToken) = 0;

  // Fails with delegateDirectoryExist when the folder was already there, else
  // with the host's error.
  virtual Future<Void> createDirectory(const std::string& relativeRemotePath,
                                       std::shared_ptr<CancelToken> cancelToken) = 0;

  // Fails with the host's error, or delegateDeleteFileFailed when the host
  // deleted nothing and gave no error, or said it deleted and gave an error.
  virtual Future<Void> deleteFile(const std::string& relativeRemotePath,
                                  std::shared_ptr<CancelToken> cancelToken) = 0;

  // Fails with the host's error, or delegateDirectoryInfoFailed when the host
  // gave both or neither of listing and error. Members outside the folder or
  // whose name in it is empty, ".", ".." or holds a "/" are left out.
  virtual Future<std::shared_ptr<const Directory>> getDirectoryInfo(
      const std::string& relativeRemotePath, std::shared_ptr<CancelToken> cancelToken) = 0;

  // Extracts the uploaded archive into the destination folder, on the remote.
  virtual Future<Void> inflateZip(const std::string& remoteSrcPath,
                                  const std::string& remoteDstPath,
                                  std::shared_ptr<CancelToken> cancelToken) = 0;

  // The host's largest archive size in bytes, asked anew on every call.
  virtual int64_t getZipSize() = 0;

  // The mark of the next request that changes the remote (an upload, a folder creation, a
  // deletion, an inflation); see writesAnswered.
  virtual uint64_t writeMark() = 0;
  // Completes with true once the host has answered every request that changes the remote sent
  // from mark `from` up to mark `to`, or with false once `grace` has passed first. A cancelled
  // request counts as open until the host answers it: what it writes may still land.
  virtual Future<bool> writesAnswered(uint64_t from, uint64_t to,
                                      std::chrono::milliseconds grace) = 0;
};

}  // namespace tessellon
