#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "delegates/FileDescriptor.h"

// Paths below the folder remote's root, reached one component at a time from the folder before
// it with O_NOFOLLOW: a link stored in the remote (planted there, or copied in by a user) can
// neither redirect a read or write outside the root nor be read through. The root itself may be
// a link; that is the host's choice. Every function answers 0 or an errno.
namespace tessellon::hosts::beneath {

// "a/b/c" -> {"a", "b", "c"}; "" -> {}. `normalized` has no "." or ".." and no empty parts.
inline std::vector<std::string> components(std::string_view normalized) {
  std::vector<std::string> parts;
  while (!normalized.empty()) {
    const size_t slash = normalized.find('/');
    parts.emplace_back(normalized.substr(0, slash));
    normalized =
        slash == std::string_view::npos ? std::string_view() : normalized.substr(slash + 1);
  }
  return parts;
}

inline int openRoot(const std::string& root, FileDescriptor& out) {
  out = FileDescriptor(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return out.valid() ? 0 : errno;
}

// The folder of the first `count` parts below the open folder `base`; with `create`, missing
// folders are made. A link or a file on the way answers ELOOP or ENOTDIR.
inline int openFolder(int base, const std::vector<std::string>& parts, size_t count, bool create,
                      FileDescriptor& out) {
  out = FileDescriptor(::dup(base));
  if (!out.valid()) return errno;
  constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
  for (size_t i = 0; i < count; ++i) {
    int fd = ::openat(out.get(), parts[i].c_str(), kFlags);
    if (fd < 0 && errno == ENOENT && create) {
      if (::mkdirat(out.get(), parts[i].c_str(), 0755) != 0 && errno != EEXIST) return errno;
      fd = ::openat(out.get(), parts[i].c_str(), kFlags);
    }
    if (fd < 0) return errno;
    out = FileDescriptor(fd);
  }
  return 0;
}

// Temporary files beside an upload's target and an archive entry's.
inline constexpr const char* kUploadPrefix = ".tessellon-upload-";
inline constexpr const char* kInflatePrefix = ".tessellon-inflate-";

// "<prefix><host>-<pid>-": a temporary file's name says which process writes it, so a later
// process can tell what a killed one left from what a running one is writing.
inline std::string ownedPrefix(const char* prefix) {
  static const std::string owner = [] {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0) host[0] = '\0';
    return std::string(host) + "-" + std::to_string(::getpid()) + "-";
  }();
  return prefix + owner;
}

// A new file "<owned prefix><random>" in the open folder `folder`, mode 0644; `name` receives
// its name.
inline int createTemporary(int folder, const char* prefix, std::string& name, FileDescriptor& out) {
  thread_local std::mt19937_64 random{std::random_device{}()};
  const std::string owned = ownedPrefix(prefix);
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = owned + std::to_string(random());
    out = FileDescriptor(
        ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (out.valid()) return 0;
    if (errno != EEXIST) return errno;
  }
  return EEXIST;
}

// Who writes a temporary named "<prefix><host>-<pid>-<random>". Read from the right, since a
// host name may hold dashes: `unknown` for another host's (its processes cannot be asked) and
// for names of another shape.
enum class TemporaryOwner { deadHere, liveHere, unknown };

inline TemporaryOwner ownerOfTemporary(std::string_view name, std::string_view prefix) {
  if (!name.starts_with(prefix)) return TemporaryOwner::unknown;
  const std::string_view rest = name.substr(prefix.size());
  const size_t last = rest.rfind('-');
  if (last == std::string_view::npos || last == 0) return TemporaryOwner::unknown;
  const size_t before = rest.rfind('-', last - 1);
  if (before == std::string_view::npos) return TemporaryOwner::unknown;
  const std::string_view pid = rest.substr(before + 1, last - before - 1);
  if (pid.empty() || pid.size() > 9 || pid.find_first_not_of("0123456789") != std::string::npos) {
    return TemporaryOwner::unknown;
  }
  const std::string own = ownedPrefix("");
  const std::string_view host = std::string_view(own).substr(0, own.rfind('-', own.size() - 2));
  if (rest.substr(0, before) != host) return TemporaryOwner::unknown;
  const bool dead =
      ::kill(static_cast<pid_t>(std::stol(std::string(pid))), 0) != 0 && errno == ESRCH;
  return dead ? TemporaryOwner::deadHere : TemporaryOwner::liveHere;
}

// True for an upload's or archive entry's temporary that a process of this host left when it died.
inline bool isDeadTemporary(std::string_view name) {
  for (const char* prefix : {kUploadPrefix, kInflatePrefix}) {
    if (ownerOfTemporary(name, prefix) == TemporaryOwner::deadHere) return true;
  }
  return false;
}

inline int removeAt(int folder, const std::string& name);

// Removes from the open folder `folder` the temporaries (files or folders) named with one of
// `prefixes` that a process of this host left when it died. Other hosts' are left alone: their
// processes cannot be asked.
inline void removeDeadTemporaries(int folder, const std::vector<const char*>& prefixes) {
  const int copy = ::dup(folder);
  if (copy < 0) return;
  DIR* const stream = ::fdopendir(copy);
  if (stream == nullptr) {
    ::close(copy);
    return;
  }
  const std::unique_ptr<DIR, int (*)(DIR*)> closer(stream, &::closedir);
  std::vector<std::string> dead;
  while (const dirent* const entry = ::readdir(stream)) {
    const std::string_view name(entry->d_name);
    for (const char* prefix : prefixes) {
      if (ownerOfTemporary(name, prefix) == TemporaryOwner::deadHere) dead.emplace_back(name);
    }
  }
  for (const std::string& name : dead) (void)removeAt(folder, name);
}

// Removes `name` in the open folder `folder`: a file or a link itself, or a folder with all it
// holds, its links removed and never followed.
inline int removeAt(int folder, const std::string& name) {
  if (::unlinkat(folder, name.c_str(), 0) == 0) return 0;
  if (errno != EISDIR && errno != EPERM) return errno;
  FileDescriptor inner(
      ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!inner.valid()) return errno;
  std::vector<std::string> children;
  {
    const int copy = ::dup(inner.get());
    DIR* const listing = copy < 0 ? nullptr : ::fdopendir(copy);
    if (listing == nullptr) {
      const int failed = errno;
      if (copy >= 0) ::close(copy);
      return failed;
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> stream(listing, &::closedir);
    while (const dirent* const entry = ::readdir(stream.get())) {
      const std::string_view child(entry->d_name);
      if (child != "." && child != "..") children.emplace_back(child);
    }
  }
  for (const std::string& child : children) {
    if (const int failed = removeAt(inner.get(), child)) return failed;
  }
  return ::unlinkat(folder, name.c_str(), AT_REMOVEDIR) == 0 ? 0 : errno;
}

}  // namespace tessellon::hosts::beneath
