#pragma once

#include <memory>

#include "backup/BackupImageMetaDataServiceProtocol.h"
#include "backup/MediaBackup.h"
#include "media/ImageServiceProtocol.h"

namespace tessellon {

// The images of a run, in archives up to the host's size (see MediaBackup).
class BackupImageMetaDataService final : public MediaBackup,
                                         public BackupImageMetaDataServiceProtocol {
 public:
  BackupImageMetaDataService(Collaborators collaborators,
                             std::shared_ptr<ImageServiceProtocol> imageService);

  Future<std::shared_ptr<ReportSection>> processImageMetaData(
      std::shared_ptr<Backup> backup, std::shared_ptr<CancelToken> cancelToken) override;
};

}  // namespace tessellon
