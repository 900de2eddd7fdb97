#include "media/placement/RestoreMediaItemHelper.h"

#include <algorithm>
#include <utility>

#include "tessellon/BackupSDKError.h"

#include "core/Log.h"
#include "core/PathUtils.h"
#include "media/caches/CacheIdentity.h"
#include "media/fingerprints/HashUtils.h"

namespace tessellon {
namespace {

constexpr std::string_view kPhotoLibraryMarker = ".photoslibrary";
// What a new file of the user gets: read and write for everyone, less the creation mask.
constexpr uint32_t kOrdinaryPermissions = 0666;

bool isInPhotoLibrary(const std::string& path) {
  return path.find(kPhotoLibraryMarker) != std::string::npos;
}

// A recorded path comes from a document on the remote side; ".." would let it write anywhere.
bool leavesItsFolder(std::string_view path) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    if (path.substr(start, end - start) == "..") return true;
    start = end + 1;
  }
  return false;
}

bool contains(const std::vector<std::string>& list, const std::string& value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

}  // namespace

RestoreMediaItemHelper::RestoreMediaItemHelper(
    std::shared_ptr<CachingService> cachingService,
    std::shared_ptr<FileIOServiceProtocol> fileManager, std::shared_ptr<LoggerProtocol> logger,
    std::shared_ptr<LocationProviderProtocol> locationProvider,
    std::shared_ptr<SolveNameConflictOnRestoreStrategy> solveNameConflictStrategy)
    : cachingService_(std::move(cachingService)),
      fileManager_(std::move(fileManager)),
      logger_(std::move(logger)),
      locationProvider_(std::move(locationProvider)),
      solveNameConflictStrategy_(std::move(solveNameConflictStrategy)) {}

std::vector<std::string> RestoreMediaItemHelper::restoreMediaItems(
    const MediaItem& item, const std::string& deviceName, const std::string& mediaDirectory,
    const std::string& source, bool consumeSource) {
  struct Pending {
    const std::string* recordedPath;
    std::string target;
  };
  std::vector<std::string> failed;
  std::vector<Pending> pending;
  for (const std::string& path : item.paths()) {
    std::optional<std::string> target = directTarget(path, deviceName, mediaDirectory);
    if (!target) {
      failed.push_back(path);
      continue;
    }
    // A library file that is still in its library needs no copy beside it.
    if (isInPhotoLibrary(path) &&
        holdsContentOf(item,
                       PathUtils::combinePath({locationProvider_->localImageDirectory(), path}))) {
      continue;
    }
    pending.push_back({&path, std::move(*target)});
  }
  for (size_t index = 0; index < pending.size(); ++index) {
    const Pending& next = pending[index];
    // Checked only now: an earlier path of this item may have written the same target.
    if (alreadyRestored(item, *next.recordedPath, next.target)) continue;
    const std::string target =
        solveNameConflictStrategy_->transformToNonConflictingPath(next.target);
    if (holdsContentUnderNumberedName(item, next.target, target)) continue;
    const bool last = index + 1 == pending.size();
    if (!restoreCommon(target, source, item, consumeSource && last).ok()) {
      failed.push_back(*next.recordedPath);
    }
  }
  return failed;
}

Result<void> RestoreMediaItemHelper::restoreCommon(const std::string& target,
                                                   const std::string& source, const MediaItem& item,
                                                   bool moveSource) {
  if (const std::optional<std::string> parent = PathUtils::getParentDirectory(target);
      parent && !parent->empty()) {
    Result<void> created = fileManager_->createDirectory(*parent, true);
    if (!created.ok()) return created;
  }
  // The download takes the item's date and the user's permissions first (it sits in our private
  // folder): the copy or move keeps them, so the file never shows under its name without them.
  FileAttributeChanges date;
  date.modificationDate = item.modificationDate;
  const bool dated = fileManager_->setAttributes(date, source).ok();
  logWith(logger_, LogLevel::info, [dated] {
    return dated ? "Successfuly changed file modification date"
                 : "Could not change file modification date";
  });
  FileAttributeChanges permissions;
  permissions.posixPermissions = kOrdinaryPermissions;
  (void)fileManager_->setAttributes(permissions, source);

  Result<void> placed =
      moveSource ? fileManager_->moveItem(source, target) : fileManager_->copyItem(source, target);
  if (!placed.ok()) return placed;

  if (cachingService_ && item.fingerprint) {
    cachingService_->addHashes(cacheTextOf(target), {*item.fingerprint});
    // With the item's date the file has the item's identity, so the next scan need not read it.
    if (dated) cachingService_->addHashes(cacheIdentity(item), {*item.fingerprint});
  }
  return {};
}

Result<void> RestoreMediaItemHelper::handleFailedRestore(const MediaItem& item,
                                                         const std::string& baseFolder,
                                                         const std::string& source) {
  if (item.paths().empty() || !item.fingerprint || leavesItsFolder(item.paths().front())) {
    return makeError(BackupSDKError::fileIOFailedToMoveFile, "no path to place " + item.id + " at");
  }
  const std::string& first = item.paths().front();
  const std::string relative =
      isInPhotoLibrary(first) ? PathUtils::getFileName(first).value_or(item.id) : first;
  const std::string target = PathUtils::combinePath(
      {baseFolder, insertFingerPrintIntoFileName(relative, *item.fingerprint)});
  if (holdsContentOf(item, target)) return {};
  return restoreCommon(target, source, item, false);
}

std::string RestoreMediaItemHelper::insertFingerPrintIntoFileName(
    const std::string& path, const std::string& fingerprint) const {
  const std::optional<std::string> name = PathUtils::getFileName(path);
  if (!name) return path;
  const std::optional<std::string> parent = PathUtils::getParentDirectory(path);
  std::string base = PathUtils::withoutExtension(*name);
  std::string extension = PathUtils::getFileExtension(*name);
  if (base.empty()) {  // a hidden name: its dot starts no extension
    base = *name;
    extension.clear();
  }
  std::string result = parent ? *parent + "/" : std::string();
  result += base + "_" + fingerprint;
  if (!extension.empty()) result += "." + extension;
  return result;
}

bool RestoreMediaItemHelper::holdsContentOf(const MediaItem& item, const std::string& file) {
  if (!cachingService_ || !item.fingerprint) return false;
  const Result<FileAttributes> attributes = fileManager_->attributesOfItem(file);
  if (!attributes.ok() || attributes.value().type != FileAttributes::Type::regular ||
      attributes.value().size != item.bytes) {
    return false;
  }
  const MediaItem found("", attributes.value().size, file, attributes.value().modificationDate,
                        std::nullopt, {});
  if (!contains(cachingService_->getHashes(cacheIdentity(found)), *item.fingerprint)) return false;
  // Most of a large file is not sampled: another file may share its fingerprint.
  if (!item.checksum || !HashUtils::samplesPart(item.bytes, *item.fingerprint)) return true;
  const Result<std::string> checksum = fileManager_->contentChecksum(file);
  return checksum.ok() && checksum.value() == *item.checksum;
}

std::optional<std::string> RestoreMediaItemHelper::directTarget(
    const std::string& recordedPath, const std::string& deviceName,
    const std::string& mediaDirectory) const {
  if (leavesItsFolder(recordedPath)) return std::nullopt;
  const std::optional<std::string> name = PathUtils::getFileName(recordedPath);
  if (!name || *name == ".") return std::nullopt;
  if (isInPhotoLibrary(recordedPath)) {
    // The library's own database would not know the file; it goes to a folder of its own.
    return PathUtils::combinePath({locationProvider_->localImageDirectory(),
                                   "Restore_" + deviceName, "PhotosLibrary", *name});
  }
  return PathUtils::combinePath({mediaDirectory, recordedPath});
}

bool RestoreMediaItemHelper::alreadyRestored(const MediaItem& item, const std::string& recordedPath,
                                             const std::string& target) {
  if (!cachingService_ || !item.fingerprint) return false;
  const std::string text = isInPhotoLibrary(recordedPath) ? cacheTextOf(target) : recordedPath;
  // The path's list only grows, so a file replaced since must also show the content by its
  // size and date.
  return contains(cachingService_->getHashes(text), *item.fingerprint) &&
         holdsContentOf(item, target);
}

bool RestoreMediaItemHelper::holdsContentUnderNumberedName(const MediaItem& item,
                                                           const std::string& target,
                                                           const std::string& freeName) {
  // An earlier restore that met the user's file wrote "<name> 1" and so on; it must not be
  // written once more beside them.
  if (freeName == target) return false;
  for (unsigned number = 1;; ++number) {
    const std::string candidate = solveNameConflictStrategy_->numberedPath(target, number);
    if (candidate == freeName || candidate == target) return false;
    if (holdsContentOf(item, candidate)) return true;
  }
}

std::string RestoreMediaItemHelper::cacheTextOf(const std::string& target) const {
  for (const std::string& folder :
       {locationProvider_->localImageDirectory(), locationProvider_->localVideoDirectory()}) {
    if (std::optional<std::string> below = PathUtils::getSubPath(target, folder)) {
      return below->starts_with('/') ? below->substr(1) : *below;
    }
  }
  return target;
}

}  // namespace tessellon
