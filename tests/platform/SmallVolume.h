#pragma once

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstddef>
#include <string>

namespace tessellon {

// A tmpfs of a few bytes mounted at a test's folder: a real full disk and a
// second volume. Mounting needs privileges; tests skip when mounted() is false.
class SmallVolume {
 public:
  SmallVolume(std::string mountPoint, size_t bytes) : mountPoint_(std::move(mountPoint)) {
    ::mkdir(mountPoint_.c_str(), 0700);
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0700";
    mounted_ =
        ::mount("tmpfs", mountPoint_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
  }
  ~SmallVolume() {
    if (mounted_) ::umount2(mountPoint_.c_str(), MNT_DETACH);
  }
  SmallVolume(const SmallVolume&) = delete;
  SmallVolume& operator=(const SmallVolume&) = delete;

  bool mounted() const { return mounted_; }

  // Fills the volume to the last byte with a file named `name`; true when it is full.
  bool fill(const std::string& name = "filler") const {
    const int fd = ::open((mountPoint_ + "/" + name).c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (fd < 0) return false;
    const std::string block(4096, 'f');
    while (::write(fd, block.data(), block.size()) > 0) {
    }
    while (::write(fd, block.data(), 1) > 0) {
    }
    const bool full = errno == ENOSPC;
    ::close(fd);
    return full;
  }
  const std::string& path() const { return mountPoint_; }

 private:
  std::string mountPoint_;
  bool mounted_ = false;
};

}  // namespace tessellon
