#include "backup/CleanupService.h"

#include <algorithm>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

#include "core/PathUtils.h"
#include "futures/FuturesError.h"
#include "model/BackupRunState.h"

namespace tessellon {
namespace {

using Step = std::function<Future<Void>()>;

// Runs `next` once `previous` has completed, whatever its outcome, unless it
// ended cancelled or with an error that means cancellation.
Future<Void> then(const Future<Void>& previous, Step next) {
  return previous.onComplete([next = std::move(next)](const FutureResult<Void>& result) {
    if (result.isCancelled() || (result.isFail() && testForCancellation(result.failure()))) {
      return Future<Void>::cancelled();
    }
    return next();
  });
}

Future<Void> inSequence(const std::vector<Step>& steps) {
  Future<Void> chain = Future<Void>::success(Void{});
  for (const auto& step : steps) chain = then(chain, step);
  return chain;
}

}  // namespace

CleanupService::CleanupService(std::shared_ptr<RemoteIOServiceProtocol> remoteIOService,
                               std::shared_ptr<DeviceUIDServiceProtocol> deviceUidService)
    : remoteIOService_(std::move(remoteIOService)),
      deviceUidService_(std::move(deviceUidService)) {}

Future<Void> CleanupService::cleanup(const BackupRecord& backup,
                                     std::shared_ptr<CancelToken> cancelToken) {
  const std::string uid = deviceUidService_->getUID();
  auto remote = remoteIOService_;
  auto deleteFile = [remote, cancelToken](std::string path) -> Step {
    return [remote, cancelToken, path = std::move(path)] {
      return remote->deleteFile(path, cancelToken);
    };
  };
  auto keepOrDelete = [&](bool kept, const char* document) -> Step {
    if (kept) return [] { return Future<Void>::success(Void{}); };
    return deleteFile(PathUtils::combinePath({uid, document}));
  };
  auto media = [&](const std::shared_ptr<MediaMetaData>& metaData, const char* folder) -> Step {
    std::optional<MediaMetaData::Items> items;
    if (metaData) {
      // A summary without its items names nothing to keep: leave the folder as it is
      // rather than empty it.
      if (!metaData->items) return [] { return Future<Void>::success(Void{}); };
      items = metaData->items;
    }
    const auto& listedFiles = BackupRunState::of(backup).listedFiles;
    const auto listed = listedFiles.find(folder);
    std::shared_ptr<const Directory> listing =
        listed == listedFiles.end() ? nullptr : listed->second;
    return [remote, path = PathUtils::combinePath({uid, folder}), items, listing, cancelToken] {
      if (listing) return deleteUnkept(remote, path, items, *listing, cancelToken);
      return remote->getDirectoryInfo(path, cancelToken)
          .onSuccess(
              [remote, path, items, cancelToken](const std::shared_ptr<const Directory>& fresh) {
                return deleteUnkept(remote, path, items, *fresh, cancelToken);
              });
    };
  };
  // A record rebuilt from an unreadable one may lack what the lost one listed: keep every file.
  if (BackupRunState::of(backup).rebuildsRecord)
    return inSequence({deleteFile(uid + "/" + uid + ".zip")});
  return inSequence({
      deleteFile(uid + "/" + uid + ".zip"),
      media(backup.videosMetaData, "videos"),
      media(backup.imagesMetaData, "images"),
      keepOrDelete(backup.contactsMetaData != nullptr, "contacts.json"),
      keepOrDelete(backup.calendarsMetaData != nullptr, "calendars.json"),
      keepOrDelete(backup.imagesMetaData != nullptr, "images.json"),
      keepOrDelete(backup.videosMetaData != nullptr, "videos.json"),
  });
}

Future<Void> CleanupService::deleteUnkept(const std::shared_ptr<RemoteIOServiceProtocol>& remote,
                                          const std::string& folder,
                                          const std::optional<MediaMetaData::Items>& mediaItems,
                                          const Directory& listing,
                                          const std::shared_ptr<CancelToken>& cancelToken) {
  // The kept names by hash, sorted: no string per item. A name that only shares a kept one's hash
  // is kept too, which errs on the side that loses nothing.
  std::vector<size_t> kept;
  const std::hash<std::string_view> hash;
  if (mediaItems) {
    kept.reserve(mediaItems->size());
    std::string name;
    for (const auto& item : *mediaItems) {
      if (!item) continue;
      item->getRemoteFileName(name);
      kept.push_back(hash(name));
    }
    std::sort(kept.begin(), kept.end());
  }
  std::vector<Step> deletions;
  for (const Member& member : listing.members) {
    const std::string_view name =
        std::string_view(member.fullName).substr(member.fullName.rfind('/') + 1);
    // No file is named so; as a path each would name this folder or the one above it.
    if (name.empty() || name == "." || name == "..") continue;
    if (std::binary_search(kept.begin(), kept.end(), hash(name))) continue;
    deletions.push_back([remote, path = PathUtils::combinePath({folder, std::string(name)}),
                         cancelToken] { return remote->deleteFile(path, cancelToken); });
  }
  return inSequence(deletions);
}

}  // namespace tessellon
