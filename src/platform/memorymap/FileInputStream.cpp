#include "platform/memorymap/FileInputStream.h"

#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <utility>

#include "platform/files/OpenForReading.h"
#include "platform/files/PosixError.h"

namespace tessellon {

Result<std::unique_ptr<FileContentStream>> FileInputStream::open(const std::string& path) {
  Result<int> descriptor = openForReading(path, "open");
  if (!descriptor.ok()) return descriptor.error();
  return std::unique_ptr<FileContentStream>(new FileInputStream(descriptor.value(), path));
}

FileInputStream::FileInputStream(int descriptor, std::string path)
    : descriptor_(descriptor), path_(std::move(path)) {}

FileInputStream::~FileInputStream() { ::close(descriptor_); }

Result<std::size_t> FileInputStream::read(unsigned char* buffer, std::size_t length) {
  std::size_t total = 0;
  while (total < length) {
    const ssize_t count = ::read(descriptor_, buffer + total, length - total);
    if (count < 0) {
      if (errno == EINTR) continue;
      return posixError("read " + path_, errno);
    }
    if (count == 0) break;
    total += static_cast<std::size_t>(count);
  }
  return total;
}

Result<std::int64_t> FileInputStream::skip(std::int64_t length) {
  if (length <= 0) return std::int64_t{0};
  const off_t position = ::lseek(descriptor_, 0, SEEK_CUR);
  struct stat status;
  if (position < 0 || ::fstat(descriptor_, &status) != 0 || !S_ISREG(status.st_mode)) {
    // Pipes and devices cannot seek; read through them instead.
    return skipByReading(length);
  }
  // Seeking past the end would succeed silently; stop at the end as a read would.
  const std::int64_t available = std::max<std::int64_t>(0, status.st_size - position);
  const std::int64_t step = std::min(length, available);
  if (::lseek(descriptor_, static_cast<off_t>(step), SEEK_CUR) < 0) {
    return posixError("seek " + path_, errno);
  }
  return step;
}

Result<std::int64_t> FileInputStream::skipByReading(std::int64_t length) {
  unsigned char scratch[1024];
  std::int64_t skipped = 0;
  while (skipped < length) {
    const auto want =
        static_cast<std::size_t>(std::min<std::int64_t>(sizeof scratch, length - skipped));
    Result<std::size_t> count = read(scratch, want);
    if (!count.ok()) return count.error();
    if (count.value() == 0) break;
    skipped += static_cast<std::int64_t>(count.value());
  }
  return skipped;
}

}  // namespace tessellon
