#include "support/TempDir.h"

#include <stdlib.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace tessellon {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "TempDir: %s\n", what.c_str());
  std::abort();
}

}  // namespace

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = (base != nullptr && *base != '\0') ? base : "/tmp";
  pattern += "/tessellon-test-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) fail("cannot create a folder from " + pattern);
  path_ = fs::weakly_canonical(pattern).string();
}

TempDir::~TempDir() {
  // Give folders a test made unreadable or unwritable back to the owner, so removal succeeds.
  std::error_code error;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, error);
  for (auto it = fs::recursive_directory_iterator(path_, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (it->is_directory(error) && !it->is_symlink(error)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
    }
  }
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
  if (!out) fail("cannot write " + target.string());
  return target.string();
}

std::string TempDir::read(std::string_view relative) const {
  std::ifstream in(file(relative), std::ios::binary);
  if (!in) fail("cannot read " + file(relative));
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace tessellon
