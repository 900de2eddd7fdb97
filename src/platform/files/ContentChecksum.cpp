#include "platform/files/ContentChecksum.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <new>

#include <xxhash.h>
#if defined(__x86_64__) || defined(__i386__)
#include <xxh_x86dispatch.h>
#endif

#include "platform/files/FileDescriptor.h"
#include "platform/files/PosixError.h"

namespace tessellon {

namespace {

constexpr size_t kReadChunk = 1 << 20;

}  // namespace

void ContentChecksum::FreeState::operator()(XXH3_state_s* state) const { XXH3_freeState(state); }

ContentChecksum::ContentChecksum() : state_(XXH3_createState()) {
  if (!state_) throw std::bad_alloc();
  XXH3_128bits_reset(state_.get());
}

ContentChecksum::~ContentChecksum() = default;

void ContentChecksum::update(const void* data, size_t length) {
#if defined(__x86_64__) || defined(__i386__)
  // The library's plain entry point uses only the baseline SSE2 code; this one picks AVX2 or
  // AVX-512 where the processor has them, about twice as fast.
  XXH3_128bits_update_dispatch(state_.get(), data, length);
#else
  XXH3_128bits_update(state_.get(), data, length);
#endif
}

std::string ContentChecksum::finish() const {
  XXH128_canonical_t canonical;
  XXH128_canonicalFromHash(&canonical, XXH3_128bits_digest(state_.get()));
  constexpr char kHex[] = "0123456789abcdef";
  std::string text(kPrefix);
  for (const unsigned char byte : canonical.digest) {
    text.push_back(kHex[byte >> 4]);
    text.push_back(kHex[byte & 0xf]);
  }
  return text;
}

Result<std::string> ContentChecksum::ofFile(const std::string& path) {
  // Non-blocking, so that opening a FIFO cannot wait for a writer; regular files ignore it.
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd.isOpen()) return posixError("checksum " + path, errno);
  struct stat status {};
  if (::fstat(fd.get(), &status) != 0) return posixError("checksum " + path, errno);
  // A pipe or a device could block or never end.
  if (!S_ISREG(status.st_mode)) {
    return posixError("checksum " + path, S_ISDIR(status.st_mode) ? EISDIR : EINVAL);
  }
  ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  const std::unique_ptr<char[]> buffer(new char[kReadChunk]);
  ContentChecksum checksum;
  while (true) {
    const ssize_t got = ::read(fd.get(), buffer.get(), kReadChunk);
    if (got == 0) return checksum.finish();
    if (got < 0) {
      if (errno == EINTR) continue;
      return posixError("checksum " + path, errno);
    }
    checksum.update(buffer.get(), static_cast<size_t>(got));
  }
}

std::string textChecksum(std::string_view text) {
  ContentChecksum checksum;
  checksum.update(text.data(), text.size());
  return checksum.finish();
}

}  // namespace tessellon
