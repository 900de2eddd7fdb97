#pragma once

#include <memory>
#include <string>

#include "tessellon/LoggerProtocol.h"

#include "media/caches/CachingService.h"
#include "model/json/Serializer.h"
#include "model/loading/CompatibilityService.h"
#include "platform/files/FileIOServiceProtocol.h"
#include "remote/RemoteIOServiceProtocol.h"
#include "restore/RestoreDataHandler.h"
#include "restore/RestoreHelperProtocol.h"
#include "restore/RestoreStatusServiceProtocol.h"

namespace tessellon {

// One restore:
//   1. the backup's list documents;
//   2. contacts, then calendars;
//   3. the local media cache is refreshed, so files already on the machine are
//      found by content instead of downloaded;
//   4. images and videos side by side, sharing one limit of downloads and
//      placing their files one at a time;
//   5. the report.
// An interrupted restore leaves the files placed so far, each whole and
// verified; no file that was there is overwritten.
class RestoreHelper final : public RestoreHelperProtocol,
                            public std::enable_shared_from_this<RestoreHelper> {
 public:
  struct Collaborators {
    std::shared_ptr<CompatibilityService> compatibilityService;
    std::shared_ptr<LoggerProtocol> logger;
    std::shared_ptr<FileIOServiceProtocol> fileIOService;
    std::shared_ptr<RemoteIOServiceProtocol> remoteIOService;
    std::shared_ptr<CachingService> cachingService;
    std::shared_ptr<Serializer> serializer;
    std::shared_ptr<RestoreDataHandler> restoreDataHandler;
    std::shared_ptr<RestoreStatusServiceProtocol> restoreStatusService;
  };

  // Continuations keep the helper alive: create it with std::make_shared.
  explicit RestoreHelper(Collaborators collaborators);

  // Works on a copy of `backup`: the host's record keeps its summaries.
  Future<std::shared_ptr<ProcessReport>> restoreBackup(
      std::shared_ptr<BackupRecord> backup, const Settings& settings,
      std::shared_ptr<CancelToken> cancelToken) override;

 private:
  using Section = RestoreDataHandler::Section;

  // Downloads the selected list documents onto `backup`. A contacts or
  // calendars document that cannot be had leaves the summary (all its items
  // then count as failed); a media one becomes failed placeholders. Only
  // cancellation fails it.
  Future<Void> initializeMetadataOnBackup(const std::shared_ptr<BackupRecord>& backup,
                                          const Settings& settings,
                                          const std::shared_ptr<CancelToken>& cancelToken);
  // The document `name` of `backup`'s folder read as `T`; the local copy is
  // deleted once read.
  template <class T>
  Future<std::shared_ptr<T>> downloadDocument(const BackupRecord& backup, const std::string& name,
                                              std::shared_ptr<CancelToken> cancelToken);
  Future<Void> downloadMediaMetaData(const std::shared_ptr<BackupRecord>& backup,
                                     std::shared_ptr<MediaMetaData> BackupRecord::*field,
                                     const std::string& fileName, bool setting,
                                     std::shared_ptr<CancelToken> cancelToken);
  // Passes a successful media step on after refreshing the media cache.
  Future<Section> refreshMediaCache(const FutureResult<Section>& previous,
                                    const std::shared_ptr<BackupRecord>& backup,
                                    const Settings& settings,
                                    const std::shared_ptr<CancelToken>& cancelToken);
  // Step 4: the image and the video step at once; completes with the video section once both
  // ended, the image section filed into `report` (or its failure logged).
  Future<Section> restoreMedia(const FutureResult<Section>& calendars,
                               const std::shared_ptr<BackupRecord>& backup,
                               const std::shared_ptr<ProcessReport>& report,
                               std::shared_ptr<CancelToken> cancelToken);
  FutureResult<std::shared_ptr<ProcessReport>> finalizeRestore(
      const FutureResult<Section>& previous, const std::shared_ptr<ProcessReport>& report);

  Collaborators services_;
};

}  // namespace tessellon
