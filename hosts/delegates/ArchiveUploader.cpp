#include "delegates/ArchiveUploader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>
#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <random>
#include <set>
#include <thread>
#include <utility>

#include "delegates/FileDescriptor.h"
#include "delegates/LocalFolderError.h"
#include "delegates/SafeZipExtractor.h"

namespace tessellon::hosts {

// One member of a ZIP archive as its central directory describes it.
struct ZipMember {
  std::vector<std::string> parts;  // the name's components
  bool folder = false;
  bool stored = false;  // kept as is (method 0), not deflated
  uint32_t crc = 0;
  int64_t dataOffset = 0;
  int64_t packedSize = 0;
  int64_t size = 0;
};

namespace {

std::string joined(const std::vector<std::string>& parts, size_t count) {
  std::string path;
  for (size_t i = 0; i < count; ++i) path += (i == 0 ? "" : "/") + parts[i];
  return path;
}

std::optional<Error> writeWhole(const std::string& path, const std::string& bytes) {
  FileDescriptor out(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  if (!out.valid()) return posixError(errno, "cannot write " + path);
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = ::write(out.get(), bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return posixError(errno, "cannot write " + path);
    done += static_cast<size_t>(written);
  }
  if (const int failed = out.close()) return posixError(failed, "cannot write " + path);
  return std::nullopt;
}

std::string freshName() {
  thread_local std::mt19937_64 random{std::random_device{}()};
  return "inflate-" + std::to_string(random());
}

using Job = std::function<std::optional<Error>()>;

// Upload threads fed with jobs, and the first failure among them (a full remote over any other:
// it stops the whole run).
class Uploads {
 public:
  explicit Uploads(size_t transfers) {
    for (size_t i = 0; i < transfers; ++i) threads_.emplace_back([this] { work(); });
  }
  ~Uploads() { (void)close(); }

  // Queues a job; the first failure so far, when there is one (the job is then dropped).
  std::optional<Error> push(Job job) {
    std::lock_guard lock(mutex_);
    if (failure_) return failure_;
    waiting_.push_back(std::move(job));
    changed_.notify_one();
    return std::nullopt;
  }
  // Waits until every job queued has ended; the first failure, if any.
  std::optional<Error> drain() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return failure_ || (waiting_.empty() && busy_ == 0); });
    return failure_;
  }
  // Runs what is queued (unless something failed), ends the threads; the first failure.
  std::optional<Error> close() {
    {
      std::lock_guard lock(mutex_);
      closed_ = true;
    }
    changed_.notify_all();
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
    std::lock_guard lock(mutex_);
    return failure_;
  }

 private:
  void work() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [&] { return failure_ || closed_ || !waiting_.empty(); });
      if (failure_ || waiting_.empty()) return;
      Job job = std::move(waiting_.front());
      waiting_.pop_front();
      ++busy_;
      lock.unlock();
      std::optional<Error> error = job();
      lock.lock();
      --busy_;
      if (error && (!failure_ || (error->code == 507 && failure_->code != 507))) {
        failure_ = std::move(error);
      }
      changed_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Job> waiting_;
  size_t busy_ = 0;
  bool closed_ = false;
  std::optional<Error> failure_;
  std::vector<std::thread> threads_;
};

uint16_t le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t le32(const unsigned char* p) {
  return static_cast<uint32_t>(le16(p)) | (static_cast<uint32_t>(le16(p + 2)) << 16);
}
uint64_t le64(const unsigned char* p) {
  return static_cast<uint64_t>(le32(p)) | (static_cast<uint64_t>(le32(p + 4)) << 32);
}

bool readAt(int fd, int64_t offset, size_t size, std::vector<unsigned char>& out) {
  out.resize(size);
  size_t done = 0;
  while (done < size) {
    const ssize_t got =
        ::pread(fd, out.data() + done, size - done, offset + static_cast<int64_t>(done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<size_t>(got);
  }
  return true;
}

// A name's components, or nothing for a name the extractor would have to judge (absolute, "..",
// empty or "." components, a backslash, a NUL).
std::optional<std::vector<std::string>> plainParts(const std::string& name) {
  if (name.empty() || name.front() == '/' || name.find('\\') != std::string::npos ||
      name.find('\0') != std::string::npos) {
    return std::nullopt;
  }
  std::vector<std::string> parts;
  size_t start = 0;
  const std::string trimmed = name.back() == '/' ? name.substr(0, name.size() - 1) : name;
  while (start <= trimmed.size()) {
    const size_t slash = std::min(trimmed.find('/', start), trimmed.size());
    std::string part = trimmed.substr(start, slash - start);
    if (part.empty() || part == "." || part == "..") return std::nullopt;
    parts.push_back(std::move(part));
    start = slash + 1;
  }
  return parts;
}

// The members of the archive at `fd`, in the central directory's order; nothing when the archive
// holds anything but plain names, plain files and folders stored or deflated without encryption,
// or cannot be read as such: the extractor then takes it, and judges it.
std::optional<std::vector<ZipMember>> readZipDirectory(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0 || info.st_size < 22) return std::nullopt;
  const int64_t size = info.st_size;
  const int64_t tail = std::min<int64_t>(size, 65535 + 22);
  std::vector<unsigned char> end;
  if (!readAt(fd, size - tail, static_cast<size_t>(tail), end)) return std::nullopt;
  int64_t at = -1;
  for (int64_t i = tail - 22; i >= 0; --i) {
    if (le32(&end[static_cast<size_t>(i)]) == 0x06054b50) {
      at = i;
      break;
    }
  }
  if (at < 0) return std::nullopt;
  const unsigned char* record = &end[static_cast<size_t>(at)];
  uint64_t count = le16(record + 10);
  uint64_t directorySize = le32(record + 12);
  uint64_t directoryOffset = le32(record + 16);
  if (count == 0xFFFF || directorySize == 0xFFFFFFFF || directoryOffset == 0xFFFFFFFF) {
    // ZIP64: the locator sits right before the record and points at the larger one.
    if (at < 20 || le32(record - 20) != 0x07064b50) return std::nullopt;
    std::vector<unsigned char> big;
    if (!readAt(fd, static_cast<int64_t>(le64(record - 20 + 8)), 56, big) ||
        le32(big.data()) != 0x06064b50) {
      return std::nullopt;
    }
    count = le64(big.data() + 32);
    directorySize = le64(big.data() + 40);
    directoryOffset = le64(big.data() + 48);
  }
  if (directoryOffset + directorySize > static_cast<uint64_t>(size) ||
      directorySize > (uint64_t{64} << 20)) {
    return std::nullopt;
  }
  std::vector<unsigned char> directory;
  if (!readAt(fd, static_cast<int64_t>(directoryOffset), static_cast<size_t>(directorySize),
              directory)) {
    return std::nullopt;
  }
  std::vector<ZipMember> members;
  size_t pos = 0;
  for (uint64_t n = 0; n < count; ++n) {
    if (pos + 46 > directory.size() || le32(&directory[pos]) != 0x02014b50) return std::nullopt;
    const unsigned char* header = &directory[pos];
    const uint16_t flags = le16(header + 8);
    const uint16_t method = le16(header + 10);
    const size_t nameLength = le16(header + 28);
    const size_t extraLength = le16(header + 30);
    const size_t commentLength = le16(header + 32);
    const uint32_t mode = le32(header + 38) >> 16;
    if (pos + 46 + nameLength + extraLength + commentLength > directory.size()) return std::nullopt;
    ZipMember member;
    member.crc = le32(header + 16);
    uint64_t packed = le32(header + 20);
    uint64_t unpacked = le32(header + 24);
    uint64_t local = le32(header + 42);
    const std::string name(reinterpret_cast<const char*>(header + 46), nameLength);
    // Sizes and offsets too large for the header are in the ZIP64 extra field, in this order.
    for (size_t e = 0; e + 4 <= extraLength;) {
      const unsigned char* field = header + 46 + nameLength + e;
      const size_t length = le16(field + 2);
      if (le16(field) == 0x0001) {
        size_t k = 4;
        for (uint64_t* value : {&unpacked, &packed, &local}) {
          if (*value != 0xFFFFFFFF) continue;
          if (k + 8 > 4 + length) return std::nullopt;
          *value = le64(field + k);
          k += 8;
        }
      }
      e += 4 + length;
    }
    pos += 46 + nameLength + extraLength + commentLength;
    const bool nonAscii = std::any_of(name.begin(), name.end(),
                                      [](char c) { return static_cast<unsigned char>(c) > 127; });
    const unsigned kind = mode & S_IFMT;
    auto parts = plainParts(name);
    if (!parts || (flags & 1) != 0 || (nonAscii && (flags & 0x800) == 0) ||
        (method != 0 && method != 8) || (kind != 0 && kind != S_IFREG && kind != S_IFDIR)) {
      return std::nullopt;
    }
    member.parts = std::move(*parts);
    member.folder = name.back() == '/' || kind == S_IFDIR;
    member.stored = method == 0;
    if (member.stored && packed != unpacked) return std::nullopt;
    std::vector<unsigned char> localHeader;
    if (!readAt(fd, static_cast<int64_t>(local), 30, localHeader) ||
        le32(localHeader.data()) != 0x04034b50) {
      return std::nullopt;
    }
    member.dataOffset = static_cast<int64_t>(local) + 30 + le16(localHeader.data() + 26) +
                        le16(localHeader.data() + 28);
    member.packedSize = static_cast<int64_t>(packed);
    member.size = static_cast<int64_t>(unpacked);
    if (member.dataOffset + member.packedSize > size) return std::nullopt;
    members.push_back(std::move(member));
  }
  return members;
}

// The CRC-32 of `length` bytes from `offset`; nothing when they cannot be read.
std::optional<uint32_t> crcOf(int fd, int64_t offset, int64_t length) {
  std::vector<unsigned char> buffer(size_t{1} << 20);
  uLong crc = crc32(0L, Z_NULL, 0);
  while (length > 0) {
    const size_t want =
        static_cast<size_t>(std::min<int64_t>(length, static_cast<int64_t>(buffer.size())));
    const ssize_t got = ::pread(fd, buffer.data(), want, offset);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return std::nullopt;
    crc = crc32(crc, buffer.data(), static_cast<uInt>(got));
    offset += got;
    length -= got;
  }
  return static_cast<uint32_t>(crc);
}

// A deflated member's bytes, checked against its CRC; nothing when damaged. Only for documents:
// they are held in memory.
std::optional<std::string> inflated(int fd, const ZipMember& member) {
  constexpr int64_t kLargestDocument = int64_t{256} << 20;
  if (member.size > kLargestDocument || member.packedSize > kLargestDocument) return std::nullopt;
  std::vector<unsigned char> packed;
  if (!readAt(fd, member.dataOffset, static_cast<size_t>(member.packedSize), packed)) {
    return std::nullopt;
  }
  std::string bytes(static_cast<size_t>(member.size), '\0');
  z_stream stream{};
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return std::nullopt;
  stream.next_in = packed.data();
  stream.avail_in = static_cast<uInt>(packed.size());
  stream.next_out = reinterpret_cast<Bytef*>(bytes.data());
  stream.avail_out = static_cast<uInt>(bytes.size());
  const int status = inflate(&stream, Z_FINISH);
  const bool whole = status == Z_STREAM_END && stream.total_out == bytes.size();
  inflateEnd(&stream);
  if (!whole || crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()),
                      static_cast<uInt>(bytes.size())) != member.crc) {
    return std::nullopt;
  }
  return bytes;
}

}  // namespace

ArchiveUploader::ArchiveUploader(ObjectStore& store, std::string stagingRoot,
                                 std::vector<std::string> archive, std::string destination,
                                 size_t transfers)
    : store_(store),
      stagingRoot_(std::move(stagingRoot)),
      archive_(std::move(archive)),
      destination_(std::move(destination)),
      extractFolder_(freshName()),
      transfers_(std::max<size_t>(transfers, 1)) {}

std::string ArchiveUploader::keyOf(const std::vector<std::string>& parts) const {
  const std::string relative = joined(parts, parts.size());
  return destination_.empty() ? relative : destination_ + "/" + relative;
}

std::string ArchiveUploader::localOf(const std::vector<std::string>& parts) const {
  return stagingRoot_ + "/" + extractFolder_ + "/" + joined(parts, parts.size());
}

std::optional<Error> ArchiveUploader::run() {
  std::string path = stagingRoot_;
  for (const std::string& part : archive_) path += "/" + part;
  FileDescriptor archive(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (archive.valid()) {
    if (auto members = readZipDirectory(archive.get())) {
      return uploadMembers(path, archive.get(), *members);
    }
  }
  return extractAndUpload();
}

std::optional<Error> ArchiveUploader::makeFolders(const std::vector<std::string>& parts,
                                                  bool folder, std::set<std::string>& made) {
  const size_t depth = folder ? parts.size() : parts.size() - 1;
  for (size_t count = 1; count <= depth; ++count) {
    const std::string key = keyOf({joined(parts, count)});
    if (!made.insert(key).second) continue;
    StoreAnswer ignored = StoreAnswer::done;
    if (auto error = store_.makeFolder(key, ignored)) return error;
  }
  return std::nullopt;
}

// Members kept as is go up straight from the archive, as ranges of it: nothing is written here,
// which for an archive of media is most of the work. Each one's CRC is checked before it goes
// up, so no damaged file ever lands under its name. Deflated members (documents) are inflated
// in memory.
std::optional<Error> ArchiveUploader::uploadMembers(const std::string& path, int archive,
                                                    const std::vector<ZipMember>& members) {
  Uploads uploads(transfers_);
  std::set<std::string> folders;
  auto damaged = [this](const ZipMember& member) {
    return localFolderError(LocalFolderError::unreadableArchive,
                            "the member " + joined(member.parts, member.parts.size()) + " of " +
                                joined(archive_, archive_.size()) + " is damaged");
  };
  auto send = [&, this](const ZipMember& member) -> std::optional<Error> {
    if (!member.stored) {
      const std::optional<std::string> bytes = inflated(archive, member);
      if (!bytes) return damaged(member);
      const std::string local = stagingRoot_ + "/" + extractFolder_ + "-" +
                                std::to_string(reinterpret_cast<uintptr_t>(&member));
      if (auto error = writeWhole(local, *bytes)) return error;
      std::optional<Error> error = store_.putFile(local, keyOf(member.parts), TransferHooks{});
      (void)::unlink(local.c_str());
      return error;
    }
    if (crcOf(archive, member.dataOffset, member.size) != member.crc) return damaged(member);
    return store_.putFileRange(path, member.dataOffset, member.size, keyOf(member.parts),
                               TransferHooks{});
  };
  for (const ZipMember& member : members) {
    if (auto error = makeFolders(member.parts, member.folder, folders)) {
      (void)uploads.close();
      return error;
    }
    if (member.folder) continue;
    std::optional<Error> error;
    if (member.parts.size() > 1) {
      error = uploads.push([&send, &member] { return send(member); });
    } else if (!(error = uploads.drain())) {
      // A document at the top waits for every member before it.
      error = send(member);
    }
    if (error) {
      (void)uploads.close();
      return error;
    }
  }
  return uploads.close();
}

// Entries upload while the extraction goes on: each one as soon as it is on the local disk.
std::optional<Error> ArchiveUploader::extractAndUpload() {
  Uploads uploads(transfers_);
  std::set<std::string> folders;
  SafeZipExtractor extractor(stagingRoot_, archive_, {extractFolder_},
                             [](int64_t) { return true; });
  extractor.onWritten(
      [&](const std::vector<std::string>& parts, bool folder) -> std::optional<Error> {
        if (auto error = makeFolders(parts, folder, folders)) return error;
        if (folder) return std::nullopt;
        if (parts.size() > 1) return uploads.push([this, parts] { return upload(parts); });
        // A document at the top waits for every entry before it.
        if (auto failure = uploads.drain()) return failure;
        return upload(parts);
      });
  std::optional<Error> failure = extractor.run();
  std::optional<Error> uploaded = uploads.close();
  if (!failure) failure = uploaded;

  std::error_code ignored;
  std::filesystem::remove_all(stagingRoot_ + "/" + extractFolder_, ignored);
  return failure;
}

std::optional<Error> ArchiveUploader::upload(const std::vector<std::string>& parts) {
  const std::string local = localOf(parts);
  std::optional<Error> error = store_.putFile(local, keyOf(parts), TransferHooks{});
  // Landed files leave the staging folder at once: an archive may be as large as the disk allows.
  (void)::unlink(local.c_str());
  return error;
}

}  // namespace tessellon::hosts
