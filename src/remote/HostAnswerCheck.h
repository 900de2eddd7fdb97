#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "tessellon/Directory.h"

#include "platform/files/FileIOServiceProtocol.h"

namespace tessellon {

// Checks on what the host hands the remote port, before anything in the library acts on it:
// the local file of a download, and the names of a listing. Stateless; any thread.
class HostAnswerCheck {
 public:
  // Why the library must not take the host's downloaded file at `path`, or nothing when it may:
  // the path must be absolute without "." or ".." components, inside `temporaryFolder` (the
  // library's own, may be empty) or else outside `userFolders` (the folders the library backs
  // up and restores into) and, when `hostFolders` are given, inside one of them; and it must
  // name a regular file, not a link.
  static std::optional<std::string> refusedDownload(FileIOServiceProtocol& files,
                                                    const std::string& path,
                                                    const std::string& temporaryFolder,
                                                    const std::vector<std::string>& userFolders,
                                                    const std::vector<std::string>& hostFolders);

  // Drops the members no later step may turn into a path: those outside `listedFolder`, and
  // those whose name after the folder's prefix is empty, ".", ".." or holds a "/". Returns how
  // many were dropped.
  static size_t dropUnsafeMembers(Directory& listing, const std::string& listedFolder);
};

}  // namespace tessellon
