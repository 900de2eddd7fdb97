#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "tessellon/LoggerProtocol.h"

#include "backup/ArchiveUploader.h"
#include "backup/CategoryBackup.h"
#include "backup/StoredChecksum.h"
#include "backup/UnlistedFiles.h"
#include "core/FileStatusManager.h"
#include "media/MediaServiceProtocol.h"
#include "media/caches/CachingService.h"
#include "model/json/Serializer.h"
#include "remote/RemoteIOServiceProtocol.h"

namespace tessellon {

// The backup of a media category: the task items, smallest first, are packed
// into archives that close as soon as their packed bytes reach the host's
// archive size (the first one at 64 MiB when that is less); each archive also carries the category
// document and a fresh "backup.json", so the remote backup is consistent after every archive. The
// category folder is listed once when the run starts: a recorded item whose file is missing there,
// and does not answer when asked for on its own (UnlistedFiles), leaves the record and is packed
// again from this computer or reported lost; one whose file is there at another size stays recorded
// until a copy packed again from this computer has landed, or is reported damaged, for a damaged
// file beats none and a host may list wrong sizes; content whose file the listing shows (same
// category, fingerprint, extension and size) is only recorded, never packed again. Under a sampled
// fingerprint, a file there stands for content here, or takes its bytes, only with the same whole
// checksum (recorded, or read back when only the listing vouches for it). A failed or
// cancelled archive is rolled back from the record and the cache and counted as failed; the run
// goes on with the next archive. Only a full local disk, a foreign error or cancellation ends the
// category early.
//
// Packing overlaps the transfer: while one archive is on its way, the next is
// packed, and it is closed (its documents written) only once the first landed or
// failed. Content recorded through the archive on its way waits for that outcome
// before a later item relies on it.
//
// One run at a time: the record, the counters and the archives' items are touched
// only by the run's chain, which advances one item per step on the futures'
// primary executor, so neither the stack nor the memory grows with the number of
// items. An archive's transfer moves the progress and completes a future the
// chain waits for; nothing else.
class MediaBackup final : public CategoryBackup {
 public:
  // What tells the categories apart.
  struct Category {
    std::shared_ptr<MediaMetaData> BackupRecord::*metaData;
    std::shared_ptr<ReportSection> ProcessReport::*slot;
    int MediaVersions::*versionedCount;  // the record's items its versions were brought up to
    std::string fileName;                // "images.json"
    std::string folder;                  // "images", in the device folder
    std::string title;                   // "Images", in "processing Images (n) ..."
    std::string itemTitle;  // "Image", in "Image (fingerprint=...": the packed-file line
    std::string itemNoun;   // "image", in "Adjust image mtime for item "
    // Whether a failed upload is logged and the empty category logs its two appends.
    bool verbose;
    // Whether only content packed earlier in the category's own run counts as already remote
    // (the item cache is emptied first).
    bool freshCache;
  };
  static const Category kImages;
  static const Category kVideos;

  MediaBackup(std::shared_ptr<ArchiveUploader> archives,
              std::shared_ptr<RemoteIOServiceProtocol> remoteIOService,
              std::shared_ptr<MediaServiceProtocol> mediaService,
              std::shared_ptr<CachingService> cachingService,
              std::shared_ptr<FileStatusManager> fileStatusManager,
              std::shared_ptr<Serializer> serializer, std::shared_ptr<LoggerProtocol> logger,
              Category category);

  const std::string& title() const override { return category_.title; }
  std::shared_ptr<ReportSection> ProcessReport::*reportSlot() const override {
    return category_.slot;
  }
  // The category's section; null when the task list has no item list for it.
  Future<std::shared_ptr<ReportSection>> run(std::shared_ptr<BackupRecord> backup,
                                             std::shared_ptr<CancelToken> cancelToken) override;

 private:
  struct Run;
  struct Batch;
  // The category folder's files as listed, by name (viewing the listing kept in the record's run
  // state): a sorted array of views is a fraction of a hash map's memory, or of a copy of the
  // names, for a folder of a hundred thousand files.
  class StoredFiles {
   public:
    void reserve(size_t count) { files_.reserve(count); }
    void add(std::string_view name, int64_t bytes) { files_.emplace_back(name, bytes); }
    // Once every file is added, before the first sizeOf.
    void sort();
    // The listed size of the file `name`, or none.
    std::optional<int64_t> sizeOf(std::string_view name) const;
    auto begin() const { return files_.begin(); }
    auto end() const { return files_.end(); }

   private:
    std::vector<std::pair<std::string_view, int64_t>> files_;
  };

  Future<std::shared_ptr<ReportSection>> processEmpty(const std::shared_ptr<BackupRecord>& backup,
                                                      const std::shared_ptr<CancelToken>& token);
  // After a run none of whose archives landed: what the preview changed in the record (paths
  // and dates of content the remote holds) travels only in an archive's document, so the
  // document is sent alone; should that fail too, the section names it.
  Future<std::shared_ptr<ReportSection>> resendRecord(const std::shared_ptr<BackupRecord>& backup,
                                                      const std::shared_ptr<CancelToken>& token);
  // The category document, unless it reads as the stored one, and "backup.json" in an archive
  // of their own, uploaded and inflated.
  Future<Void> sendRecord(const std::shared_ptr<BackupRecord>& backup,
                          const std::shared_ptr<CancelToken>& token);
  // Uploads a fresh "backup.json" alone; no section.
  Future<std::shared_ptr<ReportSection>> refreshRecord(const std::shared_ptr<BackupRecord>& backup,
                                                       const std::shared_ptr<CancelToken>& token);
  // One listing of the category folder per run: no request per file, but for each recorded file
  // the listing lacks (see UnlistedFiles).
  Future<StoredFiles> listStored(const std::shared_ptr<BackupRecord>& backup,
                                 const std::shared_ptr<CancelToken>& token);
  // The listing's files by name with their sizes. The listing is kept in `backup` for the
  // clean-up, and the keys view its names there.
  StoredFiles storedFiles(BackupRecord& backup, std::shared_ptr<const Directory> listing) const;
  // The recorded items whose file the remote lacks, which leave the record, and those whose file
  // it holds at another size, which stay.
  struct Reconciled {
    MediaMetaData::Items gone;
    MediaMetaData::Items damaged;
    bool empty() const { return gone.empty() && damaged.empty(); }
  };
  Reconciled reconcile(BackupRecord& backup, const StoredFiles& stored);
  // Of a record rebuilt while deleted items are kept: each listed file that the record does not
  // name, and whose name a backup could have written, may be all that is left of an item only the
  // lost record listed. It is recorded as a recovered item at "Recovered/<file name>", which the
  // clean-up keeps and a restore gives back; content placed under its name replaces it.
  MediaMetaData::Items adoptUnrecorded(BackupRecord& backup, const StoredFiles& stored);
  // Adds task items that pack those items again from this computer; a damaged item stays in the
  // record until its content is placed again.
  void queueRepairs(Run& run, const Reconciled& reconciled);
  // Reports the items no task item repairs.
  void reportUnrepaired(const Reconciled& reconciled);
  // Once content is placed as the remote file `name`: a damaged or recovered recorded item stored
  // under that name leaves the record with the batch.
  void retireYielding(Run& run, const std::string& name);
  // The run is a loop over archives, one item per step: packNext takes item `index` into the
  // archive being packed (opening one first), or closes that archive once it is full or no item
  // is left; each item's step ends in advance(). The run ends once no item is left.
  void packNext(const std::shared_ptr<Run>& run, size_t index);
  // Records item `index` as content the remote holds, or packs it.
  // Content the remote holds under the item's sampled fingerprint stands for a large file only once
  // its full-content `checksum` (read on first need) matches; other content gets a fingerprint of
  // its own (HashUtils::distinguished).
  void place(const std::shared_ptr<Run>& run, size_t index,
             const std::optional<std::string>& fingerprint,
             const std::optional<std::string>& checksum);
  void pack(const std::shared_ptr<Run>& run, size_t index,
            const std::optional<std::string>& fingerprint);
  // Reads the whole file of item `index` for its checksum, then `then`; a failed read is the
  // item's outcome.
  void withChecksum(const std::shared_ptr<Run>& run, size_t index,
                    std::function<void(const std::string&)> then);
  // Reads the stored file `name` of the category back for its checksum, then `then` (with none
  // when the host says it does not exist); another failure is item `index`'s outcome.
  void withStoredChecksum(const std::shared_ptr<Run>& run, size_t index, const std::string& name,
                          std::function<void(const std::optional<std::string>&)> then);
  // The outcome of item `index`: the next item, or the run stops.
  void advance(const std::shared_ptr<Run>& run, size_t index, const FutureResult<Void>& outcome);
  // The packed bytes at which an archive opened now closes.
  int64_t archiveLimit(const Run& run) const;
  // Counts item `index` as failed; false when `error` ends the category.
  bool countFailed(Run& run, size_t index, const Error& error);
  // Closes the archive being packed, once the one sent before it has landed or failed (its
  // documents must describe what the remote holds), and sends it; `index` is the next item.
  void closeArchive(const std::shared_ptr<Run>& run, size_t index);
  void send(Run& run);
  // Runs `then` once the archive on its way, if any, has landed or failed; a cancelled one
  // stops the run instead.
  void settle(const std::shared_ptr<Run>& run, std::function<void()> then);
  // Takes the sent archive's outcome into the record and the report; false when it was
  // cancelled.
  bool afterUpload(Run& run, const FutureResult<Void>& result);
  // A step whose block throws must still end the run.
  void guard(const std::shared_ptr<Run>& run, const Future<Void>& step);
  // Ends the run, failed with `error` or else cancelled: the archive being packed leaves the
  // record, and one on its way stays in it only if it landed.
  void stop(const std::shared_ptr<Run>& run, const std::optional<Error>& error);

  // Counts every file of the archive as failed, for `error`.
  void reportFailed(Batch& batch, const Error& error);
  // Adds `item` to `failed` by each of its paths, or by its file on the remote when it has none.
  void nameFailed(std::vector<FailedItem>& failed, const MediaItem& item,
                  const std::string& reason) const;
  void updateFields(Batch& batch, const std::shared_ptr<MediaItem>& item);
  void updateBackupMetadata(Run& run, const std::shared_ptr<MediaItem>& item);
  // The record's item stored as `name`, if any.
  std::shared_ptr<MediaItem> recordedItem(Run& run, const std::string& name) const;
  // Whether the remote holds `item`'s file as `name` at its size, in a file a stored record
  // names (it then lends `item` its checksum) or that this run landed.
  bool holdsStored(Run& run, MediaItem& item, const std::string& name) const;
  // The stored record's item stored as `name`, if any; none for a rebuilt record.
  std::shared_ptr<const MediaItem> referencedItem(Run& run, const std::string& name) const;
  // Takes the archive's items out of the record and the cache again, and puts back the damaged
  // or recovered items they replaced.
  void rollBack(Run& run, Batch& batch);
  // Whether `item`, the content of `recorded` with another date, becomes an item of its own.
  static bool keepsOwnDate(MediaItem& recorded, const MediaItem& item);
  static bool canAppendCachedMediaItemPath(const MediaItem& cached, const MediaItem& item);

  // The record's metadata of this category, created empty when missing.
  MediaMetaData& recordMetaData(BackupRecord& backup) const;
  void addToReport(bool success, int count, int64_t bytes, std::vector<FailedItem> failed = {}) {
    tally(section_, success, count, bytes, std::move(failed));
  }

  const std::shared_ptr<ArchiveUploader> archives_;
  const std::shared_ptr<RemoteIOServiceProtocol> remoteIOService_;
  const std::shared_ptr<MediaServiceProtocol> mediaService_;
  const std::shared_ptr<CachingService> cachingService_;
  const std::shared_ptr<FileStatusManager> fileStatusManager_;
  const std::shared_ptr<Serializer> serializer_;
  const std::shared_ptr<LoggerProtocol> logger_;
  const Category category_;
  UnlistedFiles unlisted_;
  StoredChecksum storedChecksum_;
  // The run's section of the report, null until something is counted.
  std::shared_ptr<ReportSection> section_;
  // Whether an archive of the run landed, and whether one failed.
  bool archiveLanded_ = false;
  bool archiveFailed_ = false;
};

}  // namespace tessellon
