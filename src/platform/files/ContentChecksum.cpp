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
#include "platform/files/OpenForReading.h"
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
  struct stat status {};
  Result<FileDescriptor> opened = openRegularFile(path, "checksum", status);
  if (!opened.ok()) return opened.error();
  const FileDescriptor fd = std::move(opened).value();
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
