#include "restore/VerifyService.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "tessellon/BackupSDKError.h"

#include "backup/UnlistedFiles.h"
#include "core/Log.h"
#include "core/PathUtils.h"
#include "model/ItemsMetaData.h"
#include "model/MediaMetaData.h"
#include "platform/calendar/CalendarEntry.h"
#include "platform/contacts/Contact.h"
#include "platform/files/ContentChecksum.h"

namespace tessellon {
namespace {

using VerifyReportPtr = std::shared_ptr<VerifyReport>;
using Items = std::vector<std::shared_ptr<MediaItem>>;

struct Category {
  const char* folder;    // "images"
  const char* document;  // "images.json"
  std::shared_ptr<MediaMetaData> BackupRecord::*metaData;
  VerifySection VerifyReport::*section;
};

constexpr const char* kNotThere = "not on the remote";

bool isMissingFile(const Error& error) {
  return isError(error, BackupSDKError::delegateFileDoesNotExist);
}

template <class T>
Future<Void> cancelledOr(const FutureResult<T>& result, Future<Void> otherwise) {
  if (result.isCancelled()) return Future<Void>::cancelled();
  return otherwise;
}

// One verification: the record, the report being filled and what the device folder holds.
// Steps run one after another, so the report needs no lock.
class VerifyRun : public std::enable_shared_from_this<VerifyRun> {
 public:
  VerifyRun(std::shared_ptr<RemoteIOServiceProtocol> remote,
            std::shared_ptr<FileIOServiceProtocol> files, std::shared_ptr<MetadataLoader> loader,
            std::shared_ptr<BackupRecord> backup, bool readData, std::shared_ptr<CancelToken> token)
      : remote_(std::move(remote)),
        files_(std::move(files)),
        loader_(std::move(loader)),
        backup_(std::move(backup)),
        readData_(readData),
        token_(std::move(token)),
        report_(std::make_shared<VerifyReport>()) {
    report_->deviceID = backup_->deviceID;
    report_->readData = readData;
  }

  Future<VerifyReportPtr> run() {
    auto self = shared_from_this();
    return remote_->getDirectoryInfo(backup_->deviceID, token_)
        .onSuccess(Executor::immediate(),
                   [self](const std::shared_ptr<const Directory>& folder) {
                     for (const Member& member : folder->members) {
                       const std::string name =
                           PathUtils::getFileName(member.fullName).value_or(member.fullName);
                       self->deviceFolder_.emplace(name, member.type);
                     }
                     return self->checkDocument<ItemsMetaData<Contact>>(
                         "contacts.json", self->backup_->contactsMetaData != nullptr);
                   })
        .onSuccess(Executor::immediate(),
                   [self] {
                     return self->checkDocument<ItemsMetaData<CalendarEntry>>(
                         "calendars.json", self->backup_->calendarsMetaData != nullptr);
                   })
        .onSuccess(
            Executor::immediate(),
            [self] {
              return self->checkMedia(
                  {"images", "images.json", &BackupRecord::imagesMetaData, &VerifyReport::images});
            })
        .onSuccess(
            Executor::immediate(),
            [self] {
              return self->checkMedia(
                  {"videos", "videos.json", &BackupRecord::videosMetaData, &VerifyReport::videos});
            })
        .onSuccess(Executor::immediate(), [self] { return self->report_; });
  }

 private:
  std::string remotePath(const std::string& name) const {
    return PathUtils::combinePath({backup_->deviceID, name});
  }
  bool has(const std::string& name, MemberType type) const {
    const auto found = deviceFolder_.find(name);
    return found != deviceFolder_.end() && found->second == type;
  }
  static void note(std::vector<VerifyItem>& list, std::string name, std::string problem,
                   const MediaItem* item = nullptr) {
    VerifyItem entry;
    entry.remoteName = std::move(name);
    entry.problem = std::move(problem);
    if (item) {
      entry.localPaths = item->paths();
      entry.bytes = item->bytes;
    }
    list.push_back(std::move(entry));
  }
  // A document that could not be had: missing when the host says so, else damaged.
  void noteDocumentFailure(const std::string& name, const Error& error) {
    if (isMissingFile(error)) return note(report_->documents.missing, name, kNotThere);
    note(report_->documents.damaged, name, "does not read: " + error.message);
  }
  // Counts a document the record names; false (and noted as missing) when it is not there.
  bool documentPresent(const std::string& name) {
    ++report_->documents.checked;
    if (has(name, MemberType::file)) return true;
    note(report_->documents.missing, name, kNotThere);
    return false;
  }

  template <class T>
  Future<Void> checkDocument(const std::string& name, bool named) {
    if (!named || !documentPresent(name)) return Future<Void>::success(Void{});
    auto self = shared_from_this();
    return loader_->getRemoteMetaData<T>(remotePath(name), token_)
        .onComplete(Executor::immediate(),
                    [self, name](const FutureResult<std::shared_ptr<T>>& loaded) {
                      if (loaded.isFail()) self->noteDocumentFailure(name, loaded.failure());
                      return cancelledOr(loaded, Future<Void>::success(Void{}));
                    });
  }

  Future<Void> checkMedia(const Category& category) {
    if (!((*backup_).*category.metaData) || !documentPresent(category.document)) {
      return Future<Void>::success(Void{});
    }
    auto self = shared_from_this();
    return loader_->getRemoteMetaData<MediaMetaData>(remotePath(category.document), token_)
        .onComplete(
            Executor::immediate(),
            [self,
             category](const FutureResult<std::shared_ptr<MediaMetaData>>& loaded) -> Future<Void> {
              if (loaded.isFail()) {
                self->noteDocumentFailure(category.document, loaded.failure());
                return Future<Void>::success(Void{});
              }
              if (loaded.isCancelled()) return Future<Void>::cancelled();
              const std::shared_ptr<MediaMetaData>& stored = loaded.successValue();
              auto items =
                  std::make_shared<Items>(stored && stored->items ? *stored->items : Items{});
              // A folder that is not there holds nothing: every item is missing. One that is
              // there but cannot be listed tells nothing, and fails the run.
              using Listing = std::shared_ptr<const Directory>;
              Future<Listing> listing =
                  self->has(category.folder, MemberType::directory)
                      ? self->remote_->getDirectoryInfo(self->remotePath(category.folder),
                                                        self->token_)
                      : Future<Listing>::success(std::make_shared<const Directory>());
              return listing.onSuccess(Executor::defaultQoS(),
                                       [self, category, items](const Listing& folder) {
                                         return self->compare(category, *items, *folder);
                                       });
            });
  }

  // Presence and size of every item from the one listing; then the content of those that have
  // a checksum, when asked.
  Future<Void> compare(const Category& category, const Items& items, const Directory& folder) {
    std::unordered_map<std::string, int64_t> sizes;
    sizes.reserve(folder.members.size());
    for (const Member& member : folder.members) {
      if (member.type != MemberType::file) continue;
      sizes.emplace(PathUtils::getFileName(member.fullName).value_or(member.fullName),
                    member.fileSizeInByte);
    }
    VerifySection& section = (*report_).*category.section;
    auto toRead = std::make_shared<Items>();
    auto unlisted = std::make_shared<Items>();
    for (const std::shared_ptr<MediaItem>& item : items) {
      if (!item) continue;
      ++section.checked;
      if (!item->fingerprint) {
        note(section.damaged, "", "the record gives it no name", item.get());
        continue;
      }
      std::string name = item->getRemoteFileName();
      const auto found = sizes.find(name);
      if (found == sizes.end()) {
        unlisted->push_back(item);
      } else if (found->second != item->bytes) {
        note(section.damaged, std::move(name),
             std::to_string(found->second) + " bytes instead of " + std::to_string(item->bytes),
             item.get());
      } else if (readData_ && item->checksum) {
        toRead->push_back(item);
      }
    }
    return askUnlisted(category, unlisted, toRead);
  }

  // A file the listing lacks is asked for on its own before it is named missing: a host whose
  // listing leaves files out must not have them reported lost. One that answers is read with the
  // rest, when contents are read.
  Future<Void> askUnlisted(const Category& category, const std::shared_ptr<Items>& unlisted,
                           const std::shared_ptr<Items>& toRead) {
    UnlistedFiles::Recorded names;
    for (const auto& item : *unlisted) names.emplace_back(item->getRemoteFileName(), item->bytes);
    auto self = shared_from_this();
    const Future<std::shared_ptr<const Directory>> asked =
        names.empty()
            ? Future<std::shared_ptr<const Directory>>::success(std::make_shared<const Directory>())
            : unlistedFiles_.confirm(remotePath(category.folder),
                                     std::make_shared<const Directory>(), std::move(names), token_);
    return asked.onSuccess(
        [self, category, unlisted, toRead](const std::shared_ptr<const Directory>& held) {
          std::unordered_set<std::string> there;
          for (const Member& member : held->members) {
            there.insert(PathUtils::getFileName(member.fullName).value_or(member.fullName));
          }
          VerifySection& section = (*self->report_).*category.section;
          for (const auto& item : *unlisted) {
            std::string name = item->getRemoteFileName();
            if (there.count(name) == 0) {
              self->note(section.missing, std::move(name), kNotThere, item.get());
            } else if (self->readData_ && item->checksum) {
              toRead->push_back(item);
            }
          }
          if (toRead->empty()) return Future<Void>::success(Void{});
          return self->readContent(category, toRead, 0);
        });
  }

  std::string remotePath(const Category& category, const MediaItem& item) const {
    return PathUtils::combinePath({backup_->deviceID, category.folder, item.getRemoteFileName()});
  }

  // The size and checksum of a stored file, as the bytes the host streams add up.
  struct Streamed {
    ContentChecksum checksum;
    int64_t bytes = 0;
  };

  // Items from `index` on, each streamed by the host and checked as its bytes pass. A host that
  // cannot stream has the rest downloaded instead.
  Future<Void> readContent(const Category& category, const std::shared_ptr<Items>& items,
                           size_t index) {
    if (index == items->size()) return Future<Void>::success(Void{});
    if (isCancelled()) return Future<Void>::cancelled();
    auto streamed = std::make_shared<Streamed>();
    auto self = shared_from_this();
    return remote_
        ->readFile(
            remotePath(category, *(*items)[index]),
            [streamed](const char* data, size_t size) {
              streamed->checksum.update(data, size);
              streamed->bytes += static_cast<int64_t>(size);
              return true;
            },
            token_)
        .onComplete(Executor::defaultQoS(),
                    [self, category, items, index,
                     streamed](const FutureResult<bool>& read) -> Future<Void> {
                      if (read.isCancelled()) return Future<Void>::cancelled();
                      const MediaItem& item = *(*items)[index];
                      if (read.isSuccess() && !read.successValue()) {
                        return self->checkContent(category, items, index,
                                                  self->download(category, item));
                      }
                      if (read.isFail()) {
                        self->judgeContent(category, item, read.failure(), 0, "");
                      } else {
                        self->judgeContent(category, item, std::nullopt, streamed->bytes,
                                           streamed->checksum.finish());
                      }
                      return self->readContent(category, items, index + 1);
                    });
  }

  Future<std::string> download(const Category& category, const MediaItem& item) {
    return remote_->downloadFileInternal(remotePath(category, item), nullptr, token_);
  }

  // Item `index` is being downloaded by `current`; the next download starts before this file is
  // checksummed, so the host's copy and our read overlap.
  Future<Void> checkContent(const Category& category, const std::shared_ptr<Items>& items,
                            size_t index, const Future<std::string>& current) {
    auto self = shared_from_this();
    return current.onComplete(
        Executor::defaultQoS(),
        [self, category, items, index](const FutureResult<std::string>& got) -> Future<Void> {
          const bool last = index + 1 == items->size();
          std::optional<Future<std::string>> next;
          if (!last && !got.isCancelled() && !self->isCancelled()) {
            next = self->download(category, *(*items)[index + 1]);
          }
          if (got.isCancelled() || (!last && !next)) {
            if (got.isSuccess()) (void)self->files_->deleteItem(got.successValue());
            return Future<Void>::cancelled();
          }
          self->judgeDownloaded(category, *(*items)[index], got);
          if (last) return Future<Void>::success(Void{});
          return self->checkContent(category, items, index + 1, *next);
        });
  }

  void judgeDownloaded(const Category& category, const MediaItem& item,
                       const FutureResult<std::string>& got) {
    if (got.isFail()) return judgeContent(category, item, got.failure(), 0, "");
    const std::string& local = got.successValue();
    const auto attributes = files_->attributesOfItem(local);
    const int64_t bytes = attributes.ok() ? attributes.value().size : -1;
    const Result<std::string> checksum =
        bytes == item.bytes
            ? files_->contentChecksum(local)
            : Result<std::string>(makeError(BackupSDKError::fileIOFailedToReadFile));
    (void)files_->deleteItem(local);
    if (bytes == item.bytes && !checksum.ok())
      return judgeContent(category, item, checksum.error(), 0, "");
    judgeContent(category, item, std::nullopt, bytes, checksum.ok() ? checksum.value() : "");
  }

  // Notes what reading a stored file showed: a failure, or its size and checksum.
  void judgeContent(const Category& category, const MediaItem& item,
                    const std::optional<Error>& failure, int64_t bytes,
                    const std::string& checksum) {
    VerifySection& section = (*report_).*category.section;
    const std::string name = item.getRemoteFileName();
    if (failure) {
      if (isMissingFile(*failure)) return note(section.missing, name, kNotThere, &item);
      return note(section.damaged, name, "cannot be read: " + failure->message, &item);
    }
    ++section.contentChecked;
    if (bytes != item.bytes)
      return note(section.damaged, name, "its content has another size", &item);
    if (checksum != *item.checksum) {
      note(section.damaged, name, "the content differs from its checksum", &item);
    }
  }

  bool isCancelled() const { return token_ && token_->isCanceled(); }

  const std::shared_ptr<RemoteIOServiceProtocol> remote_;
  const std::shared_ptr<FileIOServiceProtocol> files_;
  const std::shared_ptr<MetadataLoader> loader_;
  const std::shared_ptr<BackupRecord> backup_;
  const bool readData_;
  const std::shared_ptr<CancelToken> token_;
  const VerifyReportPtr report_;
  UnlistedFiles unlistedFiles_{remote_, files_};
  std::unordered_map<std::string, MemberType> deviceFolder_;
};

}  // namespace

VerifyService::VerifyService(std::shared_ptr<RemoteIOServiceProtocol> remote,
                             std::shared_ptr<FileIOServiceProtocol> files,
                             std::shared_ptr<MetadataLoader> metadataLoader,
                             std::shared_ptr<LoggerProtocol> logger)
    : remote_(std::move(remote)),
      files_(std::move(files)),
      metadataLoader_(std::move(metadataLoader)),
      logger_(std::move(logger)) {}

Future<std::shared_ptr<VerifyReport>> VerifyService::verify(
    std::shared_ptr<BackupRecord> backup, bool readData, std::shared_ptr<CancelToken> cancelToken) {
  if (!backup) {
    return Future<VerifyReportPtr>::fail(
        makeError(BackupSDKError::unknownError, "no backup to verify"));
  }
  logWith(logger_, LogLevel::info, [&] {
    return std::string("Verify started for Backup: (") + backup->description() +
           ") readData=" + boolText(readData);
  });
  auto run = std::make_shared<VerifyRun>(remote_, files_, metadataLoader_, std::move(backup),
                                         readData, std::move(cancelToken));
  return run->run().onSuccess(
      Executor::immediate(), [logger = logger_](const VerifyReportPtr& report) {
        logWith(logger, LogLevel::info, [&] {
          const auto count = [](const VerifySection& section) {
            return std::to_string(section.missing.size()) + " missing, " +
                   std::to_string(section.damaged.size()) + " damaged";
          };
          return "Verify finished: images " + count(report->images) + "; videos " +
                 count(report->videos) + "; documents " + count(report->documents);
        });
        return report;
      });
}

}  // namespace tessellon
