#pragma once

#include <unistd.h>
#include <cerrno>
#include <utility>

namespace tessellon {

// Owns an open file descriptor and closes it on scope exit. A file that was
// written is closed with closeChecked() instead, whose error matters (a full
// disk may only show there).
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
      if (fd_ >= 0) ::close(fd_);
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }

  int get() const { return fd_; }
  bool isOpen() const { return fd_ >= 0; }

  // 0, or the errno of close(2).
  int closeChecked() { return ::close(std::exchange(fd_, -1)) == 0 ? 0 : errno; }

 private:
  int fd_;
};

}  // namespace tessellon
