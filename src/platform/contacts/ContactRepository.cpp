#include "platform/contacts/ContactRepository.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>

#include "tessellon/BackupSDKError.h"

#include "core/Log.h"
#include "platform/contacts/VCardReader.h"
#include "platform/contacts/VCardSource.h"
#include "platform/contacts/VCardWriter.h"
#include "platform/files/FileDescriptor.h"
#include "platform/files/PosixError.h"
#include "platform/files/PosixFiles.h"
#include "platform/text/AsciiText.h"

namespace tessellon {
namespace {

constexpr const char* kDefaultContainer = "default";
constexpr const char* kCardExtension = ".vcf";
// Larger files are not address-book cards; reading them would only cost memory.
constexpr off_t kMaxCardFileBytes = 64 << 20;

std::string joined(const std::string& folder, const std::string& name) {
  return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

bool isCardFile(const std::string& name) {
  if (name.empty() || name[0] == '.' || name.size() <= std::strlen(kCardExtension)) return false;
  return lowered(std::string_view(name).substr(name.size() - std::strlen(kCardExtension))) ==
         kCardExtension;
}

// The visible entries of a folder for which `keep(path)` holds, in name order;
// the errno of opendir when the folder cannot be read.
template <class Keep>
Result<std::vector<std::string>> listFolder(const std::string& folder, Keep keep, int& failure) {
  DIR* directory = ::opendir(folder.c_str());
  if (directory == nullptr) {
    failure = errno;
    return posixError("opendir " + folder, failure);
  }
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(directory)) {
    const std::string name = entry->d_name;
    if (name.empty() || name[0] == '.') continue;
    if (keep(name, joined(folder, name))) names.push_back(name);
  }
  ::closedir(directory);
  std::sort(names.begin(), names.end());
  return names;
}

Result<std::string> readFile(const std::string& path) {
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.isOpen()) return posixError("open " + path, errno);
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return posixError("fstat " + path, errno);
  if (info.st_size > kMaxCardFileBytes) return posixError("read " + path, EFBIG);
  std::string content(static_cast<size_t>(info.st_size), '\0');
  size_t filled = 0;
  while (filled < content.size()) {
    const ssize_t count = ::read(fd.get(), content.data() + filled, content.size() - filled);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return posixError("read " + path, errno);
    if (count == 0) break;
    filled += static_cast<size_t>(count);
  }
  content.resize(filled);
  return content;
}

// Creates `path` and its missing parents.
bool makeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string prefix = path.substr(0, slash);
    if (!prefix.empty() && ::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  if (!S_ISDIR(info.st_mode)) {
    errno = ENOTDIR;
    return false;
  }
  return true;
}

std::string newUid() {
  // Seeded once per thread: opening the system's random source for every card of a large restore
  // cost more than writing the card.
  thread_local std::mt19937_64 source{std::random_device{}()};
  unsigned char bytes[16];
  for (size_t half = 0; half < 2; ++half) {
    const uint64_t value = source();
    for (size_t index = 0; index < 8; ++index) {
      bytes[half * 8 + index] = static_cast<unsigned char>(value >> (8 * index));
    }
  }
  bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);
  bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);
  char text[37];
  std::snprintf(text, sizeof text,
                "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", bytes[0],
                bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8],
                bytes[9], bytes[10], bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
  return text;
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

// Moves `temporary` to `target` unless `target` exists.
int moveWithoutReplacing(const std::string& temporary, const std::string& target) {
  if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
    return 0;
  }
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // File systems without RENAME_NOREPLACE: a hard link fails on an existing
  // name just the same.
  if (::link(temporary.c_str(), target.c_str()) != 0) return errno;
  ::unlink(temporary.c_str());
  return 0;
}

// Writes `content` to a hidden temporary file in `folder`, for publish() to give its name. The
// temporary path.
Result<std::string> writeTemporaryCard(const std::string& folder, const std::string& uid,
                                       const std::string& content) {
  static std::atomic<unsigned> counter{0};
  const std::string temporary =
      joined(folder, "." + fileBase(uid, "card") + ".tmp-" + std::to_string(::getpid()) + "-" +
                         std::to_string(counter++));
  FileDescriptor fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (!fd.isOpen()) return posixError("open " + temporary, errno);
  int failure = 0;
  if (!writeAll(fd.get(), content)) failure = errno;
  const int closeFailure = fd.closeChecked();
  if (failure == 0) failure = closeFailure;
  if (failure != 0) {
    ::unlink(temporary.c_str());
    return posixError("write " + temporary, failure);
  }
  return temporary;
}

// Gives `temporary` a name of its own in its folder made of `uid` (made unique, never replacing a
// card), so a reader never sees half a card. The full path.
Result<std::string> publish(const std::string& temporary, const std::string& uid) {
  const std::string folder = temporary.substr(0, temporary.rfind('/'));
  const std::string base = fileBase(uid, "card");
  for (int attempt = 1;; ++attempt) {
    const std::string name = attempt == 1 ? base + kCardExtension
                                          : base + "-" + std::to_string(attempt) + kCardExtension;
    const std::string target = joined(folder, name);
    const int failure = moveWithoutReplacing(temporary, target);
    if (failure == 0) return target;
    if (failure != EEXIST) return posixError("rename " + target, failure);
  }
}

void syncFolder(const std::string& folder) {
  FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.isOpen()) ::fsync(fd.get());
}

}  // namespace

ContactRepository::ContactRepository(std::string root, std::shared_ptr<CNContactStoreHelper> helper,
                                     std::shared_ptr<LoggerProtocol> logger)
    : contactStore_(std::move(root)),
      cnContactStoreHelper_(std::move(helper)),
      logger_(std::move(logger)) {}

Future<Void> ContactRepository::requestAccess() {
  struct stat info {};
  if (::stat(contactStore_.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    return Future<Void>::fail(makeError(BackupSDKError::contactsAccessDenied,
                                        "no address book folder at " + contactStore_));
  }
  if (::access(contactStore_.c_str(), R_OK | W_OK | X_OK) != 0) {
    return Future<Void>::fail(makeError(BackupSDKError::contactsAccessDenied,
                                        "no read and write access to " + contactStore_));
  }
  return Future<Void>::success(Void{});
}

Result<void> ContactRepository::createStore() {
  if (!makeFolders(contactStore_)) {
    return makeError(BackupSDKError::contactsAccessDenied,
                     "cannot create " + contactStore_ + ": " + std::strerror(errno));
  }
  return {};
}

Result<std::vector<std::string>> ContactRepository::containers() const {
  int failure = 0;
  Result<std::vector<std::string>> names = listFolder(
      contactStore_,
      [](const std::string&, const std::string& path) {
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
        // A link that leads nowhere is an address book that cannot be read.
        return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
      },
      failure);
  if (!names.ok() && failure == ENOENT) return std::vector<std::string>{};
  return names;
}

Result<std::vector<std::shared_ptr<Contact>>> ContactRepository::getExistingContacts() {
  Result<std::vector<std::string>> books = containers();
  if (!books.ok()) {
    return makeError(BackupSDKError::contactsFetchingContainersFailed, books.error().message);
  }
  std::vector<std::shared_ptr<Contact>> contacts;
  skipped_.clear();
  uids_.clear();
  for (const std::string& book : books.value()) {
    int failure = 0;
    const Result<std::vector<std::string>> files = listFolder(
        joined(contactStore_, book),
        [](const std::string& name, const std::string&) { return isCardFile(name); }, failure);
    if (!files.ok()) {
      return makeError(BackupSDKError::contactsFetchingResultsForContainersFailed,
                       files.error().message);
    }
    for (const std::string& file : files.value()) {
      readCards(joined(joined(contactStore_, book), file), contacts);
    }
  }
  return contacts;
}

void ContactRepository::readCards(const std::string& path,
                                  std::vector<std::shared_ptr<Contact>>& contacts) {
  const Result<std::string> content = readFile(path);
  if (!content.ok()) {
    logWith(logger_, LogLevel::warning,
            [&] { return "skipping unreadable contact card " + content.error().message; });
    skipped_.push_back({SkippedItem::Category::contacts, path, "unreadable file"});
    return;
  }
  VCardReader::Result cards = VCardReader::read(content.value());
  for (const std::string& error : cards.errors) {
    logWith(logger_, LogLevel::warning, [&] {
      std::string line = "skipping malformed contact card in " + path;
      line.append(": ").append(error);
      return line;
    });
    skipped_.push_back({SkippedItem::Category::contacts, path, error});
  }
  for (VCard& card : cards.cards) {
    if (!card.uid.empty()) uids_.insert(card.uid);
    if (card.source.size() > VCardSource::kMaxBytes) {
      logWith(logger_, LogLevel::warning, [&] {
        return "contact card in " + path + " has " + std::to_string(card.source.size()) +
               " bytes, more than " + std::to_string(VCardSource::kMaxBytes) +
               ": only its fields are kept";
      });
      card.source.clear();
    }
    contacts.push_back(cnContactStoreHelper_->mapContact(card));
  }
}

std::shared_ptr<Contact> ContactRepository::storedForm(const Contact& contact) const {
  // The very text execute() would write, read back as getExistingContacts() reads it.
  const VCardReader::Result read =
      VCardReader::read(VCardWriter::write(cnContactStoreHelper_->mapContact(contact)));
  if (read.cards.size() != 1) return std::make_shared<Contact>(contact);
  std::shared_ptr<Contact> stored = cnContactStoreHelper_->mapContact(read.cards.front());
  stored->vCard.reset();
  return stored;
}

Result<std::string> ContactRepository::containerFolder(
    const std::optional<std::string>& identifier) const {
  std::string name;
  if (identifier) {
    if (identifier->empty() || *identifier == "." || *identifier == ".." ||
        identifier->find('/') != std::string::npos) {
      return posixError("address book \"" + *identifier + "\"", EINVAL);
    }
    name = *identifier;
  } else {
    Result<std::vector<std::string>> books = containers();
    if (!books.ok()) return books.error();
    name = books.value().empty() ? kDefaultContainer : books.value().front();
  }
  const std::string folder = joined(contactStore_, name);
  if (!makeFolders(folder)) return posixError("mkdir " + folder, errno);
  return folder;
}

Result<void> ContactRepository::execute() {
  // Every card is written under a temporary name first and flushed once, then named: a failure
  // before the naming leaves no card behind, one during it removes the cards already named.
  std::vector<std::string> temporaries;
  std::vector<std::string> written;
  auto undo = [&] {
    for (const std::string& path : temporaries) ::unlink(path.c_str());
    for (const std::string& path : written) ::unlink(path.c_str());
  };
  std::vector<std::string> folders;
  std::map<std::optional<std::string>, std::string> folderOf;
  for (ContactSaveRequest::Addition& addition : saveRequest_.additions) {
    // A kept card keeps its UID unless another card has it: two cards of one UID are one card to
    // every program that syncs the address book.
    if (addition.card.uid.empty() || !uids_.insert(addition.card.uid).second) {
      addition.card.uid = newUid();
      uids_.insert(addition.card.uid);
      if (!addition.card.source.empty()) {
        addition.card.source = VCardSource::withUid(addition.card.source, addition.card.uid);
      }
    }
    auto known = folderOf.find(addition.containerIdentifier);
    if (known == folderOf.end()) {
      Result<std::string> folder = containerFolder(addition.containerIdentifier);
      if (!folder.ok()) {
        undo();
        return folder.error();
      }
      known = folderOf.emplace(addition.containerIdentifier, folder.value()).first;
    }
    const Result<std::string> folder = known->second;
    const std::string text = addition.card.source.empty()
                                 ? VCardWriter::write(addition.card)
                                 : VCardSource::fileText(addition.card.source);
    Result<std::string> temporary = writeTemporaryCard(folder.value(), addition.card.uid, text);
    if (!temporary.ok()) {
      undo();
      return temporary.error();
    }
    temporaries.push_back(temporary.value());
    folders.push_back(folder.value());
  }
  std::sort(folders.begin(), folders.end());
  folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
  for (const std::string& folder : folders) {
    // One flush for all the cards of a request.
    if (Result<void> synced = posix::syncFileSystem(folder); !synced.ok()) {
      undo();
      return synced.error();
    }
  }
  for (size_t index = 0; index < temporaries.size(); ++index) {
    Result<std::string> path = publish(temporaries[index], saveRequest_.additions[index].card.uid);
    if (!path.ok()) {
      temporaries.erase(temporaries.begin(),
                        temporaries.begin() + static_cast<std::ptrdiff_t>(index));
      undo();
      return path.error();
    }
    written.push_back(path.value());
  }
  for (const std::string& folder : folders) syncFolder(folder);
  saveRequest_ = ContactSaveRequest{};
  return {};
}

}  // namespace tessellon
