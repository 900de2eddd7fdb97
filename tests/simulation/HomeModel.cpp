#include "simulation/HomeModel.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/MediaTree.h"

namespace tessellon::simulation {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "HomeModel: %s\n", what.c_str());
  std::abort();
}

void setModified(const std::string& path, int64_t ms) {
  struct timespec times[2];
  times[0].tv_sec = times[1].tv_sec = ms / 1000;
  times[0].tv_nsec = times[1].tv_nsec = (ms % 1000) * 1000000;
  if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) fail("date " + path);
}

}  // namespace

HomeModel::HomeModel(std::string root) : root_(std::move(root)) {}

void HomeModel::apply(const Action& action) {
  const std::string from = root_ + "/" + action.path;
  switch (action.kind) {
    case Action::Kind::write:
      put(action.path, {randomContent(action.size, action.seed), action.mtimeMs});
      break;
    case Action::Kind::remove:
      if (!fs::remove(from)) fail("remove " + from);
      files_.erase(action.path);
      break;
    case Action::Kind::touch:
      setModified(from, action.mtimeMs);
      files_.at(action.path).mtimeMs = action.mtimeMs;
      break;
    case Action::Kind::patch: {
      FileState patched = files_.at(action.path);
      patched.content.at(action.size) = static_cast<char>(patched.content[action.size] ^ 0x55);
      patched.mtimeMs = action.mtimeMs;
      put(action.path, patched);
      break;
    }
    case Action::Kind::rename: {
      fs::create_directories(fs::path(root_ + "/" + action.target).parent_path());
      fs::rename(from, root_ + "/" + action.target);
      auto node = files_.extract(action.path);
      node.key() = action.target;
      files_.insert(std::move(node));
      break;
    }
    case Action::Kind::copy:
      put(action.target, files_.at(action.path));
      break;
    case Action::Kind::restart:
    case Action::Kind::backup:
    case Action::Kind::note:
      break;
  }
}

std::vector<std::string> HomeModel::pathsBelow(const std::string& folder) const {
  std::vector<std::string> paths;
  for (const auto& [path, file] : files_) {
    if (path.starts_with(folder + "/")) paths.push_back(path);
  }
  return paths;
}

Tree HomeModel::read(const std::string& root) {
  Tree tree;
  std::error_code error;
  if (!fs::exists(root, error)) return tree;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file() || entry.is_symlink()) continue;
    struct stat status {};
    if (::lstat(entry.path().c_str(), &status) != 0) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    tree[fs::relative(entry.path(), root).string()] = {
        std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()),
        int64_t{status.st_mtim.tv_sec} * 1000 + status.st_mtim.tv_nsec / 1000000};
  }
  return tree;
}

void HomeModel::put(const std::string& path, const FileState& file) {
  const std::string full = root_ + "/" + path;
  fs::create_directories(fs::path(full).parent_path());
  std::ofstream out(full, std::ios::binary | std::ios::trunc);
  out.write(file.content.data(), static_cast<std::streamsize>(file.content.size()));
  out.close();
  if (!out) fail("write " + full);
  setModified(full, file.mtimeMs);
  files_[path] = file;
}

}  // namespace tessellon::simulation
