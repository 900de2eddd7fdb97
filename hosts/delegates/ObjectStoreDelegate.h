#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "tessellon/BackupSDKDelegate.h"

#include "delegates/RemoteVersions.h"

namespace tessellon::hosts {

class ObjectStore;
class WorkerPool;

// A remote storage over the network (WebDAV, S3-compatible), built on an ObjectStore that knows
// the remote's requests. Requests run on `transfers` threads of the delegate's own, several at
// once, so completions and progress arrive on those threads, never on the caller's stack; each
// transfer is cancelled at once through its CancellationDelegate. Such stores cannot unpack an
// archive, so an archive (a path ending in ".zip") never crosses: uploading one keeps it in a
// private staging folder, inflateZip uploads its entries from there `transfers` at a time (see
// ArchiveUploader), and deleting it drops the staged copy. An archive asked to be
// inflated that was not staged here is fetched from the remote first. Paths that leave the root
// ("..", absolute paths) are refused. What a killed process left goes at the next start: its
// staging folder when the delegate is made, its hidden uploads in a device folder when a run
// makes sure of that folder (see ObjectStore::removeStaleUploads). A create-if-absent that finds
// a file with exactly its own bytes counts as created: a retry whose first attempt landed.
//
// Errors: HTTP statuses under domain "HTTP" with the status as code (507: the remote is full;
// 401/403: the credentials were refused), transport failures under "CURLError" with libcurl's
// code, local files under "NSPOSIXErrorDomain", a cancelled transfer as "NSURLErrorDomain"
// -999, refused paths and archives as LocalFolderDelegate's codes.
class ObjectStoreDelegate final : public tessellon::BackupSDKDelegate, public RemoteVersions {
 public:
  static constexpr int64_t kDefaultZipSize = int64_t{512} * 1024 * 1024;
  static constexpr int kDefaultTransfers = 4;

  // `workFolder` (created when missing; default $TMPDIR or /tmp) receives the downloads, each a
  // new file readable only by this user, and a private staging folder that goes away with the
  // delegate.
  ObjectStoreDelegate(std::shared_ptr<ObjectStore> store, int64_t zipSize = kDefaultZipSize,
                      int transfers = kDefaultTransfers,
                      std::optional<std::string> workFolder = std::nullopt);
  // Runs the requests still queued, then joins the threads and removes the staging folder.
  ~ObjectStoreDelegate() override;

  ObjectStoreDelegate(const ObjectStoreDelegate&) = delete;
  ObjectStoreDelegate& operator=(const ObjectStoreDelegate&) = delete;

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
  // The body streamed straight from the remote: nothing is written here.
  std::shared_ptr<tessellon::CancellationDelegate> readFile(
      const std::string& relativeRemotePath,
      std::function<bool(const char* data, size_t size)> consume,
      std::function<void(std::optional<tessellon::BackupSDKError>)> completion) override;
  // The store's own create-if-absent request.
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

  // The store's own copy and move, on the delegate's threads. An archive kept in staging has not
  // reached the remote and is not found there.
  void copyFile(
      const std::string& from, const std::string& to,
      std::function<void(StoreAnswer, std::optional<tessellon::Error>)> completion) override;
  void moveFile(
      const std::string& from, const std::string& to,
      std::function<void(StoreAnswer, std::optional<tessellon::Error>)> completion) override;

 private:
  struct State;

  const std::shared_ptr<State> state_;
  const std::shared_ptr<WorkerPool> workers_;
};

}  // namespace tessellon::hosts
