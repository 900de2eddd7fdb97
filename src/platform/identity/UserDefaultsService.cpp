#include "platform/identity/UserDefaultsService.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <fstream>
#include <string_view>
#include <utility>

#include "platform/files/FileDescriptor.h"

namespace tessellon {
namespace {

constexpr std::string_view kFileName = "defaults";

std::string escape(std::string_view text, bool isKey) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '=' && isKey) {
      out += "\\=";
    } else {
      out += c;
    }
  }
  return out;
}

// Undoes escape() up to the first unescaped '=' (for keys) or the end; nothing on a
// dangling or unknown escape.
std::optional<std::string> unescape(std::string_view text, size_t& pos, bool isKey) {
  std::string out;
  while (pos < text.size()) {
    char c = text[pos++];
    if (isKey && c == '=') return out;
    if (c != '\\') {
      out += c;
      continue;
    }
    if (pos == text.size()) return std::nullopt;
    char next = text[pos++];
    if (next == '\\') {
      out += '\\';
    } else if (next == 'n') {
      out += '\n';
    } else if (next == '=' && isKey) {
      out += '=';
    } else {
      return std::nullopt;
    }
  }
  if (isKey) return std::nullopt;  // no separator
  return out;
}

// Creates `path` and any missing parents, each private to the user.
bool makeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    std::string prefix = path.substr(0, slash);
    if (!prefix.empty() && ::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

}  // namespace

UserDefaultsService::UserDefaultsService(std::string stateFolder)
    : stateFolder_(std::move(stateFolder)) {
  while (stateFolder_.size() > 1 && stateFolder_.back() == '/') stateFolder_.pop_back();
  std::ifstream in(stateFolder_ + "/" + std::string(kFileName), std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    size_t pos = 0;
    auto key = unescape(line, pos, true);
    if (!key) continue;
    auto value = unescape(line, pos, false);
    if (value) values_[*key] = std::move(*value);
  }
}

std::optional<std::string> UserDefaultsService::value(const std::string& key) const {
  std::lock_guard lock(mutex_);
  auto found = values_.find(key);
  if (found == values_.end()) return std::nullopt;
  return found->second;
}

bool UserDefaultsService::setValue(const std::string& value, const std::string& key) {
  std::lock_guard lock(mutex_);
  values_[key] = value;
  return writeLocked();
}

bool UserDefaultsService::writeLocked() const {
  if (!makeFolders(stateFolder_)) return false;
  std::string content;
  for (const auto& [key, value] : values_) {
    content += escape(key, true) + "=" + escape(value, false) + "\n";
  }
  // A unique temporary name: another process may be writing the same folder.
  static std::atomic<unsigned> counter{0};
  std::string target = stateFolder_ + "/" + std::string(kFileName);
  std::string temporary =
      target + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
  FileDescriptor fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (!fd.isOpen()) return false;
  bool ok = writeAll(fd.get(), content) && ::fsync(fd.get()) == 0;
  ok = fd.closeChecked() == 0 && ok;
  if (!ok || ::rename(temporary.c_str(), target.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  // Makes the rename itself durable.
  FileDescriptor folder(::open(stateFolder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.isOpen()) ::fsync(folder.get());
  return true;
}

}  // namespace tessellon
