#include "model/loading/Migrations.h"

#include <string_view>

#include "tessellon/Error.h"

#include "core/Log.h"

namespace tessellon {

Migrations::Migrations(std::shared_ptr<RemoteIOServiceProtocol> remoteIOService,
                       std::shared_ptr<LoggerProtocol> logger)
    : remoteIOService_(std::move(remoteIOService)), logger_(std::move(logger)) {}

Future<Void> Migrations::deleteZipIfExistsOutsideOfBackupFolder(
    const Member& member, std::shared_ptr<CancelToken> cancelToken) {
  constexpr std::string_view kZip = ".zip";
  const std::string& name = member.fullName;
  if (name.size() < kZip.size() ||
      name.compare(name.size() - kZip.size(), kZip.size(), kZip) != 0) {
    return Future<Void>::success(Void{});
  }
  return remoteIOService_->deleteFile(name, std::move(cancelToken))
      .onComplete([logger = logger_](const FutureResult<Void>& result) {
        // A host that never answers must not hold a cancelled listing.
        if (result.isCancelled()) return result;
        if (result.isFail()) {
          logWith(logger, LogLevel::error,
                  [&] { return "Failed to delete .zip-File: " + describe(*result.error()); });
        }
        return FutureResult<Void>::success(Void{});
      });
}

}  // namespace tessellon
