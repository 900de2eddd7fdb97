#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace tessellon {

// A chain of folders below `root`/deep ending in a folder whose path is 3895 to 3995 bytes long,
// where a test adds entries whose paths pass PATH_MAX (made relative to the open folder, as
// nothing else can). Removes the chain when it goes, which TempDir cannot: removal by path
// fails that deep.
class DeepFolder {
 public:
  explicit DeepFolder(const std::string& root) : top_(root + "/deep"), path_(top_) {
    const std::string name(100, 'd');
    while (path_.size() + 1 + name.size() <= 3995) path_ += "/" + name;
    std::filesystem::create_directories(path_);
  }
  ~DeepFolder() { std::system(("rm -rf '" + top_ + "'").c_str()); }
  DeepFolder(const DeepFolder&) = delete;
  DeepFolder& operator=(const DeepFolder&) = delete;

  // The deepest folder, short enough to be used by path.
  const std::string& path() const { return path_; }

  // A file in path() whose full path is `length` bytes long (at most path() + 256); returns it.
  std::string addFile(size_t length, std::string_view content, std::string_view extension) const {
    const std::string name = nameFor(length, extension);
    const int folder = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int file = ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (file >= 0 && ::write(file, content.data(), content.size()) < 0) std::abort();
    ::close(file);
    ::close(folder);
    if (file < 0) std::abort();
    return path_ + "/" + name;
  }

  // A folder in path() whose full path is `length` bytes long, holding one file; returns it.
  std::string addFolder(size_t length) const {
    const std::string name = nameFor(length, "");
    const int folder = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0 || ::mkdirat(folder, name.c_str(), 0755) != 0) std::abort();
    const int inner = ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int file = ::openat(inner, "inside.jpg", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (inner < 0 || file < 0) std::abort();
    ::close(file);
    ::close(inner);
    ::close(folder);
    return path_ + "/" + name;
  }

 private:
  std::string nameFor(size_t length, std::string_view extension) const {
    const size_t nameLength = length - path_.size() - 1;
    if (length <= path_.size() + 1 + extension.size() || nameLength > 255) std::abort();
    return std::string(nameLength - extension.size(), 'f') + std::string(extension);
  }

  const std::string top_;
  std::string path_;
};

}  // namespace tessellon
