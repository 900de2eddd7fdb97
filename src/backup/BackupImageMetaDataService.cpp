#include "backup/BackupImageMetaDataService.h"

#include <utility>

namespace tessellon {

BackupImageMetaDataService::BackupImageMetaDataService(
    Collaborators collaborators, std::shared_ptr<ImageServiceProtocol> imageService)
    : MediaBackup(std::move(collaborators), std::move(imageService),
                  {&Backup::imagesMetaData, MetaType::images, "images.json", "images", "Images",
                   "Image", "image", true}) {}

Future<std::shared_ptr<ReportSection>> BackupImageMetaDataService::processImageMetaData(
    std::shared_ptr<Backup> backup, std::shared_ptr<CancelToken> cancelToken) {
  return processMediaMetaData(std::move(backup), std::move(cancelToken));
}

}  // namespace tessellon
