#include "delegates/SafeZipExtractor.h"

#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>

#include <archive.h>
#include <archive_entry.h>

#include "delegates/BeneathRoot.h"
#include "delegates/LocalFolderError.h"

namespace tessellon::hosts {

namespace {

// Small reads keep the writes small: on ext4 under writeback, 1 MiB writes
// measured two to four times slower than 64 KiB ones.
constexpr size_t kReadBlockSize = size_t{64} * 1024;

// libarchive converts entry names through the thread's locale: under the C
// locale it cannot name a UTF-8-flagged entry at all. The library writes such
// names, so the reading thread uses a UTF-8 locale while it extracts.
class Utf8LocaleScope {
 public:
  Utf8LocaleScope() : utf8_(newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0))) {
    if (utf8_ != static_cast<locale_t>(0)) previous_ = uselocale(utf8_);
  }
  ~Utf8LocaleScope() {
    if (utf8_ == static_cast<locale_t>(0)) return;
    uselocale(previous_);
    freelocale(utf8_);
  }
  Utf8LocaleScope(const Utf8LocaleScope&) = delete;
  Utf8LocaleScope& operator=(const Utf8LocaleScope&) = delete;

 private:
  locale_t utf8_;
  locale_t previous_ = static_cast<locale_t>(0);
};

std::string joined(const std::string& root, const std::vector<std::string>& parts) {
  std::string path = root;
  for (const std::string& part : parts) path += "/" + part;
  return path;
}

}  // namespace

SafeZipExtractor::SafeZipExtractor(std::string root, std::vector<std::string> archive,
                                   std::vector<std::string> destination,
                                   std::function<bool(int64_t)> reserve)
    : root_(std::move(root)),
      archive_(std::move(archive)),
      destination_(std::move(destination)),
      archiveName_(joined(root_, archive_)),
      reserve_(std::move(reserve)) {}

std::optional<Error> SafeZipExtractor::run() {
  Utf8LocaleScope utf8Names;
  if (const int failed = beneath::openRoot(root_, rootFd_)) {
    return posixError(failed, "cannot open " + root_);
  }
  if (auto error = openArchive()) return error;
  // A first pass refuses a hostile archive before anything is written.
  if (auto error = forEachEntry([](archive*, archive_entry*, const std::vector<std::string>&) {
        return std::optional<Error>();
      })) {
    return error;
  }
  if (const int failed = beneath::openFolder(rootFd_.get(), destination_, destination_.size(), true,
                                             destinationFd_)) {
    return writeError(failed, "cannot open " + joined(root_, destination_));
  }
  return forEachEntry(
      [this](archive* reader, archive_entry* entry, const std::vector<std::string>& parts) {
        const bool folder = archive_entry_filetype(entry) == AE_IFDIR;
        std::optional<Error> failure;
        if (folder) {
          FileDescriptor opened;
          failure = openFolder(parts, parts.size(), opened);
        } else {
          failure = writeFile(reader, parts);
        }
        if (!failure && written_) failure = written_(parts, folder);
        return failure;
      });
}

std::optional<Error> SafeZipExtractor::openArchive() {
  FileDescriptor folder;
  int failed = archive_.empty() ? EISDIR
                                : beneath::openFolder(rootFd_.get(), archive_, archive_.size() - 1,
                                                      false, folder);
  if (failed == 0) {
    archiveFd_ = FileDescriptor(::openat(folder.get(), archive_.back().c_str(),
                                         O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    if (!archiveFd_.valid()) failed = errno;
  }
  struct stat info {};
  if (failed == 0 && ::fstat(archiveFd_.get(), &info) != 0) failed = errno;
  if (failed == 0 && !S_ISREG(info.st_mode)) failed = EISDIR;
  if (failed == 0) return std::nullopt;
  return localFolderError(
      LocalFolderError::unreadableArchive,
      "cannot read the archive " + archiveName_ + ": " +
          (failed == ELOOP ? std::string("a symbolic link is on its way") : std::strerror(failed)));
}

std::optional<Error> SafeZipExtractor::forEachEntry(const Visit& visit) {
  std::unique_ptr<archive, int (*)(archive*)> reader(archive_read_new(), archive_read_free);
  archive_read_support_format_zip(reader.get());
  if (::lseek(archiveFd_.get(), 0, SEEK_SET) != 0 ||
      archive_read_open_fd(reader.get(), archiveFd_.get(), kReadBlockSize) != ARCHIVE_OK) {
    return unreadable(reader.get());
  }
  for (;;) {
    archive_entry* entry = nullptr;
    const int status = archive_read_next_header(reader.get(), &entry);
    if (status == ARCHIVE_EOF) return std::nullopt;
    if (status < ARCHIVE_WARN) return unreadable(reader.get());
    std::vector<std::string> parts;
    if (auto refused = check(entry, parts)) return refused;
    if (parts.empty()) continue;  // "./": the destination itself
    if (auto error = visit(reader.get(), entry, parts)) return error;
  }
}

Error SafeZipExtractor::unreadable(archive* reader) const {
  const char* reason = archive_error_string(reader);
  return localFolderError(LocalFolderError::unreadableArchive,
                          "cannot read the archive " + archiveName_ + ": " +
                              (reason != nullptr ? reason : "unknown reason"));
}

// Splits the entry's name into components, refusing what could leave the destination.
std::optional<Error> SafeZipExtractor::check(archive_entry* entry,
                                             std::vector<std::string>& parts) {
  const char* raw = archive_entry_pathname(entry);
  if (raw == nullptr) raw = archive_entry_pathname_utf8(entry);
  const std::string name = raw != nullptr ? raw : "";
  auto refuse = [&](const std::string& why) {
    return localFolderError(LocalFolderError::unsafeArchive,
                            "refusing archive entry \"" + name + "\": " + why);
  };
  if (name.empty()) return refuse("it has no name");
  if (name.front() == '/') return refuse("absolute path");
  if (archive_entry_hardlink(entry) != nullptr) return refuse("hard link");
  const auto type = archive_entry_filetype(entry);
  if (type == AE_IFLNK || archive_entry_symlink(entry) != nullptr) return refuse("symbolic link");
  if (type != AE_IFREG && type != AE_IFDIR) return refuse("not a file or a folder");
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    std::string part = name.substr(start, end - start);
    if (part == "..") return refuse("\"..\" component");
    if (!part.empty() && part != ".") parts.push_back(std::move(part));
    start = end + 1;
  }
  if (parts.empty() && type != AE_IFDIR) return refuse("it names the destination");
  return std::nullopt;
}

// Opens, creating them when missing, the first `count` components as folders
// below the destination; a link on the way fails (O_NOFOLLOW) instead of being followed.
std::optional<Error> SafeZipExtractor::openFolder(const std::vector<std::string>& parts,
                                                  size_t count, FileDescriptor& folder) {
  if (const int failed = beneath::openFolder(destinationFd_.get(), parts, count, true, folder)) {
    return writeError(failed, "cannot enter the folders of " + joined(".", parts));
  }
  return std::nullopt;
}

std::optional<Error> SafeZipExtractor::writeFile(archive* reader,
                                                 const std::vector<std::string>& parts) {
  FileDescriptor folder;
  if (auto error = openFolder(parts, parts.size() - 1, folder)) return error;
  std::string temporary;
  FileDescriptor out;
  if (const int failed =
          beneath::createTemporary(folder.get(), beneath::kInflatePrefix, temporary, out)) {
    return writeError(failed, "cannot create a file beside " + parts.back());
  }
  std::optional<Error> failure = copyEntry(reader, out.get(), parts.back());
  if (const int closed = out.close(); !failure && closed != 0) {
    failure = writeError(closed, "cannot write " + parts.back());
  }
  if (!failure &&
      ::renameat(folder.get(), temporary.c_str(), folder.get(), parts.back().c_str()) != 0) {
    const int code = errno;
    failure = posixError(code, "cannot put " + parts.back() + " in place");
  }
  if (failure) (void)::unlinkat(folder.get(), temporary.c_str(), 0);
  return failure;
}

std::optional<Error> SafeZipExtractor::copyEntry(archive* reader, int out,
                                                 const std::string& name) {
  for (;;) {
    const void* block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    const int status = archive_read_data_block(reader, &block, &size, &offset);
    if (status == ARCHIVE_EOF) return std::nullopt;
    // A member whose bytes do not match its CRC or size is only a warning to the reader: here
    // it is a damaged file, which must never be put in place.
    if (status != ARCHIVE_OK) return unreadable(reader);
    if (!reserve_(static_cast<int64_t>(size))) return storageFull("writing " + name);
    const char* data = static_cast<const char*>(block);
    while (size > 0) {
      const ssize_t written = ::pwrite(out, data, size, offset);
      if (written < 0) {
        const int code = errno;
        if (code == EINTR) continue;
        return writeError(code, "cannot write " + name);
      }
      data += written;
      offset += written;
      size -= static_cast<size_t>(written);
    }
  }
}

}  // namespace tessellon::hosts
