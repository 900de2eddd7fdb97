#pragma once

#include <string>

#include "platform/files/FileIOServiceProtocol.h"

namespace tessellon {

// The local file service over POSIX and std::filesystem. It keeps no state but
// the temporary folder whose volume it measures, so any thread may use it at
// any time. Platform errors carry domain "NSPOSIXErrorDomain" and the errno.
class FileIOService final : public FileIOServiceProtocol {
 public:
  // `temporaryDirectory`: the run's temporary folder (PlatformRoots::temporary);
  // free space is that of its volume. It need not exist yet.
  explicit FileIOService(std::string temporaryDirectory);

  // Replaces the file atomically: a sibling temporary file renamed over `path`,
  // so a reader sees the old content or the new, never a part. Inside the
  // temporary folder, only while that folder is still a private one of ours.
  Future<Void> write(const std::string& path, const std::string& content) override;
  // `path` may also be a "file://" URL text. A symbolic link is refused: what is
  // read here lives in our own folders.
  Future<std::string> read(const std::string& path) override;
  // Falls back to copy and remove across volumes. Refuses (403) to move an item
  // into itself or over a folder that contains it, and leaves the target alone
  // when the source is missing, so no file is lost to a bad call.
  Future<Void> moveForced(const std::string& source, const std::string& targetPath) override;
  // A file deleted or moved out of a download folder of the temporary folder
  // (kDownloadFolderPrefix) takes that folder with it (here and in the moves).
  Future<Void> deleteItem(const std::string& path) override;
  // Pre-order, each folder's entries sorted by name; links to folders are
  // listed, not entered.
  std::vector<std::string> subpathsOfDirectorySave(const std::string& path) override;
  Future<Void> createDirectory(const std::string& path) override;
  // Follows symbolic links: a dangling link does not exist.
  bool exists(const std::string& path) override;
  Result<std::vector<std::string>> subpathsOfDirectory(const std::string& path) override;
  Result<void> visitSubpathsWithAttributes(const std::string& path,
                                           const std::function<bool(ListedItem&&)>& visit) override;
  // The creation date is there when the file system records one (statx btime).
  Result<FileAttributes> attributesOfItem(const std::string& path) override;
  bool isReadableFile(const std::string& path) override;
  // Files keep their permissions and modification date; a failed copy leaves
  // nothing at `destiny`.
  Result<void> copyItem(const std::string& source, const std::string& destiny) override;
  // A rename that refuses to replace; the copy across volumes keeps the
  // permissions and dates of `source`.
  Result<void> moveItem(const std::string& source, const std::string& destiny) override;
  // Folders inside the temporary folder, and that folder itself, are made private
  // (0700) and refused when another user owns the temporary folder or a link
  // stands in the way.
  Result<void> createDirectory(const std::string& path, bool withIntermediateDirectories) override;
  // Sets the modification date and permissions: Linux cannot set a creation
  // date, so one is ignored without an error. The creation mask is read from
  // /proc (asking umask(2) would change it for every thread for a moment); when
  // it cannot be read, group and others get nothing.
  Result<void> setAttributes(const FileAttributeChanges& attributes,
                             const std::string& ofItemAtPath) override;
  // Bytes available to this user (f_bavail) on the temporary folder's volume;
  // while the folder does not exist, on the volume of its nearest ancestor.
  std::optional<int64_t> getTotalRemainingFreeSpaceInBytes() override;
  Result<std::string> contentChecksum(const std::string& path) override;
  Result<void> syncFileSystem(const std::string& path) override;

 private:
  const std::string temporaryDirectory_;
};

}  // namespace tessellon
