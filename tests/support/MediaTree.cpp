#include "support/MediaTree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "media/fingerprints/Md5.h"

namespace tessellon {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "MediaTree: %s\n", what.c_str());
  std::abort();
}

}  // namespace

MediaTree::MediaTree(std::string root, std::initializer_list<File> files) : root_(std::move(root)) {
  for (const File& file : files) add(file.path, file.content);
}

std::string MediaTree::path(std::string_view relative) const {
  return root_ + "/" + std::string(relative);
}

std::string MediaTree::add(std::string_view relative, std::string_view content) {
  const std::string full = path(relative);
  std::error_code error;
  fs::create_directories(fs::path(full).parent_path(), error);
  std::ofstream out(full, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  out.close();
  if (!out) fail("cannot write " + full);
  setModified(relative, Date(std::chrono::milliseconds(kFirstDateMs + 1000 * next_++)));
  return full;
}

void MediaTree::folder(std::string_view relative) const {
  std::error_code error;
  fs::create_directories(path(relative), error);
  if (error) fail("cannot create " + path(relative));
}

void MediaTree::link(std::string_view relative, const std::string& target) const {
  const std::string full = path(relative);
  std::error_code error;
  fs::create_directories(fs::path(full).parent_path(), error);
  if (::symlink(target.c_str(), full.c_str()) != 0) fail("cannot link " + full);
}

void MediaTree::setModified(std::string_view relative, Date date) const {
  const int64_t ms = date.time_since_epoch().count();
  struct timespec times[2];
  times[0].tv_sec = times[1].tv_sec = ms / 1000;
  times[0].tv_nsec = times[1].tv_nsec = (ms % 1000) * 1000000;
  if (::utimensat(AT_FDCWD, path(relative).c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
    fail("cannot date " + path(relative));
  }
}

Date MediaTree::modified(std::string_view relative) const {
  struct stat status {};
  if (::lstat(path(relative).c_str(), &status) != 0) fail("cannot stat " + path(relative));
  return Date(std::chrono::milliseconds(int64_t{status.st_mtim.tv_sec} * 1000 +
                                        status.st_mtim.tv_nsec / 1000000));
}

std::string randomContent(size_t size, uint32_t seed) {
  std::mt19937 generator(seed);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(generator() & 0xFF);
  return bytes;
}

std::string wholeContentFingerprint(std::string_view content) {
  return "1.1_" + Md5::toHex(Md5::digest(content));
}

}  // namespace tessellon
