#pragma once

#include <memory>
#include <string>

#include "tessellon/ItemsMetaData.h"

#include "backup/BaseBackupService.h"
#include "core/Log.h"

namespace tessellon {

// The backup of a category that travels as one document ("contacts.json",
// "calendars.json"): the document and a fresh "backup.json" in one archive. A
// failed transfer is only counted: the record falls back to the stored metadata
// and the run goes on.
template <class T>
class DocumentBackup : public BaseBackupService {
 protected:
  struct Category {
    std::shared_ptr<ItemsMetaData<T>> Backup::*metaData;
    MetaType type;
    std::string fileName;  // "contacts.json"
    std::string title;     // "Contacts"
  };

  using BaseBackupService::BaseBackupService;

  Future<std::shared_ptr<ReportSection>> processDocument(std::shared_ptr<Backup> backup,
                                                         std::shared_ptr<CancelToken> cancelToken,
                                                         const Category& category) {
    using Section = std::shared_ptr<ReportSection>;
    currentProcessReport = std::make_shared<ProcessReport>();
    std::shared_ptr<Zip> zip = generateZip();
    const std::shared_ptr<ItemsMetaData<T>> taskItems =
        backup->taskListToProcess ? (*backup->taskListToProcess).*category.metaData : nullptr;
    if (!taskItems) {
      return appendBackupJson(zip, *backup)
          .onSuccess([this, cancelToken] { return uploadZipAndInflate(cancelToken); })
          .onSuccess([] { return Section(); });
    }

    // Set once the record holds the new metadata, so a failure can put the old back.
    auto previous = std::make_shared<std::optional<std::shared_ptr<ItemsMetaData<T>>>>();
    return appendMetaJson(zip, *taskItems, category.fileName)
        .onSuccess([this, backup, zip, taskItems, previous, category] {
          *previous = (*backup).*category.metaData;
          (*backup).*category.metaData = std::make_shared<ItemsMetaData<T>>(*taskItems);
          return appendBackupJson(zip, *backup);
        })
        .onSuccess([this, cancelToken, category] {
          logWith(logger, LogLevel::info, [&] { return "uploading " + category.title; });
          return uploadZipAndInflate(cancelToken);
        })
        .onComplete([this, backup, taskItems, previous,
                     category](const FutureResult<Void>& result) -> FutureResult<Section> {
          // The record may claim only what the remote holds: after a failed or cancelled
          // transfer that is the stored document, not the one this run meant to send.
          if (!result.isSuccess() && *previous) {
            (*backup).*category.metaData =
                backup->storedRecord ? (*backup->storedRecord).*category.metaData : **previous;
          }
          if (endedCancelled(result)) return FutureResult<Section>::cancelled();
          if (result.isSuccess()) {
            logWith(logger, LogLevel::info,
                    [&] { return "uploading " + category.title + " finished"; });
          }
          fileStatusManager->update([&](FileStatus& status) {
            status.processed += 1;
            status.processedBytes += taskItems->bytes;
          });
          fileStatusManager->notifyAboutCurrentBackupFileStatus();
          deleteTemporaryFile(category.fileName);
          addToReport(result.isSuccess(), category.type, taskItems->count, taskItems->bytes);
          Section section = category.type == MetaType::contacts ? currentProcessReport->contacts
                                                                : currentProcessReport->calendars;
          return FutureResult<Section>::success(section);
        });
  }
};

}  // namespace tessellon
