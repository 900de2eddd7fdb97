#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "tessellon/BackupSDKError.h"
#include "tessellon/Directory.h"
#include "tessellon/Error.h"

namespace tessellon {

// Progress of one transfer.
struct TransferProgress {
  double fractionCompleted = 0;
};

// Returned by the host for a running transfer; cancel() aborts it. The host
// then completes the transfer with an error (or not at all).
class CancellationDelegate {
 public:
  virtual ~CancellationDelegate() = default;
  virtual void cancel() = 0;
};

// The remote storage, implemented by the host. Every remote path is relative to
// a root only the host knows; the library never prefixes or normalises it.
// Each request's completion is called exactly once, on any thread; progress
// callbacks may come on any thread too. The library does not rely on it: it
// ignores repeated answers and progress after the answer, and gives up on a
// request without answer or progress for BackupSDKOptions::remoteRequestTimeout.
// While a backup or restore runs, a small lock file in its device folder is
// read and rewritten every minute; a run whose lock has not been rewritten for
// five minutes stops, as another computer may soon take the folder over. A
// host that runs requests one at a time must not keep these small requests
// waiting behind a long transfer.
class BackupSDKDelegate {
 public:
  virtual ~BackupSDKDelegate() = default;

  // Uploads the local file to `relativeRemotePath`, replacing what is there.
  // A full remote answers with code 507 (APIErrorCodes::InsufficientStorage).
  virtual std::shared_ptr<CancellationDelegate> uploadFile(
      const std::string& localPath, const std::string& relativeRemotePath,
      std::function<void(const TransferProgress&)> progress,
      std::function<void(std::optional<Error>)> completion) = 0;

  // Downloads to a fresh local temporary file and completes with its absolute
  // path, or with delegateFileDoesNotExist / delegateFileDownloadFailed. The
  // file must be a regular file (not a link) outside the folders the library
  // backs up and restores into; the library moves it away.
  virtual std::shared_ptr<CancellationDelegate> downloadFile(
      const std::string& relativeRemotePath, std::function<void(const TransferProgress&)> progress,
      std::function<void(std::optional<std::string> localPath, std::optional<BackupSDKError>)>
          completion) = 0;

  // Streams the stored file's bytes, in order, to `consume` (on any thread, one call at a time;
  // it answers false to stop early), then completes with nothing, or with
  // delegateFileDoesNotExist / delegateFileDownloadFailed. For reading a file only to check it:
  // no local copy is made. Optional: this default answers nullptr without calling anything,
  // and the library downloads the file instead.
  virtual std::shared_ptr<CancellationDelegate> readFile(
      const std::string& relativeRemotePath,
      std::function<bool(const char* data, size_t size)> consume,
      std::function<void(std::optional<BackupSDKError>)> completion);

  // Puts the local file at `relativeRemotePath` only when nothing is there yet:
  // `created` is true when this request made the file, false (without an
  // error) when something was already there, which stays untouched. The
  // library's locks rely on this being atomic: of two hosts asking at once,
  // one creates and one is told that the file exists, and a reader never sees
  // a half-written file. The parent folder must exist.
  //
  // This default is NOT atomic: it lists the parent folder, then uploads when
  // the name is absent. A host that can create a file exclusively (a link, a
  // conditional request) should override it.
  virtual void uploadFileIfAbsent(
      const std::string& localPath, const std::string& relativeRemotePath,
      std::function<void(bool created, std::optional<Error>)> completion);

  // Creates the folder; `alreadyExists` is true when it was there before.
  virtual void createDirectory(
      const std::string& relativeRemotePath,
      std::function<void(bool alreadyExists, std::optional<Error>)> completion) = 0;

  // Deletes a file or a folder with its contents.
  virtual void deleteFile(const std::string& relativeRemotePath,
                          std::function<void(bool deleted, std::optional<Error>)> completion) = 0;

  // Lists a folder; a missing folder is an error.
  virtual void getDirectoryInfo(
      const std::string& relativeRemotePath,
      std::function<void(std::optional<Directory>, std::optional<Error>)> completion) = 0;

  // Extracts the uploaded archive at `remoteSrcPath` into `remoteDstPath`.
  virtual void inflateZip(const std::string& remoteSrcPath, const std::string& remoteDstPath,
                          std::function<void(std::optional<Error>)> completion) = 0;

  // The largest archive, in bytes, the library may build for one upload.
  virtual int64_t getZipSize() = 0;
};

}  // namespace tessellon
