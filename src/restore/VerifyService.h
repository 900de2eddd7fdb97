#pragma once

#include <memory>

#include "tessellon/LoggerProtocol.h"
#include "tessellon/VerifyReport.h"

#include "core/CancelToken.h"
#include "futures/Future.h"
#include "model/BackupRecord.h"
#include "model/loading/MetadataLoader.h"
#include "platform/files/FileIOServiceProtocol.h"
#include "remote/RemoteIOServiceProtocol.h"

namespace tessellon {

// Checks a stored backup against its own record: every document "backup.json" names is there
// and reads, every media item of "images.json" and "videos.json" is in its folder with its
// size, and, when asked, each file's content matches its checksum. Reads only; the facade runs
// it as an operation of its own.
class VerifyService {
 public:
  VerifyService(std::shared_ptr<RemoteIOServiceProtocol> remote,
                std::shared_ptr<FileIOServiceProtocol> files,
                std::shared_ptr<MetadataLoader> metadataLoader,
                std::shared_ptr<LoggerProtocol> logger);  // logger may be null
  VerifyService(const VerifyService&) = delete;
  VerifyService& operator=(const VerifyService&) = delete;

  // 1. List the device folder once: which documents and media folders exist.
  // 2. Load "contacts.json" and "calendars.json" when the record names them.
  // 3. Per media category: load its document, list its folder once, compare every item's
  //    presence and size; with `readData`, download each item that has a checksum (the next
  //    download runs while the current file is checksummed) and delete the copy at once.
  // Completes with the report; what is wrong with the backup is in the report, not an error.
  // Fails with the host's error when the device folder or a media folder that exists cannot be
  // listed. Honours the token between files and in every remote request; a cancelled run
  // leaves no download behind.
  Future<std::shared_ptr<VerifyReport>> verify(std::shared_ptr<BackupRecord> backup, bool readData,
                                               std::shared_ptr<CancelToken> cancelToken);

 private:
  const std::shared_ptr<RemoteIOServiceProtocol> remote_;
  const std::shared_ptr<FileIOServiceProtocol> files_;
  const std::shared_ptr<MetadataLoader> metadataLoader_;
  const std::shared_ptr<LoggerProtocol> logger_;
};

}  // namespace tessellon
