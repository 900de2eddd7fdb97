#pragma once

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

#include "tessellon/BackupSDKError.h"
#include "tessellon/Error.h"

namespace tessellon::hosts {

// Codes of the domain "LocalFolderDelegate": requests the folder remote refuses.
enum class LocalFolderError : int {
  refusedPath = 1,        // a remote path that leaves the root
  unsafeArchive = 2,      // an archive entry that could write outside its destination
  unreadableArchive = 3,  // not a ZIP archive, or a damaged one
};

inline constexpr const char* kLocalFolderErrorDomain = "LocalFolderDelegate";

inline Error localFolderError(LocalFolderError code, std::string message) {
  return Error{kLocalFolderErrorDomain, static_cast<int>(code), std::move(message)};
}

inline Error refusedPath(const std::string& relative) {
  return localFolderError(LocalFolderError::refusedPath,
                          "the path \"" + relative + "\" leaves the remote folder");
}

// A file-system failure as hosts report it: the errno under "NSPOSIXErrorDomain".
inline Error posixError(int code, const std::string& what) {
  return Error{"NSPOSIXErrorDomain", code, what + ": " + std::strerror(code)};
}

// The remote is full: the status code the library stops a backup on.
inline Error storageFull(const std::string& what) {
  return Error{kLocalFolderErrorDomain, static_cast<int>(APIErrorCodes::InsufficientStorage),
               "the remote folder is full: " + what};
}

// An errno from a write, with ENOSPC turned into the remote's "full" answer.
inline Error writeError(int code, const std::string& what) {
  return code == ENOSPC ? storageFull(what) : posixError(code, what);
}

// How a cancelled transfer ends; the library counts this as a cancellation.
inline Error transferCancelled() {
  return Error{"NSURLErrorDomain", -999, "the transfer was cancelled"};
}

}  // namespace tessellon::hosts
