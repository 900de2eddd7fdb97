#include "media/discovery/MediaRepositoryHelper.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "tessellon/BackupSDKError.h"

#include "media/PathUtils.h"
#include "media/caches/CacheIdentity.h"
#include "media/discovery/Utf8.h"
#include "media/fingerprints/FingerprintUtils.h"
#include "media/fingerprints/HashUtils.h"
#include "model/Utf8.h"
#include "sdk/Log.h"

namespace tessellon {
namespace {

// `relative` (a listing entry: no leading or trailing "/") under `directory`; what combinePath
// gives, without building a list of parts for each of a scan's files.
std::string under(const std::string& directory, const std::string& relative) {
  size_t end = directory.size();
  while (end > 1 && directory[end - 1] == '/') --end;
  std::string full;
  full.reserve(end + 1 + relative.size());
  full.append(directory, 0, end);
  if (full != "/") full.push_back('/');
  full += relative;
  return full;
}

const std::string& firstPath(const MediaItem& item) {
  return item.paths().empty() ? item.id : item.paths().front();
}

bool isCancelled(const std::shared_ptr<CancelToken>& cancelToken) {
  return cancelToken && cancelToken->isCanceled();
}

}  // namespace

MediaRepositoryHelper::MediaRepositoryHelper(
    std::shared_ptr<CachingServiceProtocol> cachingService,
    std::shared_ptr<ZipServiceProtocol> zipService,
    std::shared_ptr<FileIOServiceProtocol> fileManager,
    std::shared_ptr<RestoreMediaItemHelperProtocol> restoreMediaItemHelper,
    std::shared_ptr<LocationProviderProtocol> locationProvider,
    std::shared_ptr<PathValidatorProtocol> pathValidator,
    std::shared_ptr<FileExtensionFilterProtocol> fileExtensionFilter,
    std::shared_ptr<DuplicateCollectionProtocol> duplicateCollection,
    std::shared_ptr<HashingUtilAdapterProtocol> hashUtils, std::shared_ptr<HasherProtocol> hasher,
    std::shared_ptr<MediaPathUtilProtocol> mediaPathUtil, std::shared_ptr<LoggerProtocol> logger)
    : cachingService_(std::move(cachingService)),
      zipService_(std::move(zipService)),
      fileManager_(std::move(fileManager)),
      restoreMediaItemHelper_(std::move(restoreMediaItemHelper)),
      locationProvider_(std::move(locationProvider)),
      pathValidator_(std::move(pathValidator)),
      fileExtensionFilter_(std::move(fileExtensionFilter)),
      duplicateCollection_(std::move(duplicateCollection)),
      hashUtils_(std::move(hashUtils)),
      hasher_(std::move(hasher)),
      mediaPathUtil_(std::move(mediaPathUtil)),
      logger_(std::move(logger)) {}

bool MediaRepositoryHelper::accept(const std::string& fullPath, std::optional<bool> isFolder) {
  if (isFolder ? pathValidator_->isValid(fullPath, *isFolder) : pathValidator_->isValid(fullPath)) {
    return true;
  }
  if (!isValidUtf8(fullPath)) {
    logWith(logger_, LogLevel::warning, [&fullPath] {
      return "skipping " + escapedForLog(fullPath) + ": its name is not UTF-8";
    });
  }
  return false;
}

Result<FileAttributes> MediaRepositoryHelper::attributesOf(const PathData& path) {
  if (path.attributes) return *path.attributes;
  return fileManager_->attributesOfItem(path.fullPath);
}

Result<void> MediaRepositoryHelper::forEachValidPath(const std::string& directory,
                                                     const std::function<bool(PathData&&)>& visit) {
  // The listing reads each entry's type and attributes relative to its open folder: one look
  // at each file for the whole scan.
  return fileManager_->visitSubpathsWithAttributes(directory, [&](ListedItem&& entry) {
    std::string fullPath = under(directory, entry.relative);
    const std::optional<bool> isFolder =
        entry.attributes
            ? std::optional<bool>(entry.attributes->type == FileAttributes::Type::directory)
            : std::nullopt;
    if (!accept(fullPath, isFolder)) return true;
    return visit({std::move(fullPath), std::move(entry.relative), entry.attributes});
  });
}

std::vector<PathData> MediaRepositoryHelper::getValidPathsFor(const std::string& directory) {
  std::vector<PathData> paths;
  const Result<void> listed = forEachValidPath(directory, [&paths](PathData&& path) {
    paths.push_back(std::move(path));
    return true;
  });
  if (!listed.ok()) return {};
  return paths;
}

std::vector<PathData> MediaRepositoryHelper::getValidPhotoLibraryPaths(
    const std::string& directory) {
  std::vector<PathData> paths;
  for (const std::string& library : locationProvider_->getPhotoLibraries(directory)) {
    for (const std::string& entry :
         fileManager_->subpathsOfDirectorySave(PathUtils::combinePath({directory, library}))) {
      paths.push_back({PathUtils::combinePath({directory, library, entry}),
                       PathUtils::combinePath({library, entry})});
    }
  }
  // Thumbnails first: they are most of a library, and the validator asks the file system.
  paths = fileExtensionFilter_->removeThumbnails(std::move(paths));
  std::erase_if(paths,
                [this](const PathData& path) { return !accept(path.fullPath, std::nullopt); });
  return paths;
}

std::shared_ptr<MediaItem> MediaRepositoryHelper::createMediaItem(
    const std::string& path, const FileAttributes& attributes) {
  const std::optional<std::string> name = PathUtils::getFileName(path);
  std::string extension = name ? PathUtils::getFileExtension(*name) : std::string();
  // The file system always reports a modification date, so the creation date is never needed.
  return std::make_shared<MediaItem>(std::move(extension), attributes.size, path,
                                     attributes.modificationDate, std::nullopt,
                                     std::vector<std::string>{path});
}

Result<std::shared_ptr<MediaItem>> MediaRepositoryHelper::previewItem(const PathData& path) {
  const Result<FileAttributes> attributes = attributesOf(path);
  if (!attributes.ok()) return attributes.error();
  // Links are never followed, and pipes or devices are no media.
  if (attributes.value().type != FileAttributes::Type::regular) {
    return std::shared_ptr<MediaItem>();
  }
  std::shared_ptr<MediaItem> item = createMediaItem(path.subPath, attributes.value());
  if (duplicateCollection_) duplicateCollection_->addItem(item);
  return item;
}

Result<std::vector<std::shared_ptr<MediaItem>>>
MediaRepositoryHelper::generateMediaItemsWithoutFingerprint(
    std::vector<PathData> paths, const std::shared_ptr<CancelToken>& cancelToken) {
  std::vector<std::shared_ptr<MediaItem>> items;
  items.reserve(paths.size());
  for (PathData& path : paths) {
    if (isCancelled(cancelToken)) break;
    Result<std::shared_ptr<MediaItem>> item = previewItem(path);
    if (!item.ok()) return item.error();
    if (item.value()) items.push_back(std::move(item).value());
    // Free each path once used, so a large scan does not hold the paths and the items at once.
    path = PathData{};
  }
  return items;
}

Result<std::vector<std::shared_ptr<MediaItem>>>
MediaRepositoryHelper::generateMediaItemsOfDirectory(
    const std::string& directory, const std::function<bool(const PathData&)>& keep,
    const std::shared_ptr<CancelToken>& cancelToken) {
  std::vector<std::shared_ptr<MediaItem>> items;
  std::optional<Error> failure;
  (void)forEachValidPath(directory, [&](PathData&& path) {
    if (isCancelled(cancelToken)) return false;
    if (!keep(path)) return true;
    Result<std::shared_ptr<MediaItem>> item = previewItem(path);
    if (!item.ok()) {
      failure = item.error();
      return false;
    }
    if (item.value()) items.push_back(std::move(item).value());
    return true;
  });
  // A folder that cannot be listed has no items, as with getValidPathsFor.
  if (failure) return *failure;
  return items;
}

Result<MediaItemsWithHashes> MediaRepositoryHelper::generateMediaItemsWithFingerprint(
    std::vector<PathData> itemPaths, const std::shared_ptr<CancelToken>& cancelToken,
    const std::string& mediaItemParent, const std::vector<Version>& forVersions) {
  MediaItemsWithHashes found;
  std::unordered_map<std::string, size_t> byFingerprint;
  const std::string imageDirectory = locationProvider_->localImageDirectory();
  for (PathData& path : itemPaths) {
    if (isCancelled(cancelToken)) break;
    const Result<FileAttributes> attributes = attributesOf(path);
    if (!attributes.ok()) return attributes.error();
    if (attributes.value().type != FileAttributes::Type::regular) continue;
    std::shared_ptr<MediaItem> item = createMediaItem(path.subPath, attributes.value());
    const std::string& parent = path.fullPath.find(".photoslibrary") != std::string::npos
                                    ? imageDirectory
                                    : mediaItemParent;
    std::vector<std::string> hashes = getHashesFromCache(*item, parent, path.subPath, forVersions);
    item->fingerprint = FingerprintUtils::highestVersion(hashes);
    if (!item->fingerprint) continue;
    const auto [known, added] = byFingerprint.emplace(*item->fingerprint, found.size());
    if (added) {
      found.push_back({std::move(item), std::move(hashes)});
    } else {
      found[known->second].item->paths().push_back(item->id);
    }
    path = PathData{};
  }
  return found;
}

std::vector<std::string> MediaRepositoryHelper::getHashesFromCache(
    const MediaItem& item, const std::string& parent, const std::string& subPath,
    const std::vector<Version>& versions) {
  const std::string identity = cachingService_ ? cacheIdentity(item) : std::string();
  const std::vector<std::string> cached =
      cachingService_ ? cachingService_->getHashes(identity) : std::vector<std::string>();
  const std::string file = PathUtils::combinePath({parent, subPath});
  std::vector<std::string> hashes;
  std::vector<std::string> computed;
  for (const Version& version : versions) {
    const auto hit = std::find_if(cached.begin(), cached.end(), [&version](const auto& hash) {
      return FingerprintUtils::getVersion(hash) == version;
    });
    if (hit != cached.end()) {
      hashes.push_back(*hit);
      continue;
    }
    // Empty content has one fingerprint under every scheme, and it carries no scheme prefix
    // that a cache lookup could match: answer it without opening the file again and again.
    if (item.bytes == 0) {
      hashes.emplace_back(HashUtils::kEmptyContentFingerprint);
      continue;
    }
    if (!isValidUtf8(file)) continue;
    Result<std::string> hash = hashUtils_->getFileHash(file, version);
    if (!hash.ok()) continue;
    hashes.push_back(hash.value());
    computed.push_back(std::move(hash).value());
  }
  if (cachingService_ && !computed.empty()) cachingService_->addHashes(identity, computed);
  return hashes;
}

Future<std::vector<std::string>> MediaRepositoryHelper::getMediaHash(
    const std::string& directory, const MediaItem& item,
    const std::shared_ptr<CancelToken>& cancelToken, const std::vector<Version>& versions) {
  using Hashes = std::vector<std::string>;
  if (isCancelled(cancelToken)) return Future<Hashes>::cancelled();
  const std::string file = PathUtils::combinePath({directory, firstPath(item)});
  if (!isValidUtf8(file)) {
    return Future<Hashes>::fail(
        makeError(BackupSDKError::mediaNoImageData, "no file URL for " + escapedForLog(file)));
  }
  Hashes hashes;
  for (const Version& version : versions) {
    if (isCancelled(cancelToken)) return Future<Hashes>::cancelled();
    Result<std::string> hash = hashUtils_->getFileHash(file, version);
    if (hash.ok()) hashes.push_back(std::move(hash).value());
  }
  return Future<Hashes>::success(std::move(hashes));
}

Future<Void> MediaRepositoryHelper::appendLocalMediaCopy(const std::shared_ptr<Zip>& zip,
                                                         const MediaItem& item,
                                                         const std::string& mediaDirectory,
                                                         const std::string& folderName) {
  if (!item.fingerprint) {
    return Future<Void>::fail(
        makeError(BackupSDKError::mediaNoVideoData, "no fingerprint for " + item.id));
  }
  for (const std::string& path : item.paths()) {
    const std::string file = PathUtils::combinePath({mediaDirectory, path});
    // A path that became a link since the scan must not carry a file from elsewhere into a backup.
    const Result<FileAttributes> attributes = fileManager_->attributesOfItem(file);
    if (!attributes.ok() || attributes.value().type != FileAttributes::Type::regular) continue;
    if (!fileManager_->isReadableFile(file)) continue;
    Result<void> appended = zipService_->append(
        zip, file, PathUtils::combinePath({folderName, item.getRemoteFileName()}), false);
    if (!appended.ok()) return Future<Void>::fail(appended.error());
    return Future<Void>::success(Void{});
  }
  return Future<Void>::fail(
      makeError(BackupSDKError::mediaNoVideoData, "no readable file for " + item.id));
}

Future<std::vector<std::string>> MediaRepositoryHelper::copyMediaToDestinationByPath(
    const MediaItem& mediaItem, const std::string& localPath, const std::string& deviceName,
    const std::string& mediaDirectory, BackupSDKError error) {
  using Paths = std::vector<std::string>;
  if (!restoreMediaItemHelper_) {
    return Future<Paths>::fail(makeError(error, "no restore helper to place " + mediaItem.id));
  }
  Paths failed = restoreMediaItemHelper_->restoreMediaItems(mediaItem, deviceName, mediaDirectory,
                                                            localPath, true);
  if (failed.empty() || failed.size() < mediaItem.paths().size()) {
    return Future<Paths>::success(std::move(failed));
  }
  // Not one path took the file: keep the content anyway, under a name that cannot be the user's.
  const Result<void> kept =
      restoreMediaItemHelper_->handleFailedRestore(mediaItem, mediaDirectory, localPath);
  if (!kept.ok()) {
    return Future<Paths>::fail(makeError(error, "restoring " + mediaItem.id + " at " +
                                                    std::to_string(failed.size()) +
                                                    " paths failed: " + kept.error().message));
  }
  return Future<Paths>::success(std::move(failed));
}

Future<std::vector<std::string>> MediaRepositoryHelper::copyLocalMediaToMissingPaths(
    const MediaItem& mediaItem, const std::string& deviceName, const std::string& mediaDirectory,
    BackupSDKError error) {
  using Paths = std::vector<std::string>;
  if (!restoreMediaItemHelper_) {
    return Future<Paths>::fail(makeError(error, "no restore helper to place " + mediaItem.id));
  }
  const std::optional<std::string> source = findLocalCopy(mediaItem, mediaDirectory);
  if (!source) {
    return Future<Paths>::fail(makeError(error, "no local file holds " + mediaItem.id));
  }
  return Future<Paths>::success(restoreMediaItemHelper_->restoreMediaItems(
      mediaItem, deviceName, mediaDirectory, *source, false));
}

std::optional<std::string> MediaRepositoryHelper::findLocalCopy(const MediaItem& item,
                                                                const std::string& mediaDirectory) {
  const std::string imageDirectory = locationProvider_->localImageDirectory();
  auto underItsFolder = [&](const std::string& path) {
    return PathUtils::combinePath(
        {path.find(".photoslibrary") != std::string::npos ? imageDirectory : mediaDirectory, path});
  };
  for (const std::string& path : item.paths()) {
    std::string file = underItsFolder(path);
    if (restoreMediaItemHelper_->holdsContentOf(item, file)) return file;
  }
  if (!cachingService_ || !item.fingerprint) return std::nullopt;
  // The snapshot copies every known path, so it is taken only when the item's own paths fail.
  const auto known = cachingService_->cachedPaths();
  const auto found = known.find(*item.fingerprint);
  if (found == known.end()) return std::nullopt;
  // A cached path is relative to the folder whose scan found it: a video
  // restored out of a photo library lies in the picture folder.
  for (const std::string& path : found->second) {
    for (const std::string& folder : {mediaDirectory, imageDirectory}) {
      std::string file = PathUtils::combinePath({folder, path});
      if (restoreMediaItemHelper_->holdsContentOf(item, file)) return file;
    }
  }
  return std::nullopt;
}

}  // namespace tessellon
