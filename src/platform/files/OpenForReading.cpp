#include "platform/files/OpenForReading.h"

#include <fcntl.h>
#include <cerrno>

#include "platform/files/PosixError.h"

namespace tessellon {

Result<int> openForReading(const std::string& path, std::string_view action) {
  int descriptor;
  do {
    descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  } while (descriptor < 0 && errno == EINTR);
  if (descriptor < 0) return posixError(std::string(action) + " " + path, errno);
  return descriptor;
}

Result<FileDescriptor> openRegularFile(const std::string& path, std::string_view action,
                                       struct stat& status) {
  Result<int> opened = openForReading(path, action);
  if (!opened.ok()) return opened.error();
  FileDescriptor file(opened.value());
  if (::fstat(file.get(), &status) != 0) return posixError(std::string(action) + " " + path, errno);
  if (!S_ISREG(status.st_mode)) {
    return posixError(std::string(action) + " " + path, S_ISDIR(status.st_mode) ? EISDIR : EINVAL);
  }
  return file;
}

}  // namespace tessellon
