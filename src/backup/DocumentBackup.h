#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "backup/ArchiveUploader.h"
#include "backup/CategoryBackup.h"
#include "core/FileStatusManager.h"
#include "core/HostError.h"
#include "core/Log.h"
#include "model/BackupRunState.h"
#include "model/ItemsMetaData.h"

namespace tessellon {

// The backup of a category that travels as one document ("contacts.json", "calendars.json"): the
// document and a fresh "backup.json" in one archive. A failed transfer is only counted: the record
// falls back to the stored metadata and the run goes on.
template <class T>
class DocumentBackup final : public CategoryBackup {
 public:
  struct Category {
    std::shared_ptr<ItemsMetaData<T>> BackupRecord::*metaData;
    std::shared_ptr<ReportSection> ProcessReport::*slot;
    std::string fileName;  // "contacts.json"
    std::string title;     // "Contacts"
  };

  DocumentBackup(std::shared_ptr<ArchiveUploader> archives,
                 std::shared_ptr<FileStatusManager> fileStatusManager,
                 std::shared_ptr<LoggerProtocol> logger, Category category)
      : archives_(std::move(archives)),
        fileStatusManager_(std::move(fileStatusManager)),
        logger_(std::move(logger)),
        category_(std::move(category)) {}

  const std::string& title() const override { return category_.title; }
  std::shared_ptr<ReportSection> ProcessReport::*reportSlot() const override {
    return category_.slot;
  }

  Future<std::shared_ptr<ReportSection>> run(std::shared_ptr<BackupRecord> backup,
                                             std::shared_ptr<CancelToken> cancelToken) override {
    using Section = std::shared_ptr<ReportSection>;
    std::shared_ptr<Zip> zip = archives_->newArchive();
    const std::shared_ptr<ItemsMetaData<T>> taskItems =
        backup->taskListToProcess ? (*backup->taskListToProcess).*category_.metaData : nullptr;
    if (!taskItems) {
      return archives_->appendBackupJson(zip, *backup)
          .onSuccess([this, cancelToken] { return archives_->uploadAndInflate(cancelToken); })
          .onSuccess([] { return Section(); });
    }

    // Set once the record holds the new metadata, so a failure can put the old back.
    auto previous = std::make_shared<std::optional<std::shared_ptr<ItemsMetaData<T>>>>();
    return archives_->appendMetaJson(zip, *taskItems, category_.fileName)
        .onSuccess([this, backup, zip, taskItems, previous] {
          *previous = (*backup).*category_.metaData;
          (*backup).*category_.metaData = std::make_shared<ItemsMetaData<T>>(*taskItems);
          return archives_->appendBackupJson(zip, *backup);
        })
        .onSuccess([this, cancelToken] {
          logWith(logger_, LogLevel::info, [&] { return "uploading " + category_.title; });
          return archives_->uploadAndInflate(cancelToken);
        })
        .onComplete([this, backup, taskItems,
                     previous](const FutureResult<Void>& result) -> FutureResult<Section> {
          // The record may claim only what the remote holds: after a failed or cancelled
          // transfer that is the stored document, not the one this run meant to send.
          if (!result.isSuccess() && *previous) {
            const std::shared_ptr<const BackupRecord>& stored =
                BackupRunState::of(std::as_const(*backup)).storedRecord;
            (*backup).*category_.metaData = stored ? (*stored).*category_.metaData : **previous;
          }
          if (endedCancelled(result)) return FutureResult<Section>::cancelled();
          if (result.isSuccess()) {
            logWith(logger_, LogLevel::info,
                    [&] { return "uploading " + category_.title + " finished"; });
          }
          fileStatusManager_->update([&](FileStatus& status) {
            status.processed += 1;
            status.processedBytes += taskItems->bytes;
          });
          fileStatusManager_->notifyAboutCurrentBackupFileStatus();
          archives_->deleteTemporaryFile(category_.fileName);
          Section section;
          std::vector<FailedItem> failed;
          if (result.isFail()) {
            failed.push_back({archives_->uid() + "/" + category_.fileName,
                              "not sent: " + failureReason(result.failure())});
          }
          tally(section, result.isSuccess(), taskItems->count, taskItems->bytes, std::move(failed));
          return FutureResult<Section>::success(section);
        });
  }

 private:
  const std::shared_ptr<ArchiveUploader> archives_;
  const std::shared_ptr<FileStatusManager> fileStatusManager_;
  const std::shared_ptr<LoggerProtocol> logger_;
  const Category category_;
};

}  // namespace tessellon
