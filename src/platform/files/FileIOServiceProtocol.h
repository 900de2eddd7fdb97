#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tessellon/Date.h"

#include "futures/Future.h"
#include "futures/Result.h"
#include "platform/files/FileAttributes.h"
#include "platform/files/ListedItem.h"

namespace tessellon {

// The attributes restore sets on a file it wrote.
struct FileAttributeChanges {
  std::optional<Date> modificationDate;
  std::optional<Date> creationDate;
  // Permission bits, given as for a new file: the process's file-creation mask
  // is taken off, so 0666 gives what the user's ordinary files get.
  std::optional<uint32_t> posixPermissions;
};

// The library's gateway to the local files it creates, moves, reads and deletes
// itself. Future-returning operations complete before they return and never
// throw; they map failures to BackupSDKError codes. The others return the
// platform error (domain "NSPOSIXErrorDomain", errno code) unchanged. Every
// call runs on the caller's thread.
class FileIOServiceProtocol {
 public:
  static constexpr std::string_view kProtocolName = "FileIOServiceProtocol";
  FileIOServiceProtocol() = default;
  virtual ~FileIOServiceProtocol() = default;
  FileIOServiceProtocol(const FileIOServiceProtocol&) = delete;
  FileIOServiceProtocol& operator=(const FileIOServiceProtocol&) = delete;

  // Creates or replaces the file with `content`; 401 when it cannot be created.
  virtual Future<Void> write(const std::string& path, const std::string& content) = 0;
  // The whole file as UTF-8 text; 402 when missing, unreadable or not UTF-8.
  virtual Future<std::string> read(const std::string& path) = 0;
  // Moves `source` to `targetPath`, replacing what is there; equal paths are a
  // no-op success. 403 on failure.
  virtual Future<Void> moveForced(const std::string& source, const std::string& targetPath) = 0;
  // Removes a file or a folder with its contents; 404 on failure, also when
  // nothing is there.
  virtual Future<Void> deleteItem(const std::string& path) = 0;
  // Every path below `path`, relative to it; empty on any error.
  virtual std::vector<std::string> subpathsOfDirectorySave(const std::string& path) = 0;
  // Creates the folder and its parents; an existing folder is fine. 405 on failure.
  virtual Future<Void> createDirectory(const std::string& path) = 0;
  virtual bool exists(const std::string& path) = 0;
  // As subpathsOfDirectorySave, with the platform error.
  virtual Result<std::vector<std::string>> subpathsOfDirectory(const std::string& path) = 0;
  // The entries of subpathsOfDirectory handed to `visit` one by one, each with its attributes
  // where the listing can read them cheaply (a folder's carry its type only); `visit` answers
  // false to end the walk. This default reads no attributes.
  virtual Result<void> visitSubpathsWithAttributes(const std::string& path,
                                                   const std::function<bool(ListedItem&&)>& visit) {
    Result<std::vector<std::string>> listed = subpathsOfDirectory(path);
    if (!listed.ok()) return listed.error();
    for (std::string& relative : std::move(listed).value()) {
      if (!visit({std::move(relative), {}})) break;
    }
    return {};
  }
  // Of the item itself; a symbolic link is not followed.
  virtual Result<FileAttributes> attributesOfItem(const std::string& path) = 0;
  virtual bool isReadableFile(const std::string& path) = 0;
  // Fails when `destiny` exists.
  virtual Result<void> copyItem(const std::string& source, const std::string& destiny) = 0;
  // Moves a file to `destiny`, which must not exist (EEXIST): never replaces
  // anything. Across volumes a copy followed by removal of `source`.
  virtual Result<void> moveItem(const std::string& source, const std::string& destiny) = 0;
  virtual Result<void> createDirectory(const std::string& path,
                                       bool withIntermediateDirectories) = 0;
  virtual Result<void> setAttributes(const FileAttributeChanges& attributes,
                                     const std::string& ofItemAtPath) = 0;
  // Free bytes of the volume that holds the temporary folder; nothing when unknown.
  virtual std::optional<int64_t> getTotalRemainingFreeSpaceInBytes() = 0;
  // The full-content checksum of the file at `path` ("xxh3-128:" + 32 lowercase hex digits, as
  // a backup records it), read in chunks: a file of any size costs one buffer. Links are
  // followed; anything but a regular file is refused.
  virtual Result<std::string> contentChecksum(const std::string& path) = 0;
  // Writes to disk what the file system holding the folder `path` keeps in memory, so files
  // written there survive a power cut; fails when that or an earlier write-back failed.
  virtual Result<void> syncFileSystem(const std::string& path) = 0;
};

}  // namespace tessellon
