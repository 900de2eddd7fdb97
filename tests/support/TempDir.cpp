#include "support/TempDir.h"

#include <stdlib.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace tessellon {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "TempDir: %s\n", what.c_str());
  std::abort();
}

// A test may have made folders unreadable or unwritable on purpose; give them back to the owner so
// that removal cannot leave the tree behind.
void makeRemovable(const fs::path& root) {
  std::error_code error;
  const auto ownerAll = fs::perms::owner_all;
  fs::permissions(root, ownerAll, fs::perm_options::add, error);
  for (auto it = fs::recursive_directory_iterator(root, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (it->is_directory(error) && !it->is_symlink(error)) {
      fs::permissions(it->path(), ownerAll, fs::perm_options::add, error);
    }
  }
}

}  // namespace

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = (base != nullptr && *base != '\0') ? base : "/tmp";
  pattern += "/tessellon-test-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    fail("cannot create a folder from " + pattern);
  }
  path_ = fs::weakly_canonical(pattern).string();
}

TempDir::~TempDir() {
  makeRemovable(path_);
  std::error_code error;
  fs::remove_all(path_, error);
}

std::string TempDir::file(std::string_view relative) const {
  return (fs::path(path_) / relative).string();
}

std::string TempDir::write(std::string_view relative, std::string_view bytes) const {
  const fs::path target = file(relative);
  std::error_code error;
  fs::create_directories(target.parent_path(), error);
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    fail("cannot write " + target.string());
  }
  return target.string();
}

std::string TempDir::write(std::string_view relative,
                           const std::vector<std::uint8_t>& bytes) const {
  return write(relative,
               std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::string TempDir::read(std::string_view relative) const {
  std::ifstream in(file(relative), std::ios::binary);
  if (!in) {
    fail("cannot read " + file(relative));
  }
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace tessellon
