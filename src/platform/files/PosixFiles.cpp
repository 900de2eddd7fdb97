#include "platform/files/PosixFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <system_error>
#include <utility>

#include "platform/files/FileDescriptor.h"
#include "platform/files/FolderWalk.h"
#include "platform/files/PosixError.h"

namespace tessellon::posix {

namespace fs = std::filesystem;

namespace {

constexpr size_t kCopyChunk = 1 << 20;
constexpr int kNameAttempts = 16;

// A name beside `path` that nothing uses yet is likely; callers create it with
// O_EXCL or mkdir and retry on EEXIST.
std::string siblingName(const std::string& path) {
  thread_local std::mt19937_64 random{std::random_device{}()};
  const fs::path target(path);
  const std::string name = target.filename().string();
  const auto suffix = ".tmp-" + std::to_string(random() & 0xffffffffffffULL);
  return (target.parent_path() / ("." + name + suffix)).string();
}

// 0 or the errno of the first failing call.
int writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return 0;
}

int copyContents(int in, int out) {
  const std::unique_ptr<char[]> buffer(new char[kCopyChunk]);  // not zeroed: filled by read
  while (true) {
    const ssize_t got = ::read(in, buffer.get(), kCopyChunk);
    if (got == 0) return 0;
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (int failed = writeAll(out, std::string_view(buffer.get(), static_cast<size_t>(got)))) {
      return failed;
    }
  }
}

Result<void> copyFile(const std::string& source, const std::string& destiny,
                      const struct stat& status) {
  FileDescriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) return posixError("copy " + source, errno);
  FileDescriptor out(::open(destiny.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (out.get() < 0) return posixError("copy to " + destiny, errno);
  const struct timespec times[2] = {status.st_atim, status.st_mtim};
  int failed = copyContents(in.get(), out.get());
  if (failed == 0 && ::fchmod(out.get(), status.st_mode & 07777) != 0) failed = errno;
  if (failed == 0 && ::futimens(out.get(), times) != 0) failed = errno;
  if (failed == 0) failed = out.closeChecked();
  if (failed != 0) {
    ::unlink(destiny.c_str());
    return posixError("copy " + source + " to " + destiny, failed);
  }
  return {};
}

// Copies the file `source` to a new sibling of `target`; its path.
Result<std::string> copyBeside(const std::string& source, const std::string& target,
                               const struct stat& status) {
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::string prepared = siblingName(target);
    Result<void> copied = copyFile(source, prepared, status);
    if (copied.ok()) return prepared;
    if (copied.error().code != EEXIST) return copied.error();
  }
  return posixError("copy to " + target, EEXIST);
}

// Gives the whole file `prepared` the name `target` unless something has it: a rename that
// refuses to replace or, where the file system has none, a hard link. Else `prepared` goes.
Result<void> publish(const std::string& prepared, const std::string& target) {
  if (::renameat2(AT_FDCWD, prepared.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
    return {};
  }
  int failed = errno;
  if (failed == EINVAL || failed == ENOSYS) {
    failed = ::link(prepared.c_str(), target.c_str()) == 0 ? 0 : errno;
  }
  ::unlink(prepared.c_str());  // the copy, or after a link its second name
  if (failed != 0) return posixError("copy to " + target, failed);
  return {};
}

Result<void> copyLink(const std::string& source, const std::string& destiny) {
  std::error_code error;
  const fs::path linked = fs::read_symlink(source, error);
  if (!error) fs::create_symlink(linked, destiny, error);
  if (error) return posixError("copy link " + source + " to " + destiny, error.value());
  return {};
}

Result<void> copyFolder(const std::string& source, const std::string& destiny,
                        const struct stat& status) {
  if (::mkdir(destiny.c_str(), 0700) != 0) return posixError("copy to " + destiny, errno);
  std::error_code error;
  for (fs::directory_iterator it(source, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    auto copied = copyItem(it->path().string(), (fs::path(destiny) / name).string());
    if (!copied.ok()) {
      fs::remove_all(destiny, error);
      return copied;
    }
  }
  const struct timespec times[2] = {status.st_atim, status.st_mtim};
  int failed = error ? error.value() : 0;
  if (failed == 0 && ::chmod(destiny.c_str(), status.st_mode & 07777) != 0) failed = errno;
  if (failed == 0 && ::utimensat(AT_FDCWD, destiny.c_str(), times, 0) != 0) failed = errno;
  if (failed != 0) {
    fs::remove_all(destiny, error);
    return posixError("copy " + source + " to " + destiny, failed);
  }
  return {};
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> percentDecoded(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      decoded += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = hexValue(text[i + 1]);
    const int low = hexValue(text[i + 2]);
    if (high < 0 || low < 0 || (high == 0 && low == 0)) return std::nullopt;
    decoded += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return decoded;
}

bool startsWithFileScheme(std::string_view text) {
  constexpr std::string_view kScheme = "file:";
  return text.size() >= kScheme.size() &&
         std::equal(kScheme.begin(), kScheme.end(), text.begin(),
                    [](char a, char b) { return a == (b | 0x20) || a == b; });
}

}  // namespace

Result<void> writeFileAtomically(const std::string& path, std::string_view content) {
  if (fs::path(path).filename().empty()) return posixError("write " + path, EISDIR);
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::string temporary = siblingName(path);
    FileDescriptor fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.get() < 0) {
      if (errno == EEXIST) continue;
      return posixError("write " + path, errno);
    }
    // No fsync: these files are uploaded at once or rebuilt when lost; the
    // rename alone keeps a reader from seeing half a document.
    int failed = writeAll(fd.get(), content);
    if (failed == 0) failed = fd.closeChecked();
    if (failed == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) failed = errno;
    if (failed != 0) {
      ::unlink(temporary.c_str());
      return posixError("write " + path, failed);
    }
    return {};
  }
  return posixError("write " + path, EEXIST);
}

Result<std::string> readWholeFile(const std::string& path) {
  // The documents and caches read here live in our private folders: a planted link is refused.
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (fd.get() < 0) return posixError("read " + path, errno);
  struct stat status {};
  if (::fstat(fd.get(), &status) != 0) return posixError("read " + path, errno);
  if (S_ISDIR(status.st_mode)) return posixError("read " + path, EISDIR);
  std::string content;
  content.reserve(static_cast<size_t>(std::max<off_t>(status.st_size, 0)));
  char buffer[64 * 1024];
  while (true) {
    const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
    if (got == 0) return content;
    if (got < 0) {
      if (errno == EINTR) continue;
      return posixError("read " + path, errno);
    }
    content.append(buffer, static_cast<size_t>(got));
  }
}

std::optional<std::string> filePathFromText(std::string_view text) {
  if (text.empty() || text.find('\0') != std::string_view::npos) return std::nullopt;
  if (!startsWithFileScheme(text)) return std::string(text);
  std::string_view rest = text.substr(5);
  if (rest.substr(0, 2) == "//") {
    rest.remove_prefix(2);
    const size_t slash = rest.find('/');
    const std::string_view host = rest.substr(0, slash);
    if (!host.empty() && host != "localhost") return std::nullopt;
    rest = slash == std::string_view::npos ? std::string_view("/") : rest.substr(slash);
  }
  if (rest.empty() || rest.front() != '/') return std::nullopt;
  rest = rest.substr(0, rest.find_first_of("?#"));
  return percentDecoded(rest);
}

Result<void> moveItem(const std::string& source, const std::string& target) {
  if (::rename(source.c_str(), target.c_str()) == 0) return {};
  if (errno != EXDEV) return posixError("move " + source + " to " + target, errno);
  // Another volume: build the copy under a private name so `target` appears whole.
  const std::string temporary = siblingName(target);
  auto copied = copyItem(source, temporary);
  if (!copied.ok()) return copied;
  if (::rename(temporary.c_str(), target.c_str()) != 0) {
    const int failed = errno;
    std::error_code ignored;
    fs::remove_all(temporary, ignored);
    return posixError("move " + source + " to " + target, failed);
  }
  std::error_code error;
  fs::remove_all(source, error);
  if (error) return posixError("move " + source + " (remove after copy)", error.value());
  return {};
}

Result<void> moveItemWithoutReplacing(const std::string& source, const std::string& target) {
  if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
    return {};
  }
  // EINVAL: the file system cannot refuse to replace in a rename; copying with
  // O_EXCL can.
  if (errno != EXDEV && errno != EINVAL && errno != ENOSYS) {
    return posixError("move " + source + " to " + target, errno);
  }
  auto copied = copyItem(source, target);
  if (!copied.ok()) return copied;
  std::error_code error;
  fs::remove_all(source, error);
  if (error) return posixError("move " + source + " (remove after copy)", error.value());
  return {};
}

Result<void> syncFileSystem(const std::string& path) {
  const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0 || ::syncfs(fd.get()) != 0) return posixError("sync " + path, errno);
  return {};
}

std::optional<unsigned> fileCreationMask() {
  FileDescriptor fd(::open("/proc/self/status", O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return std::nullopt;
  std::string status;
  char buffer[4096];
  while (true) {
    const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    status.append(buffer, static_cast<size_t>(got));
  }
  const size_t at = status.find("\nUmask:");
  if (at == std::string::npos) return std::nullopt;
  unsigned mask = 0;
  size_t i = at + 7;
  while (i < status.size() && (status[i] == ' ' || status[i] == '\t')) ++i;
  const size_t first = i;
  for (; i < status.size() && status[i] >= '0' && status[i] <= '7'; ++i) {
    mask = mask * 8 + static_cast<unsigned>(status[i] - '0');
  }
  if (i == first) return std::nullopt;
  return mask & 0777;
}

Result<void> copyItem(const std::string& source, const std::string& destiny) {
  struct stat status {};
  if (::lstat(source.c_str(), &status) != 0) return posixError("copy " + source, errno);
  struct stat existing {};
  if (::lstat(destiny.c_str(), &existing) == 0) return posixError("copy to " + destiny, EEXIST);
  switch (status.st_mode & S_IFMT) {
    case S_IFREG: {
      // Built beside and then named, so that a run killed midway never leaves part of a file
      // under a name the next restore would have to number around.
      Result<std::string> prepared = copyBeside(source, destiny, status);
      if (!prepared.ok()) return prepared.error();
      return publish(prepared.value(), destiny);
    }
    case S_IFDIR:
      return copyFolder(source, destiny, status);
    case S_IFLNK:
      return copyLink(source, destiny);
    default:
      return posixError("copy " + source + ": not a file, folder or link", ENOTSUP);
  }
}

namespace {

// The entries of `folder` (a path under `root`), smallest name last. Folders are known from the
// listing itself where the file system reports types; with `withAttributes`, every other entry
// gets one statx relative to the open folder, so no full path is looked up per file. Links are
// never followed.
using FolderStream = std::unique_ptr<DIR, int (*)(DIR*)>;

// `folder` open for reading its entries; a link is followed only when `followLink`.
Result<FolderStream> openFolder(const std::string& folder, bool followLink) {
  const int fd =
      ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW));
  if (fd < 0) return posixError("list " + folder, errno);
  DIR* const stream = ::fdopendir(fd);
  if (stream == nullptr) {
    const int error = errno;
    ::close(fd);
    return posixError("list " + folder, error);
  }
  return FolderStream(stream, &::closedir);
}

Result<std::vector<ListedItem>> listFolder(const std::string& root, const std::string& relative,
                                           bool withAttributes) {
  const std::string folder = relative.empty() ? root : root + "/" + relative;
  Result<FolderStream> opened = openFolder(folder, true);
  if (!opened.ok()) return opened.error();
  DIR* const stream = opened.value().get();
  std::vector<ListedItem> entries;
  while (true) {
    errno = 0;
    const dirent* const entry = ::readdir(stream);
    if (entry == nullptr) break;
    const std::string_view name(entry->d_name);
    if (name == "." || name == "..") continue;
    ListedItem item{relative.empty() ? std::string(name) : relative + "/" + std::string(name), {}};
    if (entry->d_type == DT_DIR) {
      item.attributes = FileAttributes{FileAttributes::Type::directory, 0, {}, {}};
    } else if (withAttributes || entry->d_type == DT_UNKNOWN) {
      struct statx status {};
      if (::statx(::dirfd(stream), entry->d_name, AT_SYMLINK_NOFOLLOW,
                  STATX_BASIC_STATS | STATX_BTIME, &status) == 0) {
        item.attributes = attributesFrom(status);
      }
    }
    entries.push_back(std::move(item));
  }
  if (errno != 0) return posixError("list " + folder, errno);
  std::sort(entries.begin(), entries.end(),
            [](const ListedItem& a, const ListedItem& b) { return a.relative > b.relative; });
  return entries;
}

}  // namespace

FileAttributes attributesFrom(const struct statx& status) {
  const auto dateFrom = [](const statx_timestamp& time) {
    // tv_nsec is never negative, so this is the floor also before 1970.
    return Date(std::chrono::milliseconds(time.tv_sec * 1000 + time.tv_nsec / 1'000'000));
  };
  FileAttributes attributes;
  switch (status.stx_mode & S_IFMT) {
    case S_IFREG:
      attributes.type = FileAttributes::Type::regular;
      break;
    case S_IFDIR:
      attributes.type = FileAttributes::Type::directory;
      break;
    case S_IFLNK:
      attributes.type = FileAttributes::Type::symbolicLink;
      break;
    default:
      attributes.type = FileAttributes::Type::other;
  }
  attributes.size = static_cast<int64_t>(status.stx_size);
  attributes.modificationDate = dateFrom(status.stx_mtime);
  if ((status.stx_mask & STATX_BTIME) != 0) attributes.creationDate = dateFrom(status.stx_btime);
  return attributes;
}

Result<void> visitSubpathsWithAttributes(const std::string& root, bool withAttributes,
                                         const std::function<bool(ListedItem&&)>& visit) {
  FolderWalk walk([&root, withAttributes](const std::string& relative) {
    return listFolder(root, relative, withAttributes);
  });
  return walk.run(visit);
}

Result<std::vector<ListedItem>> listSubpathsWithAttributes(const std::string& root,
                                                           bool withAttributes) {
  std::vector<ListedItem> listed;
  Result<void> walked =
      visitSubpathsWithAttributes(root, withAttributes, [&listed](ListedItem&& item) {
        listed.push_back(std::move(item));
        return true;
      });
  if (!walked.ok()) return walked.error();
  return listed;
}

std::vector<std::string> findFoldersEndingWith(const std::string& root, std::string_view suffix) {
  std::vector<std::string> found;
  std::vector<std::string> pending{""};
  while (!pending.empty()) {
    const std::string relative = std::move(pending.back());
    pending.pop_back();
    std::string folder = root;
    if (!relative.empty()) folder.append("/").append(relative);
    // The root may be a link; below it, a link is never entered.
    Result<FolderStream> opened = openFolder(folder, relative.empty());
    if (!opened.ok()) continue;
    DIR* const stream = opened.value().get();
    while (const dirent* const entry = ::readdir(stream)) {
      const std::string_view name(entry->d_name);
      if (name == "." || name == "..") continue;
      if (entry->d_type != DT_DIR && entry->d_type != DT_UNKNOWN) continue;
      std::string path = relative.empty() ? std::string(name) : relative + "/" + std::string(name);
      if (entry->d_type == DT_DIR && name.ends_with(suffix)) {
        found.push_back(std::move(path));
        continue;
      }
      struct stat status {};
      if (::fstatat(::dirfd(stream), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0 ||
          !S_ISDIR(status.st_mode)) {
        continue;
      }
      if (name.ends_with(suffix)) {
        found.push_back(std::move(path));
      } else if (status.st_nlink != 2) {
        // A folder's link count is two plus its subfolders on the usual Linux file systems, so
        // two means none: such a folder (most of a picture tree) need not be read. Other counts,
        // such as the 1 of file systems that do not keep it, mean it has to be.
        pending.push_back(std::move(path));
      }
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}

Result<std::vector<std::string>> listSubpaths(const std::string& root) {
  Result<std::vector<ListedItem>> listed = listSubpathsWithAttributes(root, false);
  if (!listed.ok()) return listed.error();
  std::vector<ListedItem> items = std::move(listed).value();
  std::vector<std::string> subpaths;
  subpaths.reserve(items.size());
  for (ListedItem& item : items) subpaths.push_back(std::move(item.relative));
  return subpaths;
}

namespace {

Error notPrivate(const std::string& root, const std::string& why) {
  Error error = posixError("temporary folder " + root, EPERM);
  error.message = "temporary folder " + root + " is not a private folder of ours (" + why + ")";
  return error;
}

// Checks the folder open at `fd` (named `root`) and tightens it when only reading was open to
// others. Checking the descriptor, not the name, leaves no gap for a swap between check and use.
Result<void> makePrivate(int fd, const std::string& root) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) return posixError("temporary folder " + root, errno);
  // Another user could have made the folder first to read or plant our files.
  if (status.st_uid != ::geteuid()) {
    return notPrivate(root, "it belongs to user " + std::to_string(status.st_uid));
  }
  if ((status.st_mode & 0022) != 0) return notPrivate(root, "others may write into it");
  if ((status.st_mode & 0077) != 0 && ::fchmod(fd, 0700) != 0) {
    return posixError("make " + root + " private", errno);
  }
  return {};
}

Result<int> openExisting(const std::string& root) {
  const int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0) return fd;
  // With O_DIRECTORY a link answers ENOTDIR, as a file does; lstat tells them apart.
  if (errno == ELOOP || errno == ENOTDIR) {
    struct stat status {};
    const bool link = ::lstat(root.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
    return notPrivate(root, link ? "it is a symbolic link" : "it is not a folder");
  }
  return posixError("temporary folder " + root, errno);
}

}  // namespace

Result<int> openPrivateDirectory(const std::string& privateRoot) {
  const fs::path root = fs::path(privateRoot).lexically_normal();
  std::error_code error;
  fs::create_directories(root.parent_path(), error);
  if (error) return posixError("create folder " + root.parent_path().string(), error.value());
  if (::mkdir(root.c_str(), 0700) != 0 && errno != EEXIST) {
    return posixError("create folder " + root.string(), errno);
  }
  Result<int> opened = openExisting(root.string());
  if (!opened.ok()) return opened;
  Result<void> made = makePrivate(opened.value(), root.string());
  if (!made.ok()) {
    ::close(opened.value());
    return made.error();
  }
  return opened;
}

Result<void> checkPrivateDirectory(const std::string& privateRoot) {
  Result<int> opened = openExisting(privateRoot);
  if (!opened.ok()) return opened.error();
  FileDescriptor fd(opened.value());
  return makePrivate(fd.get(), privateRoot);
}

Result<void> createPrivateDirectory(const std::string& privateRoot, const std::string& path) {
  const fs::path root = fs::path(privateRoot).lexically_normal();
  const fs::path target = fs::path(path).lexically_normal();
  auto [rootEnd, rest] = std::mismatch(root.begin(), root.end(), target.begin(), target.end());
  if (rootEnd != root.end()) return posixError("create private folder " + path, EINVAL);

  Result<int> opened = openPrivateDirectory(root.string());
  if (!opened.ok()) return opened.error();
  FileDescriptor folder(opened.value());
  // Each step is taken from the folder open before it, so a link planted on the way fails
  // (O_NOFOLLOW) instead of leading elsewhere.
  std::string walked = root.string();
  for (auto part = rest; part != target.end(); ++part) {
    if (part->empty() || *part == ".") continue;
    if (*part == "..") return posixError("create private folder " + path, EINVAL);
    const std::string name = part->string();
    walked += "/" + name;
    if (::mkdirat(folder.get(), name.c_str(), 0700) != 0 && errno != EEXIST) {
      return posixError("create folder " + walked, errno);
    }
    const int next =
        ::openat(folder.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0) {
      return posixError("create folder " + walked, errno == ELOOP ? ENOTDIR : errno);
    }
    folder = FileDescriptor(next);
  }
  return {};
}

int removeTreeAt(int folder, const std::string& name) {
  if (::unlinkat(folder, name.c_str(), 0) == 0) return 0;
  if (errno != EISDIR && errno != EPERM) return errno;  // Linux answers EISDIR, POSIX EPERM
  const int fd = ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return errno;
  DIR* const stream = ::fdopendir(fd);
  if (stream == nullptr) {
    const int failed = errno;
    ::close(fd);
    return failed;
  }
  const std::unique_ptr<DIR, int (*)(DIR*)> closer(stream, &::closedir);
  std::vector<std::string> names;
  while (const dirent* const entry = ::readdir(stream)) {
    const std::string_view child(entry->d_name);
    if (child != "." && child != "..") names.emplace_back(child);
  }
  for (const std::string& child : names) {
    if (const int failed = removeTreeAt(::dirfd(stream), child)) return failed;
  }
  return ::unlinkat(folder, name.c_str(), AT_REMOVEDIR) == 0 ? 0 : errno;
}

}  // namespace tessellon::posix
