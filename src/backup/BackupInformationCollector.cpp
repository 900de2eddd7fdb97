#include "backup/BackupInformationCollector.h"

#include "tessellon/BackupSDKError.h"

#include "core/PathUtils.h"

namespace tessellon {
namespace {

using Backups = std::vector<std::shared_ptr<BackupRecord>>;

bool endsWith(const std::string& text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

BackupInformationCollector::BackupInformationCollector(
    std::shared_ptr<RemoteIOServiceProtocol> remoteIOService,
    std::shared_ptr<FileIOServiceProtocol> fileIOService, std::shared_ptr<Serializer> serializer,
    std::shared_ptr<Migrations> migrations)
    : remoteIOService_(std::move(remoteIOService)),
      fileIOService_(std::move(fileIOService)),
      serializer_(std::move(serializer)),
      migrations_(std::move(migrations)) {}

Future<Backups> BackupInformationCollector::getAllBackups(
    std::shared_ptr<CancelToken> cancelToken) {
  if (!remoteIOService_ || !fileIOService_ || !serializer_) {
    return Future<Backups>::fail(
        makeError(BackupSDKError::cannotFetchAvailableBackups, "no remote storage to list"));
  }
  return remoteIOService_->getDirectoryInfo("", cancelToken)
      .onSuccess([this, cancelToken](const std::shared_ptr<const Directory>& root) {
        auto backups = std::make_shared<Backups>();
        Future<Void> chain = Future<Void>::success(Void{});
        // One member after the other: the host sees one request at a time.
        for (const Member& member : root->members) {
          chain = chain.onSuccess([this, member, backups, cancelToken]() -> Future<Void> {
            if (member.type == MemberType::directory) {
              return readBackup(member, 1, cancelToken)
                  .onSuccess([backups](const std::shared_ptr<BackupRecord>& backup) {
                    if (backup) backups->push_back(backup);
                  });
            }
            if (endsWith(member.fullName, ".zip") && migrations_) {
              // A left-over archive outside every device folder.
              return migrations_->deleteZipIfExistsOutsideOfBackupFolder(member, cancelToken);
            }
            return Future<Void>::success(Void{});
          });
        }
        return chain.onSuccess([backups] { return *backups; });
      })
      .onComplete([](const FutureResult<Backups>& result) {
        if (result.isCancelled()) return FutureResult<Backups>::success(Backups{});
        return result;
      });
}

Future<std::shared_ptr<BackupRecord>> BackupInformationCollector::readBackup(
    const Member& folder, int attempt, const std::shared_ptr<CancelToken>& cancelToken) const {
  using Outcome = Completion<std::shared_ptr<BackupRecord>>;
  const std::string path = PathUtils::combinePath({folder.fullName, "backup.json"});
  return remoteIOService_->downloadFile(path, folder.fileSizeInByte, cancelToken)
      .onComplete([this, folder, attempt,
                   cancelToken](const FutureResult<std::string>& download) -> Outcome {
        if (download.isCancelled()) return Outcome::cancelled();
        if (download.isFail()) {
          // A folder whose record cannot be had is left out rather than failing the list.
          if (attempt >= kDownloadAttempts) return Outcome::success(nullptr);
          return Outcome::completeUsing(readBackup(folder, attempt + 1, cancelToken));
        }
        const std::string& localPath = download.successValue();
        return Outcome::completeUsing(fileIOService_->read(localPath).onComplete(
            [this, localPath](const FutureResult<std::string>& text) {
              std::shared_ptr<BackupRecord> backup =
                  text.isSuccess() ? parse(text.successValue()) : nullptr;
              return fileIOService_->deleteItem(localPath).onComplete(
                  [backup](const FutureResult<Void>&) {
                    return FutureResult<std::shared_ptr<BackupRecord>>::success(backup);
                  });
            }));
      });
}

std::shared_ptr<BackupRecord> BackupInformationCollector::parse(const std::string& text) const {
  Result<std::shared_ptr<BackupRecord>> backup = deserializeAs<BackupRecord>(*serializer_, text);
  return backup.ok() ? std::move(backup).value() : nullptr;
}

}  // namespace tessellon
