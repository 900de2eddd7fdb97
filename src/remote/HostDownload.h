#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tessellon/BackupSDKError.h"
#include "tessellon/LoggerProtocol.h"

#include "platform/files/FileIOServiceProtocol.h"

namespace tessellon {

template <class T>
class HostRequest;

// Takes a file the host downloaded into a fresh private folder of its own, once it is sure the
// file is one the library may move. Used by the remote port on the background queue; immutable.
//
// Hosts keep their downloads in a temporary folder: the system's ($TMPDIR), or the library's
// (which a host may also give its own work folder). Only files there are taken, never one in the
// user's own folders, and only a regular file at an absolute, plain path. The move renames the name
// the check saw; what arrives in the private folder is checked again, so a link swapped in
// meanwhile is never read.
class HostDownload {
 public:
  // Files are moved into fresh folders in `downloadFolder` (when empty, beside the host's file);
  // a file in one of `userFolders` is never taken, nor, when `hostFolders` are given, one outside
  // both them and `downloadFolder`.
  HostDownload(std::shared_ptr<FileIOServiceProtocol> files,  // may be null
               std::shared_ptr<LoggerProtocol> logger,        // may be null
               std::string downloadFolder, std::vector<std::string> userFolders,
               std::vector<std::string> hostFolders = {});

  // Completes `request` with the path of the moved file, under the remote file's name, from
  // the host's answer `path` / `error`. A file arriving after the request ended is removed.
  void finish(HostRequest<std::string>& request, const std::string& relativeRemotePath,
              std::optional<std::string> path, std::optional<BackupSDKError> error) const;

 private:
  const std::shared_ptr<FileIOServiceProtocol> files_;
  const std::shared_ptr<LoggerProtocol> logger_;
  const std::string downloadFolder_;  // may be empty
  const std::vector<std::string> userFolders_;
  const std::vector<std::string> hostFolders_;
};

}  // namespace tessellon
