#include "platform/memorymap/FileContentReader.h"

#include <sys/stat.h>
#include <cerrno>

#include "platform/files/PosixError.h"
#include "platform/memorymap/FileInputStream.h"
#include "platform/memorymap/PositionalFile.h"

namespace tessellon {

Result<std::int64_t> FileContentReader::fileSize(const std::string& path) {
  struct stat status;
  if (::stat(path.c_str(), &status) != 0) return posixError("stat " + path, errno);
  // Pipes and devices report no meaningful size, and reading one may never end.
  if (S_ISDIR(status.st_mode)) return posixError("read " + path, EISDIR);
  if (!S_ISREG(status.st_mode)) return posixError("read " + path, EINVAL);
  return static_cast<std::int64_t>(status.st_size);
}

Result<std::unique_ptr<FileContentStream>> FileContentReader::openStream(const std::string& path) {
  return FileInputStream::open(path);
}

Result<std::unique_ptr<MappedContent>> FileContentReader::mapFile(const std::string& path) {
  return PositionalFile::open(path);
}

}  // namespace tessellon
