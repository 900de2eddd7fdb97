#pragma once

#include <memory>

#include "backup/BackupVideoMetaDataServiceProtocol.h"
#include "backup/MediaBackup.h"
#include "media/VideoServiceProtocol.h"

namespace tessellon {

// The videos of a run, in archives up to the host's size (see MediaBackup). The
// orchestrator empties the item cache first, so only content packed earlier in
// the same video run counts as already remote.
class BackupVideoMetaDataService final : public MediaBackup,
                                         public BackupVideoMetaDataServiceProtocol {
 public:
  BackupVideoMetaDataService(Collaborators collaborators,
                             std::shared_ptr<VideoServiceProtocol> videoService);

  Future<std::shared_ptr<ReportSection>> processVideoMetaData(
      std::shared_ptr<Backup> backup, std::shared_ptr<CancelToken> cancelToken) override;
};

}  // namespace tessellon
