#include "backup/BackupVideoMetaDataService.h"

#include <utility>

namespace tessellon {

// Videos log less: no upload warning and no lines for the appends of an empty run.
BackupVideoMetaDataService::BackupVideoMetaDataService(
    Collaborators collaborators, std::shared_ptr<VideoServiceProtocol> videoService)
    : MediaBackup(std::move(collaborators), std::move(videoService),
                  {&Backup::videosMetaData, MetaType::videos, "videos.json", "videos", "Videos",
                   "Video", "video", false}) {}

Future<std::shared_ptr<ReportSection>> BackupVideoMetaDataService::processVideoMetaData(
    std::shared_ptr<Backup> backup, std::shared_ptr<CancelToken> cancelToken) {
  return processMediaMetaData(std::move(backup), std::move(cancelToken));
}

}  // namespace tessellon
