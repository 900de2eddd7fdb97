#include "platform/memorymap/PositionalFile.h"

#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <utility>

#include "platform/files/OpenForReading.h"
#include "platform/files/PosixError.h"

namespace tessellon {

Result<std::unique_ptr<MappedContent>> PositionalFile::open(const std::string& path) {
  Result<int> opened = openForReading(path, "open");
  if (!opened.ok()) return opened.error();
  const int descriptor = opened.value();

  struct stat status;
  if (::fstat(descriptor, &status) != 0) {
    const int error = errno;
    ::close(descriptor);
    return posixError("stat " + path, error);
  }
  if (!S_ISREG(status.st_mode)) {
    ::close(descriptor);
    return posixError("map " + path, EINVAL);
  }
  return std::unique_ptr<MappedContent>(
      new PositionalFile(descriptor, static_cast<std::int64_t>(status.st_size), path));
}

PositionalFile::PositionalFile(int descriptor, std::int64_t size, std::string path)
    : descriptor_(descriptor), size_(size), path_(std::move(path)) {}

PositionalFile::~PositionalFile() { ::close(descriptor_); }

Result<void> PositionalFile::copy(std::int64_t offset, std::int64_t length,
                                  unsigned char* destination) const {
  if (offset < 0 || length < 0 || offset > size_ || length > size_ - offset) {
    return posixError("read " + path_, EINVAL);
  }
  while (length > 0) {
    const ssize_t count = ::pread(descriptor_, destination, static_cast<std::size_t>(length),
                                  static_cast<off_t>(offset));
    if (count < 0) {
      if (errno == EINTR) continue;
      return posixError("read " + path_, errno);
    }
    // The file shrank since it was opened.
    if (count == 0) return posixError("read " + path_, EIO);
    destination += count;
    offset += count;
    length -= count;
  }
  return {};
}

}  // namespace tessellon
