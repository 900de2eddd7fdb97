#include "backup/MediaBackup.h"

#include <algorithm>
#include <unordered_set>
#include <utility>

#include "tessellon/BackupSDKError.h"
#include "tessellon/Date.h"

#include "core/HostError.h"
#include "core/Log.h"
#include "media/fingerprints/HashUtils.h"
#include "model/BackupRunState.h"
#include "model/FingerprintUtils.h"
#include "model/ItemEquality.h"
#include "model/json/MediaMetaDataJson.h"
#include "platform/files/ContentChecksum.h"
#include "platform/memory/FreedMemory.h"
#include "platform/text/DateText.h"

namespace tessellon {

using Section = std::shared_ptr<ReportSection>;

// One archive's worth of the run: what it packed or recorded and what failed.
struct MediaBackup::Batch {
  std::shared_ptr<Zip> zip;
  std::string path;  // the local archive
  int64_t packedBytes = 0;
  int64_t limit = 0;  // the packed bytes at which it closes
  int64_t successBytes = 0;
  int64_t failedBytes = 0;
  int successFiles = 0;
  int failedFiles = 0;
  // The items the record gained through this archive, and the damaged or recovered ones it
  // lost for them.
  MediaMetaData::Items appended;
  MediaMetaData::Items replaced;
  // Every task item counted as success, to be named should the archive fail; and the items that
  // failed on their own.
  std::vector<const MediaItem*> counted;
  std::vector<FailedItem> failedItems;
};

// One category run. `done` completes once, when the last archive is through or
// the run has to stop.
struct MediaBackup::Run {
  std::shared_ptr<BackupRecord> backup;
  std::shared_ptr<CancelToken> token;
  std::shared_ptr<MediaMetaData> taskItems;
  Promise<Void> done;
  Batch batch;  // being packed
  // The archive closed before it, on its way to the remote, with its transfer; `sentItems` are
  // its appended items, looked up by the items packed meanwhile.
  std::optional<Batch> sent;
  std::optional<Future<Void>> sending;
  std::unordered_set<const MediaItem*> sentItems;
  int archives = 0;  // alternates the local archive's name
  // The category folder as listed when the run started: file name to size, and the names this
  // run's archives landed. Only what is here may be recorded without packing it.
  StoredFiles stored;  // views the listing in the record's run state
  std::unordered_set<std::string> landed;
  // The record's items by stored file name, built when content the remote holds first comes
  // up, so that each such item is looked up rather than searched for.
  std::optional<std::unordered_map<std::string, std::shared_ptr<MediaItem>>> recorded;
  // Task items that stand for recorded items whose file had gone from the remote or is damaged
  // there. A damaged one's recorded item stays in the record until its content is placed again;
  // should the file here hold other content now, it stays.
  std::unordered_map<const MediaItem*, std::string> repairs;  // to the stored file name
  std::unordered_set<const MediaItem*> damagedRepairs;
  // Recorded items that yield to content placed under their file name, hidden from lookups till
  // then: the damaged ones and those recovered from files no record named. By stored file name.
  std::unordered_map<std::string, std::shared_ptr<MediaItem>> yielding;
  // The stored record's items of this category by file name, built when first needed.
  std::optional<std::unordered_map<std::string, std::shared_ptr<const MediaItem>>> referenced;

  size_t count() const { return taskItems->items->size(); }
  const std::shared_ptr<MediaItem>& item(size_t index) const { return (*taskItems->items)[index]; }
  bool cancelled() const { return token && token->isCanceled(); }
};

namespace {

// Takes `items` out of `metaData` by identity: another item with the same fingerprint but another
// extension names another file and stays.
void removeItems(MediaMetaData& metaData, const MediaMetaData::Items& items) {
  if (items.empty() || !metaData.items) return;
  std::unordered_set<const MediaItem*> gone;
  for (const auto& item : items) gone.insert(item.get());
  std::erase_if(*metaData.items, [&](const auto& item) {
    if (gone.count(item.get()) == 0) return false;
    metaData.bytes -= item->bytes;
    return true;
  });
  metaData.count = static_cast<int>(metaData.items->size());
}

// The fingerprint and extension of `name` when a backup could have stored content under it: a
// scheme's prefix (or none), 32 lowercase hex digits, then "." and the extension, if any.
std::optional<std::pair<std::string, std::string>> storedContentName(std::string_view name) {
  constexpr size_t kDigits = 32;
  static const std::vector<std::string_view> prefixes = [] {
    std::vector<std::string_view> all{""};
    for (const auto& [prefix, version] : FingerprintUtils::mapping()) all.emplace_back(prefix);
    return all;
  }();
  for (const std::string_view prefix : prefixes) {
    if (!name.starts_with(prefix) || name.size() < prefix.size() + kDigits) continue;
    const std::string_view digits = name.substr(prefix.size(), kDigits);
    if (!std::all_of(digits.begin(), digits.end(),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); })) {
      continue;
    }
    const std::string_view rest = name.substr(prefix.size() + kDigits);
    if (!rest.empty() && (rest.size() == 1 || rest.front() != '.')) continue;
    return std::pair(std::string(name.substr(0, prefix.size() + kDigits)),
                     std::string(rest.empty() ? rest : rest.substr(1)));
  }
  return std::nullopt;
}

}  // namespace

const MediaBackup::Category MediaBackup::kImages{&BackupRecord::imagesMetaData,
                                                 &ProcessReport::images,
                                                 &MediaVersions::images,
                                                 "images.json",
                                                 "images",
                                                 "Images",
                                                 "Image",
                                                 "image",
                                                 true,
                                                 false};
// Videos log less: no upload warning and no lines for the appends of an empty run.
const MediaBackup::Category MediaBackup::kVideos{&BackupRecord::videosMetaData,
                                                 &ProcessReport::videos,
                                                 &MediaVersions::videos,
                                                 "videos.json",
                                                 "videos",
                                                 "Videos",
                                                 "Video",
                                                 "video",
                                                 false,
                                                 true};

MediaBackup::MediaBackup(std::shared_ptr<ArchiveUploader> archives,
                         std::shared_ptr<RemoteIOServiceProtocol> remoteIOService,
                         std::shared_ptr<MediaServiceProtocol> mediaService,
                         std::shared_ptr<CachingService> cachingService,
                         std::shared_ptr<FileStatusManager> fileStatusManager,
                         std::shared_ptr<Serializer> serializer,
                         std::shared_ptr<LoggerProtocol> logger, Category category)
    : archives_(std::move(archives)),
      remoteIOService_(std::move(remoteIOService)),
      mediaService_(std::move(mediaService)),
      cachingService_(std::move(cachingService)),
      fileStatusManager_(std::move(fileStatusManager)),
      serializer_(std::move(serializer)),
      logger_(std::move(logger)),
      category_(std::move(category)),
      unlisted_(remoteIOService_, archives_->files()),
      storedChecksum_(remoteIOService_, archives_->files()) {}

Future<Section> MediaBackup::run(std::shared_ptr<BackupRecord> backup,
                                 std::shared_ptr<CancelToken> cancelToken) {
  section_.reset();
  archiveLanded_ = false;
  archiveFailed_ = false;
  if (category_.freshCache) cachingService_->clearMediaItemCache();
  const std::shared_ptr<MediaMetaData> taskItems =
      backup->taskListToProcess ? (*backup->taskListToProcess).*category_.metaData : nullptr;
  const std::shared_ptr<MediaMetaData>& record = (*backup).*category_.metaData;
  const bool recordHasItems = record && record->items && !record->items->empty();
  const bool adopts = BackupRunState::of(std::as_const(*backup))
                          .adoptsUnrecordedFilesOf.count(category_.fileName) != 0;
  if (!taskItems || !taskItems->items) {
    // Nothing of this category to do; the remote record is refreshed all the same.
    if (!recordHasItems && !adopts) return refreshRecord(backup, cancelToken);
    // Not backed up this time, but what the record keeps of it must still be on the remote.
    return listStored(backup, cancelToken)
        .onSuccess([this, backup, cancelToken](const StoredFiles& stored) -> Future<Section> {
          const Reconciled reconciled = reconcile(*backup, stored);
          const bool adopted = !adoptUnrecorded(*backup, stored).empty();
          if (reconciled.empty() && !adopted) return refreshRecord(backup, cancelToken);
          reportUnrepaired(reconciled);
          return processEmpty(backup, cancelToken);
        });
  }
  logWith(logger_, LogLevel::info, [&] {
    return "processing " + category_.title + " (" + std::to_string(taskItems->items->size()) +
           ") ...";
  });
  return listStored(backup, cancelToken)
      .onSuccess([this, backup, cancelToken, taskItems](const StoredFiles& stored) {
        auto run = std::make_shared<Run>();
        run->backup = backup;
        run->token = cancelToken;
        run->taskItems = taskItems;
        run->stored = stored;
        queueRepairs(*run, reconcile(*backup, run->stored));
        for (auto& item : adoptUnrecorded(*backup, run->stored)) {
          std::string name = item->getRemoteFileName();
          run->yielding.emplace(std::move(name), std::move(item));
        }
        if (taskItems->items->empty()) return processEmpty(backup, cancelToken);
        packNext(run, 0);
        return run->done.future.onComplete(
            [this, backup, cancelToken](const FutureResult<Void>& result) -> Future<Section> {
              if (endedCancelled(result)) return Future<Section>::cancelled();
              archives_->deleteTemporaryFile(category_.fileName);
              if (result.isFail()) return Future<Section>::fail(result.failure());
              if (archiveFailed_ && !archiveLanded_) return resendRecord(backup, cancelToken);
              return Future<Section>::success(section_);
            });
      });
}

Future<Section> MediaBackup::refreshRecord(const std::shared_ptr<BackupRecord>& backup,
                                           const std::shared_ptr<CancelToken>& token) {
  return archives_->appendBackupJson(archives_->newArchive(), *backup)
      .onSuccess([this, token] { return archives_->uploadAndInflate(token); })
      .onSuccess([] { return Section(); });
}

Future<MediaBackup::StoredFiles> MediaBackup::listStored(
    const std::shared_ptr<BackupRecord>& backup, const std::shared_ptr<CancelToken>& token) {
  // The preview's scan was freed on the threads that made it, where a listing made on the host's
  // threads would not reuse the memory: handed back first, the two do not add up.
  returnFreedMemory();
  std::string folder = archives_->uid() + "/" + category_.folder;
  return remoteIOService_->getDirectoryInfo(folder, token)
      .onSuccess([this, backup, folder,
                  token](const std::shared_ptr<const Directory>& listing) -> Future<StoredFiles> {
        StoredFiles stored = storedFiles(*backup, listing);
        UnlistedFiles::Recorded unlisted;
        if (const auto& record = (*backup).*category_.metaData; record && record->items) {
          std::string name;
          for (const auto& item : *record->items) {
            item->getRemoteFileName(name);
            if (!stored.sizeOf(name)) unlisted.emplace_back(name, item->bytes);
          }
        }
        if (unlisted.empty()) return Future<StoredFiles>::success(std::move(stored));
        return unlisted_.confirm(folder, listing, std::move(unlisted), token)
            .onSuccess(
                [this, backup, listing, stored](const std::shared_ptr<const Directory>& confirmed) {
                  if (confirmed == listing) return stored;
                  logWith(logger_, LogLevel::warning, [&] {
                    return "the listing of " + category_.folder + " left out " +
                           std::to_string(confirmed->members.size() - listing->members.size()) +
                           " recorded " + category_.itemNoun +
                           " files the remote holds; they stay recorded";
                  });
                  return storedFiles(*backup, confirmed);
                });
      });
}

MediaBackup::StoredFiles MediaBackup::storedFiles(BackupRecord& backup,
                                                  std::shared_ptr<const Directory> listing) const {
  StoredFiles stored;
  stored.reserve(listing->members.size());
  for (const Member& member : listing->members) {
    if (member.type != MemberType::file) continue;
    const std::string_view name = member.fullName;
    stored.add(name.substr(name.rfind('/') + 1), member.fileSizeInByte);
  }
  stored.sort();
  BackupRunState::of(backup).listedFiles[category_.folder] = std::move(listing);
  return stored;
}

void MediaBackup::StoredFiles::sort() {
  // The folder remote lists in name order already.
  if (!std::is_sorted(files_.begin(), files_.end())) std::sort(files_.begin(), files_.end());
}

std::optional<int64_t> MediaBackup::StoredFiles::sizeOf(std::string_view name) const {
  const auto file = std::lower_bound(files_.begin(), files_.end(), name,
                                     [](const std::pair<std::string_view, int64_t>& listed,
                                        std::string_view wanted) { return listed.first < wanted; });
  if (file == files_.end() || file->first != name) return std::nullopt;
  return file->second;
}

MediaBackup::Reconciled MediaBackup::reconcile(BackupRecord& backup, const StoredFiles& stored) {
  MediaMetaData& record = recordMetaData(backup);
  Reconciled reconciled;
  std::string name;  // one buffer for every item's file name
  for (const auto& item : *record.items) {
    item->getRemoteFileName(name);
    const std::optional<int64_t> size = stored.sizeOf(name);
    if (!size) {
      reconciled.gone.push_back(item);
    } else if (*size != item->bytes) {
      reconciled.damaged.push_back(item);
    }
  }
  if (reconciled.empty()) return reconciled;
  logWith(logger_, LogLevel::warning, [&] {
    return std::to_string(reconciled.gone.size()) + " recorded " + category_.itemNoun +
           " files are missing and " + std::to_string(reconciled.damaged.size()) +
           " listed at another size on the remote";
  });
  removeItems(record, reconciled.gone);
  return reconciled;
}

MediaMetaData::Items MediaBackup::adoptUnrecorded(BackupRecord& backup, const StoredFiles& stored) {
  MediaMetaData::Items adopted;
  if (BackupRunState::of(std::as_const(backup)).adoptsUnrecordedFilesOf.count(category_.fileName) ==
      0) {
    return adopted;
  }
  MediaMetaData& record = recordMetaData(backup);
  std::unordered_set<std::string> named;
  named.reserve(record.items->size());
  for (const auto& item : *record.items) named.insert(item->getRemoteFileName());
  const Date now = currentDate();
  for (const auto& [file, bytes] : stored) {
    std::string name(file);
    if (named.count(name) != 0) continue;
    const auto content = storedContentName(name);
    if (!content) continue;
    auto item = std::make_shared<MediaItem>(content->second, bytes, name, now, content->first,
                                            std::vector<std::string>{"Recovered/" + name});
    record.items->push_back(item);
    record.bytes += bytes;
    adopted.push_back(std::move(item));
  }
  record.count = static_cast<int>(record.items->size());
  if (adopted.empty()) return adopted;
  logWith(logger_, LogLevel::warning, [&] {
    return std::to_string(adopted.size()) + " " + category_.itemNoun +
           " files no record names are kept as recovered items, restored into \"Recovered\"";
  });
  return adopted;
}

void MediaBackup::queueRepairs(Run& run, const Reconciled& reconciled) {
  if (reconciled.empty()) return;
  int64_t bytes = 0;
  const auto queue = [&](const std::shared_ptr<MediaItem>& item) {
    // Packed again from this computer if its file is still here, else reported.
    auto repair = std::make_shared<MediaItem>(*item);
    repair->fingerprint.reset();
    run.repairs.emplace(repair.get(), item->getRemoteFileName());
    run.taskItems->items->push_back(repair);
    bytes += item->bytes;
    return repair;
  };
  for (const auto& item : reconciled.gone) queue(item);
  for (const auto& item : reconciled.damaged) {
    run.damagedRepairs.insert(queue(item).get());
    run.yielding.emplace(item->getRemoteFileName(), item);
  }
  fileStatusManager_->update([&](FileStatus& status) {
    status.overall += static_cast<int>(reconciled.gone.size() + reconciled.damaged.size());
    status.overallBytes += bytes;
  });
}

void MediaBackup::reportUnrepaired(const Reconciled& reconciled) {
  std::vector<FailedItem> failed;
  int64_t bytes = 0;
  for (const auto& item : reconciled.gone) {
    logWith(logger_, LogLevel::warning, [&] {
      return "lost " + category_.itemNoun + " " + item->id + ": its file " +
             item->getRemoteFileName() +
             " is gone from the remote and its content from this computer";
    });
    nameFailed(failed, *item, "gone from the remote and from this computer");
    bytes += item->bytes;
  }
  for (const auto& item : reconciled.damaged) {
    nameFailed(failed, *item, "its file on the remote is not the size recorded; it stays recorded");
    bytes += item->bytes;
  }
  addToReport(false, static_cast<int>(reconciled.gone.size() + reconciled.damaged.size()), bytes,
              std::move(failed));
}

void MediaBackup::retireYielding(Run& run, const std::string& name) {
  const auto yielding = run.yielding.find(name);
  if (yielding == run.yielding.end()) return;
  removeItems(recordMetaData(*run.backup), {yielding->second});
  run.batch.replaced.push_back(yielding->second);
  run.yielding.erase(yielding);
}

Future<Section> MediaBackup::processEmpty(const std::shared_ptr<BackupRecord>& backup,
                                          const std::shared_ptr<CancelToken>& token) {
  // The section exists even with nothing in it.
  addToReport(true, 0, 0);
  return sendRecord(backup, token).onSuccess([this] {
    archives_->deleteTemporaryFile(category_.fileName);
    return section_;
  });
}

Future<Section> MediaBackup::resendRecord(const std::shared_ptr<BackupRecord>& backup,
                                          const std::shared_ptr<CancelToken>& token) {
  return sendRecord(backup, token).onComplete([this](const FutureResult<Void>& sent) {
    if (endedCancelled(sent)) return FutureResult<Section>::cancelled();
    archives_->deleteTemporaryFile(category_.fileName);
    if (sent.isFail()) {
      addToReport(
          false, 0, 0,
          {{archives_->uid() + "/" + category_.fileName,
            "the record of what is stored was not sent: " + failureReason(sent.failure())}});
    }
    return FutureResult<Section>::success(section_);
  });
}

Future<Void> MediaBackup::sendRecord(const std::shared_ptr<BackupRecord>& backup,
                                     const std::shared_ptr<CancelToken>& token) {
  std::shared_ptr<Zip> zip = archives_->newArchive();
  // A record that reads as the stored document does (nothing changed) is not written again. Its
  // text is hashed as it is written, never held whole.
  const std::shared_ptr<const BackupRecord>& storedRecord =
      BackupRunState::of(std::as_const(*backup)).storedRecord;
  const std::shared_ptr<MediaMetaData> stored =
      storedRecord ? (*storedRecord).*category_.metaData : nullptr;
  bool unchanged = false;
  if (stored && stored->documentChecksum) {
    ContentChecksum checksum;
    MediaMetaDataJson::writeText(recordMetaData(*backup), [&checksum](std::string_view piece) {
      checksum.update(piece.data(), piece.size());
    });
    unchanged = *stored->documentChecksum == checksum.finish();
  }
  Future<Void> appended = Future<Void>::success(Void{});
  if (!unchanged) {
    Result<std::string> text = serializer_->serialize(recordMetaData(*backup));
    if (!text.ok()) return Future<Void>::fail(text.error());
    appended = archives_->appendDocument(zip, std::move(text).value(), category_.fileName);
  }
  return appended
      .onSuccess([this, backup, zip, unchanged] {
        if (category_.verbose) {
          logWith(logger_, LogLevel::debug, [&] {
            return category_.fileName +
                   (unchanged ? " unchanged, kept as stored" : " appended to ZIP");
          });
        }
        return archives_->appendBackupJson(zip, *backup);
      })
      .onSuccess([this, token] {
        if (category_.verbose) {
          logWith(logger_, LogLevel::debug,
                  [] { return std::string("backup.json appended to ZIP"); });
        }
        return archives_->uploadAndInflate(token);
      });
}

void MediaBackup::packNext(const std::shared_ptr<Run>& run, size_t index) {
  // Checked before the end too: a full remote cancels the token when an upload fails.
  if (run->cancelled()) {
    stop(run, std::nullopt);
    return;
  }
  Batch& batch = run->batch;
  if (!batch.zip) {
    if (index == run->count()) {
      settle(run, [run] { run->done.completeWithSuccess(Void{}); });
      return;
    }
    batch = Batch{};
    batch.path = archives_->zipPath(run->archives++ % 2 == 1);
    batch.zip = archives_->newArchive(batch.path);
    batch.limit = archiveLimit(*run);
  } else if (index == run->count() || batch.packedBytes >= batch.limit) {
    closeArchive(run, index);
    return;
  }
  const std::vector<Version> versions = CreateUpdatedMediaVersions(*run->backup).versions;
  // Each step is a continuation of its own: the next item starts from a fresh
  // work item, never deeper in this one's stack.
  const Future<std::vector<std::string>> hashing =
      mediaService_->getItemHash(*run->item(index), run->token, versions);
  guard(run, hashing.onComplete([this, run,
                                 index](const FutureResult<std::vector<std::string>>& hashes) {
    if (hashes.isSuccess()) {
      place(run, index, FingerprintUtils::highestVersion(hashes.successValue()), std::nullopt);
    } else {
      advance(run, index,
              hashes.isCancelled() ? FutureResult<Void>::cancelled()
                                   : FutureResult<Void>::fail(hashes.failure()));
    }
  }));
}

void MediaBackup::place(const std::shared_ptr<Run>& run, size_t index,
                        const std::optional<std::string>& fingerprint,
                        const std::optional<std::string>& checksum) {
  const std::shared_ptr<MediaItem>& item = run->item(index);
  if (!fingerprint) {
    pack(run, index, fingerprint);
    return;
  }
  // The remote holds content under its category, fingerprint and extension: the same content
  // under another extension or in the other category is another file, and is packed.
  MediaItem named(*item);
  named.fingerprint = fingerprint;
  const std::string name = named.getRemoteFileName();
  if (const auto repair = run->repairs.find(item.get());
      repair != run->repairs.end() && repair->second != name && !checksum) {
    // The file here holds other content now, which its own task item stores: it cannot stand in
    // for the stored content, nor take over the stored item's size and date. Content stored under
    // a fingerprint of its own is told by the whole file's checksum.
    const auto otherContent = [this, run, index] {
      advance(run, index,
              FutureResult<Void>::fail(makeError(BackupSDKError::fileIOFailedToReadFile,
                                                 "the file here holds other content now")));
    };
    if (!HashUtils::samplesPart(item->bytes, *fingerprint)) return otherContent();
    withChecksum(run, index,
                 [this, run, index, fingerprint, otherContent,
                  stored = repair->second](const std::string& read) {
                   MediaItem distinguished(*run->item(index));
                   distinguished.fingerprint = HashUtils::distinguished(*fingerprint, read);
                   if (distinguished.getRemoteFileName() != stored) return otherContent();
                   place(run, index, distinguished.fingerprint, read);
                 });
    return;
  }
  const std::shared_ptr<MediaItem> recorded = recordedItem(*run, name);
  if (recorded && run->sentItems.count(recorded.get()) != 0) {
    // Recorded through the archive on its way: whether the remote will hold it is not known yet.
    settle(run,
           [this, run, index, fingerprint, checksum] { place(run, index, fingerprint, checksum); });
    return;
  }
  // A repair's item is a copy of the recorded one, checksum included.
  const std::optional<std::string> recordedChecksum = std::exchange(item->checksum, std::nullopt);
  const bool held = !recorded && holdsStored(*run, *item, name);
  // A sampled fingerprint leaves most of a large file unread: stored content under it stands for
  // this file only once the whole file is known to match.
  const std::optional<std::string> storedChecksum = recorded ? recorded->checksum
                                                    : held   ? item->checksum
                                                             : std::nullopt;
  const bool sampled = HashUtils::samplesPart(item->bytes, *fingerprint);
  if (storedChecksum && !checksum && sampled) {
    withChecksum(
        run, index,
        [this, run, index, fingerprint, stored = *storedChecksum](const std::string& read) {
          place(run, index,
                read == stored ? *fingerprint : HashUtils::distinguished(*fingerprint, read), read);
        });
    return;
  }
  // A name that only the listing vouches for (a rebuilt record, or none to compare with), or an
  // item recorded without a checksum (recovered from the listing, or from before checksums), says
  // nothing of the bytes between a sampled fingerprint's windows: the stored file's checksum
  // decides.
  if ((recorded || held) && !storedChecksum && !checksum && run->landed.count(name) == 0 &&
      sampled) {
    withChecksum(run, index, [this, run, index, fingerprint, name](const std::string& read) {
      withStoredChecksum(
          run, index, name,
          [this, run, index, fingerprint, read](const std::optional<std::string>& there) {
            place(run, index,
                  there == read ? *fingerprint : HashUtils::distinguished(*fingerprint, read),
                  read);
          });
    });
    return;
  }
  // Packed under a sampled name, content would replace the file there (shown by the listing, or
  // named by the stored record) or stand in for a repaired item, which may hold other content
  // with the same samples: the version a host's history keeps, or a kept-deleted item's only
  // copy. Only the same whole checksum may take the name (the recorded one, else the stored
  // bytes'); other content goes under the name the checksum tells apart, and a repair whose file
  // here holds other content fails.
  const bool repair = run->repairs.count(item.get()) != 0;
  const auto yielded = run->yielding.find(name);
  const std::shared_ptr<const MediaItem> referenced =
      recorded || held || checksum || !sampled ? nullptr : referencedItem(*run, name);
  const bool recordNames = yielded != run->yielding.end() || referenced;
  // A repair recorded before checksums cannot tell: its file is replaced as it was.
  if (!recorded && !held && !checksum && sampled && (!repair || recordedChecksum) &&
      (repair || recordNames || run->stored.sizeOf(name))) {
    const std::optional<std::string> expected = repair ? recordedChecksum
                                                : yielded != run->yielding.end()
                                                    ? yielded->second->checksum
                                                : referenced ? referenced->checksum
                                                             : std::nullopt;
    withChecksum(run, index,
                 [this, run, index, fingerprint, expected, repair, recordNames,
                  name](const std::string& read) {
                   const auto decide = [this, run, index, fingerprint, repair,
                                        read](const std::optional<std::string>& there) {
                     if (there == read) return place(run, index, fingerprint, read);
                     if (repair) {
                       return advance(run, index,
                                      FutureResult<Void>::fail(
                                          makeError(BackupSDKError::fileIOFailedToReadFile,
                                                    "the file here holds other content now")));
                     }
                     place(run, index, HashUtils::distinguished(*fingerprint, read), read);
                   };
                   if (expected || !recordNames) return decide(expected);
                   // Named by a record that keeps no checksum of it: the stored bytes tell.
                   withStoredChecksum(run, index, name, decide);
                 });
    return;
  }
  Batch& batch = run->batch;
  if (recorded && !keepsOwnDate(*recorded, *item)) {
    logWith(logger_, LogLevel::info, [&] {
      return "Adjust " + category_.itemNoun + " mtime for item " + recorded->id +
             ", mtime: " + toString(recorded->modificationDate) +
             ", size: " + std::to_string(recorded->bytes) + " with mtime from " + item->id +
             ", mtime: " + toString(item->modificationDate) +
             ", size: " + std::to_string(item->bytes);
    });
    recorded->modificationDate = item->modificationDate;
    if (canAppendCachedMediaItemPath(*recorded, *item)) {
      recorded->paths().push_back(item->paths().front());
    }
    batch.successBytes += item->bytes;
    batch.successFiles += 1;
    batch.counted.push_back(item.get());
    retireYielding(*run, name);
  } else if (recorded || held) {
    // Recorded, not packed: its file is on the remote already.
    if (recorded) item->checksum = recorded->checksum;
    if (!item->checksum) item->checksum = checksum;
    item->fingerprint = fingerprint;
    updateBackupMetadata(*run, item);
    updateFields(batch, item);
    retireYielding(*run, name);
  } else {
    pack(run, index, fingerprint);
    return;
  }
  advance(run, index, FutureResult<Void>::success(Void{}));
}

void MediaBackup::withChecksum(const std::shared_ptr<Run>& run, size_t index,
                               std::function<void(const std::string&)> then) {
  guard(run, mediaService_->getItemChecksum(*run->item(index), run->token)
                 .onComplete([this, run, index,
                              then = std::move(then)](const FutureResult<std::string>& read) {
                   if (read.isSuccess()) return then(read.successValue());
                   advance(run, index,
                           read.isCancelled() ? FutureResult<Void>::cancelled()
                                              : FutureResult<Void>::fail(read.failure()));
                 }));
}

void MediaBackup::withStoredChecksum(const std::shared_ptr<Run>& run, size_t index,
                                     const std::string& name,
                                     std::function<void(const std::optional<std::string>&)> then) {
  const std::string path = archives_->uid() + "/" + category_.folder + "/" + name;
  guard(run, storedChecksum_.of(path, run->token)
                 .onComplete([this, run, index,
                              then = std::move(then)](const FutureResult<std::string>& stored) {
                   if (stored.isSuccess()) return then(stored.successValue());
                   if (stored.isFail() &&
                       isError(stored.failure(), BackupSDKError::delegateFileDoesNotExist)) {
                     return then(std::nullopt);
                   }
                   advance(run, index,
                           stored.isCancelled() ? FutureResult<Void>::cancelled()
                                                : FutureResult<Void>::fail(stored.failure()));
                 }));
}

void MediaBackup::pack(const std::shared_ptr<Run>& run, size_t index,
                       const std::optional<std::string>& fingerprint) {
  run->item(index)->fingerprint = fingerprint;
  // A repair's item is the recorded one, dated as the record has it.
  const bool asScanned = run->repairs.count(run->item(index).get()) == 0;
  const Future<Void> packing =
      mediaService_->appendItemFileToBackup(run->batch.zip, *run->item(index), asScanned);
  guard(run, packing.onComplete([this, run, index](const FutureResult<Void>& packed) {
    if (packed.isSuccess()) {
      const std::shared_ptr<MediaItem>& item = run->item(index);
      logWith(logger_, LogLevel::debug, [&] {
        return category_.itemTitle + " (fingerprint=" + item->fingerprint.value_or("nil") + ") (" +
               std::to_string(item->bytes) + " Bytes) appended to ZIP";
      });
      if (item->fingerprint) cachingService_->setItem(*item->fingerprint, item);
      updateFields(run->batch, item);
      updateBackupMetadata(*run, item);
      run->batch.packedBytes += item->bytes;
      if (item->fingerprint) retireYielding(*run, item->getRemoteFileName());
    }
    advance(run, index, packed);
  }));
}

void MediaBackup::advance(const std::shared_ptr<Run>& run, size_t index,
                          const FutureResult<Void>& outcome) {
  if (outcome.isCancelled()) {
    stop(run, std::nullopt);
  } else if (outcome.isFail() && !countFailed(*run, index, outcome.failure())) {
    // The category stops; what this archive added never reached the remote.
    stop(run, outcome.failure());
  } else {
    packNext(run, index + 1);
  }
}

int64_t MediaBackup::archiveLimit(const Run& run) const {
  // The first archive of a large limit closes early, so the transfer starts while the rest is
  // packed beside it rather than after a whole archive was packed.
  constexpr int64_t kFirstArchive = int64_t{64} << 20;
  const int64_t limit = remoteIOService_->getZipSize();
  return run.archives == 1 ? std::min(limit, kFirstArchive) : limit;
}

bool MediaBackup::countFailed(Run& run, size_t index, const Error& error) {
  const std::shared_ptr<MediaItem>& item = run.item(index);
  logWith(logger_, LogLevel::warning, [&] {
    return "error appending " + item->id + " to ZIP: (" + nsErrorDescription(error) + ")";
  });
  const bool repair = run.repairs.count(item.get()) != 0;
  const bool damaged = run.damagedRepairs.count(item.get()) != 0;
  if (repair) {
    logWith(logger_, LogLevel::warning, [&] {
      return (damaged ? "damaged " : "lost ") + category_.itemNoun + " " + item->id +
             ": its file is " + (damaged ? "not the size recorded on" : "gone from") +
             " the remote and cannot be read here";
    });
  }
  item->fingerprint.reset();
  run.batch.failedBytes += item->bytes;
  run.batch.failedFiles += 1;
  nameFailed(run.batch.failedItems, *item,
             damaged ? "its file on the remote is not the size recorded, and it is unreadable "
                       "here (it stays recorded): " +
                           failureReason(error)
             : repair ? "gone from the remote and unreadable here: " + failureReason(error)
                      : failureReason(error));
  // A repair whose local file is gone too is one lost item, whatever the error says.
  return !isError(error, BackupSDKError::zipFailedNotEnoughDiskSpace) &&
         (error.domain == kBackupSDKErrorDomain || repair);
}

void MediaBackup::closeArchive(const std::shared_ptr<Run>& run, size_t index) {
  settle(run, [this, run, index] {
    // A full remote cancels the run when the archive before this one failed.
    if (run->cancelled()) {
      stop(run, std::nullopt);
      return;
    }
    Batch& batch = run->batch;
    const Future<Void> closed =
        archives_->appendMetaJson(batch.zip, recordMetaData(*run->backup), category_.fileName)
            .onSuccess(
                [this, run] { return archives_->appendBackupJson(run->batch.zip, *run->backup); });
    guard(run, closed.onComplete([this, run, index](const FutureResult<Void>& result) {
      if (endedCancelled(result)) {
        stop(run, std::nullopt);
        return;
      }
      if (result.isSuccess()) {
        send(*run);
      } else {
        // Nothing of this archive left the machine.
        archiveFailed_ = true;
        reportFailed(run->batch, result.failure());
        rollBack(*run, run->batch);
      }
      run->batch = Batch{};
      packNext(run, index);
    }));
  });
}

void MediaBackup::send(Run& run) {
  Batch& batch = run.batch;
  batch.zip.reset();
  for (const auto& item : batch.appended) run.sentItems.insert(item.get());
  // Progress moves as soon as the archive is through, failed files too, not when the next one
  // closes; a cancelled archive moves none.
  const int files = batch.successFiles + batch.failedFiles;
  const int64_t bytes = batch.successBytes + batch.failedBytes;
  run.sending = archives_->uploadAndInflate(run.token, batch.path)
                    .onComplete([status = fileStatusManager_, files,
                                 bytes](const FutureResult<Void>& result) {
                      if (!endedCancelled(result)) {
                        status->update([&](FileStatus& current) {
                          current.processed += files;
                          current.processedBytes += bytes;
                        });
                        status->notifyAboutCurrentBackupFileStatus();
                      }
                      return result;
                    });
  run.sent = std::move(batch);
}

void MediaBackup::settle(const std::shared_ptr<Run>& run, std::function<void()> then) {
  if (!run->sending) {
    then();
    return;
  }
  const Future<Void> sending = std::move(*run->sending);
  run->sending.reset();
  guard(run,
        sending.onComplete([this, run, then = std::move(then)](const FutureResult<Void>& result) {
          if (afterUpload(*run, result)) {
            then();
          } else {
            stop(run, std::nullopt);
          }
        }));
}

bool MediaBackup::afterUpload(Run& run, const FutureResult<Void>& result) {
  Batch& sent = *run.sent;
  const bool cancelled = endedCancelled(result);
  if (cancelled) {
    // Whether the archive landed is unknown: the record claims none of it, and a left-over
    // archive is inflated whole by the next preview.
    rollBack(run, sent);
  } else if (result.isFail()) {
    if (category_.verbose) {
      logWith(logger_, LogLevel::warning, [&] {
        return "error while uploading/inflating ZIP (" + nsErrorDescription(result.failure()) + ")";
      });
    }
    archiveFailed_ = true;
    reportFailed(sent, result.failure());
    rollBack(run, sent);
  } else {
    archiveLanded_ = true;
    logWith(logger_, LogLevel::debug,
            [&] { return category_.itemTitle + " ZIP uploaded/inflated successfully"; });
    for (const auto& item : sent.appended) run.landed.insert(item->getRemoteFileName());
    addToReport(true, sent.successFiles, sent.successBytes);
    addToReport(false, sent.failedFiles, sent.failedBytes, std::move(sent.failedItems));
  }
  run.sent.reset();
  run.sentItems.clear();
  return !cancelled;
}

void MediaBackup::guard(const std::shared_ptr<Run>& run, const Future<Void>& step) {
  (void)step.onFail([this, run](const Error& error) { stop(run, error); });
}

void MediaBackup::stop(const std::shared_ptr<Run>& run, const std::optional<Error>& error) {
  if (run->done.future.isCompleted()) return;
  if (run->sending) {
    // The archive on its way decides first: a landed one stays recorded.
    const Future<Void> sending = std::move(*run->sending);
    run->sending.reset();
    (void)sending.onComplete([this, run, error](const FutureResult<Void>& result) {
      afterUpload(*run, result);
      stop(run, error);
    });
    return;
  }
  // The archive being packed never reached the remote: the record must not claim it.
  rollBack(*run, run->batch);
  run->batch = Batch{};
  if (error) {
    run->done.completeWithFail(*error);
  } else {
    run->done.completeWithCancel();
  }
}

std::shared_ptr<MediaItem> MediaBackup::recordedItem(Run& run, const std::string& name) const {
  if (!run.recorded) {
    run.recorded.emplace();
    for (const auto& item : *recordMetaData(*run.backup).items) {
      if (!item->fingerprint) continue;
      std::string stored = item->getRemoteFileName();
      // A damaged file is no content the remote holds, nor is a recovered one the content here.
      if (run.yielding.count(stored) == 0) run.recorded->emplace(std::move(stored), item);
    }
  }
  const auto found = run.recorded->find(name);
  return found == run.recorded->end() ? nullptr : found->second;
}

bool MediaBackup::holdsStored(Run& run, MediaItem& item, const std::string& name) const {
  if (run.landed.count(name) != 0) return true;
  if (run.stored.sizeOf(name) != item.bytes) return false;
  // A record rebuilt from the listing (or one no preview made) takes the listing at its word.
  const BackupRunState& state = BackupRunState::of(std::as_const(*run.backup));
  if (!state.storedRecord || state.rebuildsRecord) return true;
  // A file no stored record names may hold anything (a cut-off inflation, another writer, an
  // archive of an older release that kept an entry whose file changed while it was packed): only
  // a referenced one is trusted, and it lends its checksum.
  const std::shared_ptr<const MediaItem> referenced = referencedItem(run, name);
  if (!referenced) return false;
  item.checksum = referenced->checksum;
  return true;
}

std::shared_ptr<const MediaItem> MediaBackup::referencedItem(Run& run,
                                                             const std::string& name) const {
  const BackupRunState& state = BackupRunState::of(std::as_const(*run.backup));
  const std::shared_ptr<const BackupRecord>& storedRecord = state.storedRecord;
  if (!storedRecord || state.rebuildsRecord) return nullptr;
  if (!run.referenced) {
    run.referenced.emplace();
    const std::shared_ptr<MediaMetaData>& metaData = (*storedRecord).*category_.metaData;
    if (metaData && metaData->items) {
      for (const auto& stored : *metaData->items) {
        if (stored->fingerprint) run.referenced->emplace(stored->getRemoteFileName(), stored);
      }
    }
  }
  const auto referenced = run.referenced->find(name);
  return referenced == run.referenced->end() ? nullptr : referenced->second;
}

void MediaBackup::reportFailed(Batch& batch, const Error& error) {
  batch.failedBytes += batch.successBytes;
  batch.failedFiles += batch.successFiles;
  batch.successBytes = 0;
  batch.successFiles = 0;
  const std::string reason = "its archive did not reach the remote: " + failureReason(error);
  for (const MediaItem* item : batch.counted) nameFailed(batch.failedItems, *item, reason);
  batch.counted.clear();
  addToReport(false, batch.failedFiles, batch.failedBytes, std::move(batch.failedItems));
}

void MediaBackup::nameFailed(std::vector<FailedItem>& failed, const MediaItem& item,
                             const std::string& reason) const {
  if (item.paths().empty()) {
    failed.push_back(
        {archives_->uid() + "/" + category_.folder + "/" + item.getRemoteFileName(), reason});
  }
  for (const std::string& path : item.paths()) failed.push_back({path, reason});
}

void MediaBackup::updateFields(Batch& batch, const std::shared_ptr<MediaItem>& item) {
  batch.appended.push_back(item);
  batch.counted.push_back(item.get());
  batch.successBytes += item->bytes;
  batch.successFiles += 1;
}

void MediaBackup::updateBackupMetadata(Run& run, const std::shared_ptr<MediaItem>& item) {
  BackupRecord& backup = *run.backup;
  MediaMetaData& record = recordMetaData(backup);
  // The record's versions stay current without a walk over all of its items,
  // which every append would otherwise cost once the count moved.
  int& versionedCount = backup.mediaVersions.*category_.versionedCount;
  const bool versionsCurrent = versionedCount == static_cast<int>(record.items->size());
  record.items->push_back(item);
  record.bytes += item->bytes;
  record.count = static_cast<int>(record.items->size());
  if (item->fingerprint && run.recorded) run.recorded->emplace(item->getRemoteFileName(), item);
  if (!versionsCurrent) return;
  if (item->fingerprint) {
    std::vector<Version>& versions = backup.mediaVersions.versions;
    const Version version = FingerprintUtils::getVersion(*item->fingerprint);
    if (std::find(versions.begin(), versions.end(), version) == versions.end()) {
      versions.push_back(version);
    }
  }
  versionedCount = record.count;
}

void MediaBackup::rollBack(Run& run, Batch& batch) {
  MediaMetaData& record = recordMetaData(*run.backup);
  for (auto& original : batch.replaced) {
    record.items->push_back(original);
    record.bytes += original->bytes;
    record.count = static_cast<int>(record.items->size());
    run.yielding.emplace(original->getRemoteFileName(), std::move(original));
  }
  batch.replaced.clear();
  if (batch.appended.empty()) return;
  removeItems(record, batch.appended);
  // Rebuilt from what is left on the next lookup.
  run.recorded.reset();
  for (const auto& item : batch.appended) {
    if (item->fingerprint) cachingService_->removeItem(*item->fingerprint);
  }
}

bool MediaBackup::keepsOwnDate(MediaItem& recorded, const MediaItem& item) {
  if (sharesDate(recorded, item)) return false;
  removePaths(recorded.paths(), item.paths());
  return true;
}

bool MediaBackup::canAppendCachedMediaItemPath(const MediaItem& cached, const MediaItem& item) {
  if (item.paths().empty()) return false;
  const std::vector<std::string>& paths = cached.paths();
  return std::find(paths.begin(), paths.end(), item.paths().front()) == paths.end();
}

MediaMetaData& MediaBackup::recordMetaData(BackupRecord& backup) const {
  std::shared_ptr<MediaMetaData>& metaData = backup.*category_.metaData;
  if (!metaData) metaData = std::make_shared<MediaMetaData>();
  if (!metaData->items) metaData->items = MediaMetaData::Items{};
  return *metaData;
}

}  // namespace tessellon
