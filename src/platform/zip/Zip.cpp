#include "platform/zip/Zip.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include <archive.h>
#include <archive_entry.h>

#include "platform/files/ContentChecksum.h"
#include "platform/files/FileDescriptor.h"
#include "platform/files/OpenForReading.h"
#include "platform/files/PosixError.h"

namespace tessellon {

namespace {

constexpr size_t kReadChunk = 1 << 20;
// libarchive hands us whole blocks of this size, except the unpadded last one.
constexpr int kWriteBlock = 1 << 20;
constexpr std::string_view kZipDomain = "Zip";

Error zipError(std::string message) {
  return Error{std::string(kZipDomain), 0, std::move(message)};
}

// Documents compress well; media files are compressed already, and storing
// them keeps packaging as fast as copying.
bool isDocument(std::string_view entryName) {
  constexpr std::string_view kJson = ".json";
  return entryName.size() >= kJson.size() &&
         std::equal(kJson.rbegin(), kJson.rend(), entryName.rbegin(), [](char lower, char c) {
           return lower == std::tolower(static_cast<unsigned char>(c));
         });
}

// The remote side refuses to inflate absolute names and ".." components; catch
// them here, where only the one entry fails.
bool isRelativeEntryName(std::string_view name) {
  if (name.empty() || name.find('\0') != std::string_view::npos) return false;
  size_t start = 0;
  while (true) {
    const size_t end = std::min(name.find('/', start), name.size());
    const std::string_view part = name.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    if (end == name.size()) return true;
    start = end + 1;
  }
}

using EntryPointer = std::unique_ptr<archive_entry, decltype(&archive_entry_free)>;

using ReaderPointer = std::unique_ptr<archive, decltype(&archive_read_free)>;

Error readError(archive* reader, const std::string& context) {
  const char* text = reader != nullptr ? archive_error_string(reader) : nullptr;
  return Error{"LibArchive", reader != nullptr ? archive_errno(reader) : 0,
               context + ": " + (text != nullptr ? text : "libarchive could not read it")};
}

// Removes a file once it is no longer needed, whatever happened meanwhile.
struct FileRemover {
  std::string path;
  ~FileRemover() { ::unlink(path.c_str()); }
};

EntryPointer makeEntry(const std::string& entryName, int64_t size,
                       const struct timespec& modified) {
  EntryPointer entry(archive_entry_new(), &archive_entry_free);
  if (!entry) return entry;
  archive_entry_set_pathname_utf8(entry.get(), entryName.c_str());
  archive_entry_set_filetype(entry.get(), AE_IFREG);
  archive_entry_set_perm(entry.get(), 0644);
  // The size must be known before the header: it is what makes libarchive
  // write ZIP64 sizes for entries past 4 GiB.
  archive_entry_set_size(entry.get(), size);
  archive_entry_set_mtime(entry.get(), modified.tv_sec, modified.tv_nsec);
  return entry;
}

}  // namespace

std::shared_ptr<Zip> Zip::create(std::string path) {
  std::shared_ptr<Zip> zip(new Zip(std::move(path)));
  zip->open();
  return zip;
}

Zip::Zip(std::string path) : path_(std::move(path)) {}

Zip::~Zip() {
  if (!finished_) discard(zipError("archive dropped before it was finished"));
  if (finishedFd_ >= 0) ::close(finishedFd_);
}

void Zip::open() {
  // An archive of an earlier run must not pass for this one.
  if (::unlink(path_.c_str()) != 0 && errno != ENOENT) {
    failure_ = posixError("create archive " + path_, errno);
    return;
  }
  std::string partial = path_ + ".partial-XXXXXX";
  fd_ = ::mkostemp(partial.data(), O_CLOEXEC);
  if (fd_ < 0) {
    failure_ = posixError("create archive " + path_, errno);
    return;
  }
  partialPath_ = std::move(partial);
  archive_ = archive_write_new();
  // Entry names are UTF-8 whatever the locale; "hdrcharset" also sets the flag
  // that tells readers so.
  if (archive_ == nullptr || archive_write_set_format_zip(archive_) != ARCHIVE_OK ||
      archive_write_set_format_option(archive_, "zip", "hdrcharset", "UTF-8") != ARCHIVE_OK ||
      // Documents are deflated at the fastest level: a large "images.json" is written on every
      // run, and its fingerprints leave little for the slower levels to gain.
      archive_write_set_format_option(archive_, "zip", "compression-level", "1") != ARCHIVE_OK ||
      archive_write_set_bytes_per_block(archive_, kWriteBlock) != ARCHIVE_OK ||
      archive_write_set_bytes_in_last_block(archive_, 1) != ARCHIVE_OK ||
      archive_write_open2(archive_, this, nullptr, &Zip::writeBlock, nullptr, nullptr) !=
          ARCHIVE_OK) {
    discard(archiveError("create archive " + path_));
  }
}

Result<void> Zip::usable() const {
  if (failure_) {
    Error error = *failure_;
    error.message = "archive " + path_ + " is unusable: " + error.message;
    return error;
  }
  if (finished_) return zipError("archive " + path_ + " is finished");
  return {};
}

Result<void> Zip::canAdd(const std::string& entryName) const {
  if (auto state = usable(); !state.ok()) return state;
  if (!isRelativeEntryName(entryName)) {
    return zipError("entry name \"" + entryName + "\" is not a relative path");
  }
  return {};
}

Result<void> Zip::addFile(const std::string& sourcePath, const std::string& entryName,
                          std::optional<int64_t> expectedBytes, ContentChecksum* checksum,
                          std::optional<Date> expectedModified) {
  if (auto state = canAdd(entryName); !state.ok()) return state;
  struct stat status {};
  Result<FileDescriptor> opened = openRegularFile(sourcePath, "add", status);
  if (!opened.ok()) return opened.error();
  const FileDescriptor source = std::move(opened).value();
  // The record keeps the scanned size: a file of another size now is not the one it describes.
  if (expectedBytes && status.st_size != *expectedBytes) {
    return zipError("add " + sourcePath + ": the file changed since it was scanned (" +
                    std::to_string(status.st_size) + " bytes, " + std::to_string(*expectedBytes) +
                    " expected)");
  }
  // As the scan dates it: tv_nsec is never negative, so this is the floor also before 1970.
  const Date modified(
      std::chrono::milliseconds(status.st_mtim.tv_sec * 1000 + status.st_mtim.tv_nsec / 1'000'000));
  if (expectedModified && modified != *expectedModified) {
    return zipError("add " + sourcePath + ": the file changed since it was scanned (modified at " +
                    std::to_string(modified.time_since_epoch().count()) + " ms, " +
                    std::to_string(expectedModified->time_since_epoch().count()) + " expected)");
  }
  if (auto header = writeHeader(entryName, status.st_size, status.st_mtim); !header.ok()) {
    return header;
  }
  return streamEntry(source.get(), status, sourcePath, checksum);
}

Result<void> Zip::addContent(std::string_view content, const std::string& entryName) {
  if (auto state = canAdd(entryName); !state.ok()) return state;
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  if (auto header = writeHeader(entryName, static_cast<int64_t>(content.size()), now);
      !header.ok()) {
    return header;
  }
  if (auto written = writeData(content.data(), content.size()); !written.ok()) return written;
  return finishEntry();
}

// A failure before the header is out leaves the archive usable; a fatal one discards it.
Result<void> Zip::writeHeader(const std::string& entryName, int64_t size,
                              const struct timespec& modified) {
  const EntryPointer entry = makeEntry(entryName, size, modified);
  if (!entry) return zipError("add " + entryName + ": out of memory");
  const int method = isDocument(entryName) ? archive_write_zip_set_compression_deflate(archive_)
                                           : archive_write_zip_set_compression_store(archive_);
  if (method != ARCHIVE_OK) return archiveError("add " + entryName);
  const int header = archive_write_header(archive_, entry.get());
  if (header == ARCHIVE_FATAL) {
    Error error = archiveError("add " + entryName);
    discard(error);
    return error;
  }
  if (header < ARCHIVE_WARN) return archiveError("add " + entryName);
  ++entries_;
  return {};
}

// Once the header is out, the entry is completed whatever the source does, so
// the archive stays valid and takes further entries; a source that changed
// meanwhile fails only this call, and its entry is left out at the finish.
Result<void> Zip::streamEntry(int source, const struct stat& status, const std::string& sourcePath,
                              ContentChecksum* checksum) {
  const int64_t size = status.st_size;
  // Not make_unique: zeroing a chunk per entry would dominate archives of many small files.
  if (!readBuffer_) readBuffer_.reset(new char[kReadChunk]);
  char* const buffer = readBuffer_.get();
  int64_t remaining = size;
  std::optional<Error> changed;
  while (true) {
    // One byte more than the header's size shows a file that grew; a short read of a regular
    // file means its end, which saves the extra read that would find it.
    const auto wanted = static_cast<size_t>(std::min<int64_t>(remaining + 1, kReadChunk));
    const ssize_t got = ::read(source, buffer, wanted);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      changed = posixError("read " + sourcePath, errno);
      break;
    }
    if (got == 0) {
      if (remaining > 0)
        changed = zipError("read " + sourcePath + ": the file shrank while being added");
      break;
    }
    const auto taken = static_cast<size_t>(std::min<int64_t>(got, remaining));
    if (taken > 0) {
      if (checksum != nullptr) checksum->update(buffer, taken);
      if (auto written = writeData(buffer, taken); !written.ok()) return written;
      remaining -= static_cast<int64_t>(taken);
    }
    if (static_cast<size_t>(got) > taken) {
      changed = zipError("read " + sourcePath + ": the file grew while being added");
      break;
    }
    if (remaining == 0 && static_cast<size_t>(got) < wanted) break;
  }
  if (remaining > 0) {
    if (auto padded = writeZeros(remaining); !padded.ok()) return padded;
  }
  if (auto entry = finishEntry(); !entry.ok()) return entry;
  // A write in place keeps the size but moves the modification time.
  struct stat after {};
  if (!changed && (::fstat(source, &after) != 0 || after.st_size != status.st_size ||
                   after.st_mtim.tv_sec != status.st_mtim.tv_sec ||
                   after.st_mtim.tv_nsec != status.st_mtim.tv_nsec)) {
    changed = zipError("read " + sourcePath + ": the file was written to while being added");
  }
  if (changed) {
    torn_.push_back(entries_ - 1);
    return *changed;
  }
  return {};
}

Result<void> Zip::writeZeros(int64_t count) {
  char* const buffer = readBuffer_.get();
  std::memset(buffer, 0, static_cast<size_t>(std::min<int64_t>(count, kReadChunk)));
  while (count > 0) {
    const auto length = static_cast<size_t>(std::min<int64_t>(count, kReadChunk));
    if (auto written = writeData(buffer, length); !written.ok()) return written;
    count -= static_cast<int64_t>(length);
  }
  return {};
}

Result<void> Zip::writeData(const char* data, size_t length) {
  for (size_t done = 0; done < length;) {
    const la_ssize_t written = archive_write_data(archive_, data + done, length - done);
    if (written <= 0) {
      Error error = archiveError("write " + path_);
      discard(error);
      return error;
    }
    done += static_cast<size_t>(written);
  }
  return {};
}

Result<void> Zip::finishEntry() {
  if (archive_write_finish_entry(archive_) < ARCHIVE_WARN) {
    Error error = archiveError("write " + path_);
    discard(error);
    return error;
  }
  return {};
}

Result<void> Zip::finish() {
  if (auto state = usable(); !state.ok()) return state;
  Result<void> closed = closeArchive();
  if (closed.ok() && !torn_.empty()) closed = leaveOutTorn();
  if (!closed.ok()) {
    discard(closed.error());
    return closed;
  }
  if ((finishedFd_ = ::open(partialPath_.c_str(), O_PATH | O_CLOEXEC)) < 0 ||
      ::rename(partialPath_.c_str(), path_.c_str()) != 0) {
    Error error = posixError("finish " + path_, errno);
    discard(error);
    return error;
  }
  partialPath_.clear();
  finished_ = true;
  return {};
}

Result<void> Zip::closeArchive() {
  if (archive_write_close(archive_) != ARCHIVE_OK) return archiveError("finish " + path_);
  if (const int closed = FileDescriptor(std::exchange(fd_, -1)).closeChecked()) {
    return posixError("finish " + path_, closed);
  }
  archive_write_free(std::exchange(archive_, nullptr));
  return {};
}

// Rare (a file changed while it was packed), so a second pass over the archive
// is cheaper than keeping every entry's place to cut it out.
Result<void> Zip::leaveOutTorn() {
  const std::vector<int> torn = std::exchange(torn_, {});
  const FileRemover written{std::exchange(partialPath_, {})};
  const ReaderPointer reader(archive_read_new(), &archive_read_free);
  if (!reader || archive_read_support_format_zip_seekable(reader.get()) != ARCHIVE_OK ||
      archive_read_open_filename(reader.get(), written.path.c_str(), kReadChunk) != ARCHIVE_OK) {
    return readError(reader.get(), "reread " + path_);
  }
  entries_ = 0;
  open();
  if (failure_) return *failure_;
  if (!readBuffer_) readBuffer_.reset(new char[kReadChunk]);
  archive_entry* entry = nullptr;
  int index = 0;
  int next = ARCHIVE_OK;
  while ((next = archive_read_next_header(reader.get(), &entry)) == ARCHIVE_OK) {
    if (std::find(torn.begin(), torn.end(), index++) != torn.end()) continue;
    const char* name = archive_entry_pathname_utf8(entry);
    if (name == nullptr) return zipError("reread " + path_ + ": an entry lost its name");
    const struct timespec modified { archive_entry_mtime(entry), archive_entry_mtime_nsec(entry) };
    if (auto header = writeHeader(name, archive_entry_size(entry), modified); !header.ok()) {
      return header;
    }
    la_ssize_t got = 0;
    while ((got = archive_read_data(reader.get(), readBuffer_.get(), kReadChunk)) > 0) {
      if (auto data = writeData(readBuffer_.get(), static_cast<size_t>(got)); !data.ok()) {
        return data;
      }
    }
    if (got < 0) return readError(reader.get(), "reread " + path_);
    if (auto finished = finishEntry(); !finished.ok()) return finished;
  }
  if (next != ARCHIVE_EOF) return readError(reader.get(), "reread " + path_);
  return closeArchive();
}

void Zip::discard(Error cause) {
  if (const int fd = std::exchange(fd_, -1); fd >= 0) ::close(fd);
  if (archive_ != nullptr) {
    // With the descriptor gone, whatever close still writes fails at once. Not
    // archive_write_fail: only close gives back libarchive's output buffer.
    archive_write_close(archive_);
    archive_write_free(archive_);
    archive_ = nullptr;
  }
  if (!partialPath_.empty()) ::unlink(partialPath_.c_str());
  partialPath_.clear();
  if (finishedFd_ >= 0) {
    struct stat ours {};
    struct stat there {};
    if (::fstat(finishedFd_, &ours) == 0 && ::lstat(path_.c_str(), &there) == 0 &&
        ours.st_dev == there.st_dev && ours.st_ino == there.st_ino) {
      ::unlink(path_.c_str());
    }
    ::close(std::exchange(finishedFd_, -1));
  }
  finished_ = false;
  if (!failure_) failure_ = std::move(cause);
}

Error Zip::archiveError(const std::string& context) const {
  if (writeErrno_ != 0) return posixError(context, writeErrno_);
  if (archive_ == nullptr) return zipError(context + ": libarchive could not start");
  const char* text = archive_error_string(archive_);
  return Error{"LibArchive", archive_errno(archive_),
               context + ": " + (text != nullptr ? text : "unknown libarchive error")};
}

ssize_t Zip::writeBlock(struct archive* archive, void* self, const void* buffer, size_t length) {
  auto* zip = static_cast<Zip*>(self);
  const auto* bytes = static_cast<const char*>(buffer);
  size_t left = length;
  while (left > 0) {
    const ssize_t written = zip->fd_ >= 0 ? ::write(zip->fd_, bytes, left) : -1;
    if (written < 0) {
      if (zip->fd_ >= 0 && errno == EINTR) continue;
      const int failed = zip->fd_ >= 0 ? errno : EBADF;
      zip->writeErrno_ = failed;
      archive_set_error(archive, failed, "cannot write the archive");
      return -1;
    }
    bytes += written;
    left -= static_cast<size_t>(written);
  }
  return static_cast<ssize_t>(length);
}

}  // namespace tessellon
