#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "tessellon/BackupSDKDelegate.h"

#include "delegates/RemoteVersions.h"

namespace tessellon::hosts {

class WorkerPool;

// A remote storage that is a folder on this machine: the embedded default and
// the reference every other delegate is measured against. Requests are queued
// to two worker threads owned by the delegate: one for the library's documents
// (".json" files: its locks and records) and for folders, listings and
// deletions, one for the rest (media files, archives, inflations, copies and
// moves), so that the refresh of a run's lock never waits behind a large video
// on a slow disk. Completions and progress arrive on those threads, never on
// the caller's stack; each runs its requests one at a time in the order they
// were made. Remote paths must stay inside the root
// ("..", absolute paths and archive links are refused), and a symbolic link
// stored below the root is never followed: a request whose path meets one
// fails, a stored link is listed as an empty file, and deleting or uploading
// over it replaces the link itself. Files appear atomically: they are written
// to a temporary file beside the target, then renamed over it.
//
// Errors: file-system failures carry domain "NSPOSIXErrorDomain" and the errno;
// a full remote answers code 507 (APIErrorCodes::InsufficientStorage); a
// cancelled transfer answers "NSURLErrorDomain" -999; refused paths and
// archives use domain "LocalFolderDelegate".
class LocalFolderDelegate final : public tessellon::BackupSDKDelegate, public RemoteVersions {
 public:
  static constexpr int64_t kDefaultZipSize = int64_t{512} * 1024 * 1024;

  // `rootFolder` is created when missing. `capacityInBytes`, when set, makes
  // the remote full once the files under the root would exceed it (for tests
  // of a full remote); every request then runs on the one thread, so that the
  // bytes are counted one writer at a time. Each download is a new file readable only by this user,
  // "download-XXXXXX" in `downloadFolder`, or else "tessellon-download-XXXXXX"
  // directly in $TMPDIR (or /tmp) as it was at construction: no folder is made,
  // so once the library has taken the file (moved or deleted it) nothing of the
  // download is left.
  explicit LocalFolderDelegate(std::string rootFolder, int64_t zipSize = kDefaultZipSize,
                               std::optional<int64_t> capacityInBytes = std::nullopt,
                               std::optional<std::string> downloadFolder = std::nullopt);
  // Runs the requests still queued, then joins the worker.
  ~LocalFolderDelegate() override;

  LocalFolderDelegate(const LocalFolderDelegate&) = delete;
  LocalFolderDelegate& operator=(const LocalFolderDelegate&) = delete;

  std::shared_ptr<tessellon::CancellationDelegate> uploadFile(
      const std::string& localPath, const std::string& relativeRemotePath,
      std::function<void(const tessellon::TransferProgress&)> progress,
      std::function<void(std::optional<tessellon::Error>)> completion) override;
  std::shared_ptr<tessellon::CancellationDelegate> downloadFile(
      const std::string& relativeRemotePath,
      std::function<void(const tessellon::TransferProgress&)> progress,
      std::function<void(std::optional<std::string> localPath,
                         std::optional<tessellon::BackupSDKError>)>
          completion) override;
  // Reads the stored file in place, never through a link.
  std::shared_ptr<tessellon::CancellationDelegate> readFile(
      const std::string& relativeRemotePath,
      std::function<bool(const char* data, size_t size)> consume,
      std::function<void(std::optional<tessellon::BackupSDKError>)> completion) override;
  // Writes a temporary file beside the target, then links it to the target's name, which the
  // kernel refuses atomically when the name is taken.
  void uploadFileIfAbsent(
      const std::string& localPath, const std::string& relativeRemotePath,
      std::function<void(bool created, std::optional<tessellon::Error>)> completion) override;
  void createDirectory(
      const std::string& relativeRemotePath,
      std::function<void(bool alreadyExists, std::optional<tessellon::Error>)> completion) override;
  void deleteFile(
      const std::string& relativeRemotePath,
      std::function<void(bool deleted, std::optional<tessellon::Error>)> completion) override;
  void getDirectoryInfo(
      const std::string& relativeRemotePath,
      std::function<void(std::optional<tessellon::Directory>, std::optional<tessellon::Error>)>
          completion) override;
  void inflateZip(const std::string& remoteSrcPath, const std::string& remoteDstPath,
                  std::function<void(std::optional<tessellon::Error>)> completion) override;
  int64_t getZipSize() override;

  // A hard link, so the copy keeps its inode when an upload later renames a new file over
  // `from`; a byte copy where the file system has no hard links. A stored link is neither
  // copied nor moved.
  void copyFile(
      const std::string& from, const std::string& to,
      std::function<void(StoreAnswer, std::optional<tessellon::Error>)> completion) override;
  // A rename that refuses to replace; a link and an unlink for a file where the file system does
  // not know that rename.
  void moveFile(
      const std::string& from, const std::string& to,
      std::function<void(StoreAnswer, std::optional<tessellon::Error>)> completion) override;

  const std::string& rootFolder() const;

 private:
  struct Config;

  // Queues a request on the documents' thread when `quick`, else on the other.
  void post(bool quick, std::function<void()> task) const;

  const std::shared_ptr<const Config> config_;
  const std::shared_ptr<WorkerPool> worker_;  // one thread: media files, archives, in order
  const std::shared_ptr<WorkerPool> quick_;   // one thread: documents and folders, in order
};

}  // namespace tessellon::hosts
