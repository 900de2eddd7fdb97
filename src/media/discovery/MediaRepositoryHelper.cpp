#include "media/discovery/MediaRepositoryHelper.h"

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "tessellon/BackupSDKError.h"

#include "core/Log.h"
#include "core/PathUtils.h"
#include "media/caches/CacheIdentity.h"
#include "media/discovery/Utf8.h"
#include "media/fingerprints/HashUtils.h"
#include "model/FingerprintUtils.h"
#include "platform/files/PosixError.h"
#include "platform/text/Utf8.h"

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

// PATH_MAX less the terminating NUL: a longer path cannot be opened by name, so its file could
// be listed but never read into a backup.
constexpr size_t kLongestPath = 4095;

constexpr const char* kNotUtf8 = "not UTF-8";

// The one mapping from what went wrong with an entry to the reason a report gives.
std::string skipReason(int errnoValue, bool folder) {
  switch (errnoValue) {
    case ENOENT:
    case ENOTDIR:
      return "vanished";
    case ENAMETOOLONG:
      return "path too long";
    default:
      return folder ? "unreadable folder" : "unreadable file";
  }
}

// The errno of a file service failure; 0 for an error of another domain.
int errnoOf(const Error& error) { return error.domain == kPosixErrorDomain ? error.code : 0; }

bool isFolder(const FileAttributes& attributes) {
  return attributes.type == FileAttributes::Type::directory;
}

bool isFolder(const std::optional<FileAttributes>& attributes) {
  return attributes && isFolder(*attributes);
}

}  // namespace

MediaRepositoryHelper::MediaRepositoryHelper(
    std::shared_ptr<CachingService> cachingService, std::shared_ptr<ZipServiceProtocol> zipService,
    std::shared_ptr<FileIOServiceProtocol> fileManager,
    std::shared_ptr<RestoreMediaItemHelper> restoreMediaItemHelper,
    std::shared_ptr<LocationProviderProtocol> locationProvider,
    std::shared_ptr<PathValidator> pathValidator,
    std::shared_ptr<FileExtensionFilter> fileExtensionFilter,
    std::shared_ptr<DuplicateCollection> duplicateCollection,
    std::shared_ptr<HashingUtilAdapter> hashUtils, std::shared_ptr<LoggerProtocol> logger)
    : cachingService_(std::move(cachingService)),
      zipService_(std::move(zipService)),
      fileManager_(std::move(fileManager)),
      restoreMediaItemHelper_(std::move(restoreMediaItemHelper)),
      locationProvider_(std::move(locationProvider)),
      pathValidator_(std::move(pathValidator)),
      fileExtensionFilter_(std::move(fileExtensionFilter)),
      duplicateCollection_(std::move(duplicateCollection)),
      hashUtils_(std::move(hashUtils)),
      logger_(std::move(logger)) {}

void MediaRepositoryHelper::skip(ScanSkips& skipped, std::string path, std::string reason) {
  logWith(logger_, LogLevel::warning,
          [&] { return "skipping " + escapedForLog(path) + ": " + reason; });
  skipped.add(std::move(path), std::move(reason));
}

std::optional<PathData> MediaRepositoryHelper::admit(const std::string& directory,
                                                     ListedItem&& entry, const Keep& keep,
                                                     ScanSkips& skipped) {
  PathData path{under(directory, entry.relative), std::move(entry.relative), entry.attributes};
  if (!keep(path)) return std::nullopt;
  if (entry.listingError != 0) {
    skip(skipped, std::move(path.fullPath), skipReason(entry.listingError, true));
    return std::nullopt;
  }
  if (!isValidUtf8(path.fullPath)) {
    // Reported at the first bad name only: a folder's entry stands for everything below it.
    const std::string_view parent =
        std::string_view(path.fullPath).substr(0, path.fullPath.rfind('/') + 1);
    if (isValidUtf8(parent)) skip(skipped, std::move(path.fullPath), kNotUtf8);
    return std::nullopt;
  }
  if (isFolder(path.attributes) || !pathValidator_->isValid(path.fullPath, false)) {
    return std::nullopt;
  }
  if (path.fullPath.size() > kLongestPath) {
    skip(skipped, std::move(path.fullPath), skipReason(ENAMETOOLONG, false));
    return std::nullopt;
  }
  if (!path.attributes) {
    // The listing could not look at it: it went, or it cannot be looked at by this user.
    Result<FileAttributes> attributes = fileManager_->attributesOfItem(path.fullPath);
    if (!attributes.ok()) {
      skip(skipped, std::move(path.fullPath), skipReason(errnoOf(attributes.error()), false));
      return std::nullopt;
    }
    if (isFolder(attributes.value())) return std::nullopt;
    path.attributes = std::move(attributes).value();
  }
  return path;
}

Result<FileAttributes> MediaRepositoryHelper::attributesOf(const PathData& path) {
  if (path.attributes) return *path.attributes;
  return fileManager_->attributesOfItem(path.fullPath);
}

void MediaRepositoryHelper::forEachValidPath(const std::string& directory,
                                             const std::string& folder, const Keep& keep,
                                             ScanSkips& skipped,
                                             const std::function<bool(PathData&&)>& visit) {
  const std::string root = folder.empty() ? directory : under(directory, folder);
  if (!isValidUtf8(root)) {
    skip(skipped, root, kNotUtf8);
    return;
  }
  // The listing reads each entry's type and attributes relative to its open folder: one look
  // at each file for the whole scan.
  const Result<void> listed =
      fileManager_->visitSubpathsWithAttributes(root, [&](ListedItem&& entry) {
        if (!folder.empty()) entry.relative = folder + "/" + entry.relative;
        std::optional<PathData> path = admit(directory, std::move(entry), keep, skipped);
        return !path || visit(std::move(*path));
      });
  // A folder that is not there holds nothing to back up; one that is there is reported.
  const int error = listed.ok() ? 0 : errnoOf(listed.error());
  if (!listed.ok() && error != ENOENT) skip(skipped, root, skipReason(error, true));
}

std::vector<PathData> MediaRepositoryHelper::getValidPathsFor(const std::string& directory,
                                                              const Keep& keep,
                                                              ScanSkips& skipped) {
  std::vector<PathData> paths;
  forEachValidPath(directory, "", keep, skipped, [&paths](PathData&& path) {
    paths.push_back(std::move(path));
    return true;
  });
  return paths;
}

std::vector<PathData> MediaRepositoryHelper::getValidPhotoLibraryPaths(const std::string& directory,
                                                                       const Keep& keep,
                                                                       ScanSkips& skipped) {
  std::vector<PathData> paths;
  // Thumbnails are most of a library and no one's originals: left out before anything else.
  const Keep keepOriginals = [&](const PathData& path) {
    return !fileExtensionFilter_->isThumbnail(path) && keep(path);
  };
  for (const std::string& library : locationProvider_->getPhotoLibraries(directory)) {
    forEachValidPath(directory, library, keepOriginals, skipped, [&paths](PathData&& path) {
      paths.push_back(std::move(path));
      return true;
    });
  }
  return paths;
}

namespace {

std::string extensionOf(const std::string& path) {
  const std::optional<std::string> name = PathUtils::getFileName(path);
  return name ? PathUtils::getFileExtension(*name) : std::string();
}

}  // namespace

std::shared_ptr<MediaItem> MediaRepositoryHelper::createMediaItem(
    const std::string& path, const FileAttributes& attributes) {
  // The file system always reports a modification date, so the creation date is never needed.
  return std::make_shared<MediaItem>(extensionOf(path), attributes.size, path,
                                     attributes.modificationDate, std::nullopt,
                                     std::vector<std::string>{path});
}

Result<std::shared_ptr<MediaItem>> MediaRepositoryHelper::previewItem(
    const PathData& path, const RecordedItems* recorded) {
  const Result<FileAttributes> attributes = attributesOf(path);
  if (!attributes.ok()) return attributes.error();
  // Links are never followed, and pipes or devices are no media.
  if (attributes.value().type != FileAttributes::Type::regular) {
    return std::shared_ptr<MediaItem>();
  }
  std::shared_ptr<MediaItem> item = recorded
                                        ? recorded->unchanged(path.subPath, attributes.value().size,
                                                              attributes.value().modificationDate)
                                        : nullptr;
  // The extension is derived once: here for a match, in createMediaItem otherwise.
  if (item && item->fileExtension != extensionOf(path.subPath)) item = nullptr;
  if (!item) item = createMediaItem(path.subPath, attributes.value());
  if (duplicateCollection_) duplicateCollection_->addItem(item);
  return item;
}

Result<std::vector<std::shared_ptr<MediaItem>>>
MediaRepositoryHelper::generateMediaItemsWithoutFingerprint(
    std::vector<PathData> paths, const std::shared_ptr<CancelToken>& cancelToken,
    const RecordedItems* recorded) {
  std::vector<std::shared_ptr<MediaItem>> items;
  items.reserve(paths.size());
  for (PathData& path : paths) {
    if (isCancelled(cancelToken)) break;
    Result<std::shared_ptr<MediaItem>> item = previewItem(path, recorded);
    if (!item.ok()) return item.error();
    if (item.value()) items.push_back(std::move(item).value());
    // Free each path once used, so a large scan does not hold the paths and the items at once.
    path = PathData{};
  }
  return items;
}

Result<std::vector<std::shared_ptr<MediaItem>>>
MediaRepositoryHelper::generateMediaItemsOfDirectory(
    const std::string& directory, const Keep& keep, const std::shared_ptr<CancelToken>& cancelToken,
    ScanSkips& skipped, const RecordedItems* recorded) {
  std::vector<std::shared_ptr<MediaItem>> items;
  std::optional<Error> failure;
  forEachValidPath(directory, "", keep, skipped, [&](PathData&& path) {
    if (isCancelled(cancelToken)) return false;
    Result<std::shared_ptr<MediaItem>> item = previewItem(path, recorded);
    if (!item.ok()) {
      failure = item.error();
      return false;
    }
    if (item.value()) items.push_back(std::move(item).value());
    return true;
  });
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
  const std::string file = PathUtils::combinePath({directory, item.firstPath()});
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

Future<std::string> MediaRepositoryHelper::getMediaChecksum(
    const std::string& directory, const MediaItem& item,
    const std::shared_ptr<CancelToken>& cancelToken) {
  if (isCancelled(cancelToken)) return Future<std::string>::cancelled();
  Result<std::string> checksum =
      fileManager_->contentChecksum(PathUtils::combinePath({directory, item.firstPath()}));
  if (!checksum.ok()) return Future<std::string>::fail(checksum.error());
  return Future<std::string>::success(std::move(checksum).value());
}

Future<Void> MediaRepositoryHelper::appendLocalMediaCopy(const std::shared_ptr<Zip>& zip,
                                                         MediaItem& item,
                                                         const std::string& mediaDirectory,
                                                         const std::string& folderName,
                                                         std::optional<Date> modified) {
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
    Result<std::string> checksum = zipService_->appendMedia(
        zip, file, PathUtils::combinePath({folderName, item.getRemoteFileName()}), item.bytes,
        modified);
    if (!checksum.ok()) return Future<Void>::fail(checksum.error());
    item.checksum = std::move(checksum).value();
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
