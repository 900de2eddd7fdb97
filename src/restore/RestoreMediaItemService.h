#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tessellon/BackupSDKError.h"
#include "tessellon/LoggerProtocol.h"
#include "tessellon/ProcessReport.h"
#include "tessellon/Settings.h"

#include "core/CancelToken.h"
#include "futures/Future.h"
#include "media/MediaServiceProtocol.h"
#include "model/MediaMetaData.h"
#include "platform/files/FileIOServiceProtocol.h"
#include "remote/RemoteIOServiceProtocol.h"
#include "restore/RestoreSlots.h"
#include "restore/RestoreStatusServiceProtocol.h"

namespace tessellon {

// The restore of a media category (images, videos): the loop that restores its items, the two
// ways of restoring one item (copying a local file that already has the content, or downloading
// it), and the report section. Up to kItemsAtOnce items run at once, kDownloadsAtOnce of them
// downloading, but their files are placed one at a time: two items may name one path (versions of
// a file), and which of them gets a free name must not be a race. The limits and the turn of
// placements (RestoreSlots) are shared by the image and the video restore, so the two can run side
// by side: a large video then downloads while pictures do, and a freed slot goes to the loop that
// has waited longest. Each step is a work item on the pool, so neither a long list nor a
// completed future nests stack frames.
class RestoreMediaItemService final {
 public:
  using FailedPaths = std::vector<std::string>;
  // Restores one item; completes with the recorded paths that could not be written.
  using PerItemOperation = std::function<Future<FailedPaths>(const std::shared_ptr<MediaItem>&,
                                                             const std::shared_ptr<CancelToken>&)>;

  static constexpr int kItemsAtOnce = RestoreSlots::kItemsAtOnce;

  // The texts, remote folder and setting of one category; the two categories' lines differ in
  // more than the word.
  struct Vocabulary {
    bool Settings::*selected;      // whether the restore takes the category
    std::string word;              // "Image"
    std::string remoteFolderName;  // "images"
    std::string restoring;         // + name
    std::string downloadOf;        // + name + " failed (" + error + ")"
    std::string restored;          // + name
    std::string failedAtPaths;     // + paths joined by ","
    std::string restoreOf;         // + name + " failed: " + error
    BackupSDKError unusableItem;   // an item without fingerprint cannot be fetched
  };
  static const Vocabulary kImages;
  static const Vocabulary kVideos;

  // `logger` may be null.
  RestoreMediaItemService(std::shared_ptr<RemoteIOServiceProtocol> remoteIOService,
                          std::shared_ptr<LoggerProtocol> logger,
                          std::shared_ptr<RestoreStatusServiceProtocol> restoreStatusService,
                          std::shared_ptr<FileIOServiceProtocol> fileIOService,
                          std::shared_ptr<MediaServiceProtocol> mediaService, Vocabulary vocabulary,
                          std::shared_ptr<RestoreSlots> slots);
  RestoreMediaItemService(const RestoreMediaItemService&) = delete;
  RestoreMediaItemService& operator=(const RestoreMediaItemService&) = delete;

  // The category's whole restore from "<remoteFolder>/<category folder>": nothing when `metaData`
  // is null or the category is not selected; all failed for a list that could not be downloaded;
  // zeros without items; otherwise each item is restored in turn and a failed item only counts as
  // failed. Cancelled when `cancelToken` is.
  Future<std::optional<RestoreMediaReportSection>> restoreAll(
      std::shared_ptr<MediaMetaData> metaData, std::vector<std::string> remoteFolder,
      std::shared_ptr<CancelToken> cancelToken);
  // `section` of restoreAll once the file systems the category writes to have put its files on
  // disk; when that fails, nothing counts as restored and the folder is named with why. Called
  // once the image and the video restore have both ended: the first flush then writes out both,
  // where a flush while the other category still wrote made the whole restore a fifth slower.
  RestoreMediaReportSection flushed(const RestoreMediaReportSection& section) const;

  // Runs `perItemOperation` over `items`, started in order, kItemsAtOnce at a time. A failed item
  // counts as failed with all its paths and the loop goes on; a cancelled item or token starts no
  // further item and cancels the loop once the running ones have ended. Completes with
  // finalizeRestoreMediaItem's section, on a pool thread.
  Future<RestoreMediaReportSection> restoreMediaItem(MediaMetaData::Items items,
                                                     PerItemOperation perItemOperation,
                                                     std::shared_ptr<MediaMetaData> metaData,
                                                     std::shared_ptr<CancelToken> cancelToken);

  // The section of a finished loop: what was not restored of the metadata's count and bytes
  // failed; every recorded path not counted as failed succeeded.
  static RestoreMediaReportSection finalizeRestoreMediaItem(const MediaMetaData& metaData,
                                                            int restoredCount,
                                                            int64_t restoredBytes, int failedPaths);

  // For an item whose content is on this machine: copies it to the paths that lack it and
  // advances the progress by the item. Fails when no local file holds the content after all.
  Future<FailedPaths> performRestoreForAlreadyLocallyExistingItems(
      const std::shared_ptr<MediaItem>& item,
      const std::shared_ptr<MediaServiceProtocol>& mediaService);

  // Downloads "<remoteFolder>/<category folder>/<remote file name>" and writes it to the item's
  // paths; the download is gone afterwards. Advances the progress by the item whatever happens
  // but cancellation. Fails with the download's or the placement's error, or with
  // delegateFileDownloadFailed, placing nothing, when the download's size is not the item's or
  // its checksum not the recorded one.
  Future<FailedPaths> performRestoreByDownload(
      const std::shared_ptr<MediaItem>& item, const std::vector<std::string>& remoteFolder,
      const std::shared_ptr<CancelToken>& cancelToken,
      const std::shared_ptr<MediaServiceProtocol>& mediaService);

 private:
  // One item: from the local copy when the fingerprint is known here, downloaded otherwise (also
  // when the local copy turns out to be gone).
  Future<FailedPaths> restoreItem(const std::shared_ptr<MediaItem>& item,
                                  const std::vector<std::string>& remoteFolder,
                                  const std::shared_ptr<CancelToken>& cancelToken);

  const std::shared_ptr<RemoteIOServiceProtocol> remoteIOService_;
  const std::shared_ptr<LoggerProtocol> logger_;  // may be null
  const std::shared_ptr<RestoreStatusServiceProtocol> restoreStatusService_;
  const std::shared_ptr<FileIOServiceProtocol> fileIOService_;
  const std::shared_ptr<MediaServiceProtocol> mediaService_;
  const Vocabulary vocabulary_;
  void logResult(const MediaItem& item, const FutureResult<FailedPaths>& result) const;
  // Why the download cannot be the item's stored file, or nothing when it matches the record.
  std::optional<Error> checkDownload(const MediaItem& item, const std::string& localPath) const;
  void removeDownload(const std::string& localPath) const;
  // Runs `place` on the pool once every placement asked for before it has ended.
  Future<FailedPaths> placeInTurn(std::function<Future<FailedPaths>()> place);

  const std::shared_ptr<RestoreSlots> slots_;
};

}  // namespace tessellon
