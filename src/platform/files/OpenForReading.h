#pragma once

#include <sys/stat.h>
#include <string>
#include <string_view>

#include "futures/Result.h"
#include "platform/files/FileDescriptor.h"

namespace tessellon {

// Opens `path` read-only and non-blocking, so that opening a FIFO cannot wait
// for a writer (regular files ignore the flag); an interrupted open is retried.
// Fails with posixError("<action> <path>").
Result<int> openForReading(const std::string& path, std::string_view action);

// The same, refusing all but a regular file, since a pipe or a device could
// block or never end: EISDIR for a folder, EINVAL for the rest. Fills `status`.
Result<FileDescriptor> openRegularFile(const std::string& path, std::string_view action,
                                       struct stat& status);

}  // namespace tessellon
