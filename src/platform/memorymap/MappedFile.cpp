#include "platform/memorymap/MappedFile.h"

#include <fcntl.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <utility>

#include "platform/files/PosixError.h"

namespace tessellon {
namespace {

// The copy a thread is running under the guard, and the pages of the mapping it reads from; a bus
// error on those pages jumps back into it.
struct GuardedCopy {
  sigjmp_buf resume;
  const unsigned char* mappingBegin;
  const unsigned char* mappingEnd;
};

thread_local GuardedCopy* activeCopy = nullptr;
struct sigaction previousBusErrorAction;

void onBusError(int signal, siginfo_t* info, void* context) {
  GuardedCopy* copy = activeCopy;
  const auto* address = static_cast<const unsigned char*>(info->si_addr);
  if (copy != nullptr && address >= copy->mappingBegin && address < copy->mappingEnd) {
    siglongjmp(copy->resume, 1);
  }
  // Not ours: behave as if we had never been installed.
  if (previousBusErrorAction.sa_flags & SA_SIGINFO) {
    previousBusErrorAction.sa_sigaction(signal, info, context);
  } else if (previousBusErrorAction.sa_handler != SIG_DFL &&
             previousBusErrorAction.sa_handler != SIG_IGN) {
    previousBusErrorAction.sa_handler(signal);
  } else {
    // Returning re-runs the faulting access, which now takes the default action.
    ::signal(SIGBUS, SIG_DFL);
  }
}

void installBusErrorHandler() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction action {};
    action.sa_sigaction = onBusError;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGBUS, &action, &previousBusErrorAction);
  });
}

// Kept out of line and free of objects with destructors, so that jumping out of the memcpy skips
// nothing that needs cleaning up.
[[gnu::noinline]] bool copyUnderGuard(unsigned char* destination, const unsigned char* source,
                                      std::size_t length, const unsigned char* mappingBegin,
                                      const unsigned char* mappingEnd) {
  GuardedCopy guard;
  guard.mappingBegin = mappingBegin;
  guard.mappingEnd = mappingEnd;
  if (sigsetjmp(guard.resume, 1) != 0) {
    activeCopy = nullptr;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    return false;
  }
  activeCopy = &guard;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  std::memcpy(destination, source, length);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  activeCopy = nullptr;
  return true;
}

}  // namespace

Result<std::unique_ptr<MappedContent>> MappedFile::open(const std::string& path) {
  // O_NONBLOCK: opening a pipe must not wait for a writer; regular files are unaffected.
  int descriptor;
  do {
    descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  } while (descriptor < 0 && errno == EINTR);
  if (descriptor < 0) return posixError("open " + path, errno);

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
  const std::int64_t size = status.st_size;
  if (size == 0) {
    ::close(descriptor);
    return std::unique_ptr<MappedContent>(new MappedFile(nullptr, 0, path));
  }

  void* base =
      ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_PRIVATE, descriptor, 0);
  const int error = errno;
  ::close(descriptor);  // the mapping keeps the file open
  if (base == MAP_FAILED) return posixError("map " + path, error);

  installBusErrorHandler();
  return std::unique_ptr<MappedContent>(
      new MappedFile(static_cast<const unsigned char*>(base), size, path));
}

MappedFile::MappedFile(const unsigned char* base, std::int64_t size, std::string path)
    : base_(base), size_(size), path_(std::move(path)) {}

MappedFile::~MappedFile() {
  if (base_ != nullptr)
    ::munmap(const_cast<unsigned char*>(base_), static_cast<std::size_t>(size_));
}

Result<void> MappedFile::copy(std::int64_t offset, std::int64_t length,
                              unsigned char* destination) const {
  if (offset < 0 || length < 0 || offset > size_ || length > size_ - offset) {
    return posixError("read " + path_, EINVAL);
  }
  if (length == 0) return {};
  // The last page extends past the end of the file; a fault anywhere on it is ours.
  static const std::int64_t pageSize = ::sysconf(_SC_PAGESIZE);
  const unsigned char* mappingEnd = base_ + (size_ + pageSize - 1) / pageSize * pageSize;
  if (!copyUnderGuard(destination, base_ + offset, static_cast<std::size_t>(length), base_,
                      mappingEnd)) {
    // The file shrank under the mapping.
    return posixError("read " + path_, EIO);
  }
  return {};
}

}  // namespace tessellon
