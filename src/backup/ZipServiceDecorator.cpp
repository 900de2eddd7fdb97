#include "backup/ZipServiceDecorator.h"

#include <utility>

#include "tessellon/BackupSDKError.h"

namespace tessellon {

ZipServiceDecorator::ZipServiceDecorator(std::shared_ptr<FileIOServiceProtocol> fileManager,
                                         std::shared_ptr<ZipServiceProtocol> zipService)
    : fileManager_(std::move(fileManager)), zipService_(std::move(zipService)) {}

std::shared_ptr<Zip> ZipServiceDecorator::generateZip(const std::string& path) {
  return zipService_ ? zipService_->generateZip(path) : nullptr;
}

template <class Add>
std::invoke_result_t<Add, ZipServiceProtocol&> ZipServiceDecorator::appendWith(
    const std::shared_ptr<Zip>& zip, const std::string& dstPath, Add add) {
  if (!zipService_) {
    return makeError(BackupSDKError::zipAppendFailed, "adding " + dstPath + ": no archive service");
  }
  auto appended = add(*zipService_);
  if (!appended.ok()) return appended;
  const auto freeBytes =
      fileManager_ ? fileManager_->getTotalRemainingFreeSpaceInBytes() : std::nullopt;
  if (freeBytes && *freeBytes == 0) {
    zipService_->discard(zip);
    return makeError(BackupSDKError::zipFailedNotEnoughDiskSpace,
                     "adding " + dstPath + ": the local disk is full");
  }
  return appended;
}

Result<void> ZipServiceDecorator::append(const std::shared_ptr<Zip>& zip,
                                         const std::string& srcPath, const std::string& dstPath,
                                         bool close) {
  return appendWith(zip, dstPath, [&](ZipServiceProtocol& zips) {
    return zips.append(zip, srcPath, dstPath, close);
  });
}

Result<std::string> ZipServiceDecorator::appendMedia(const std::shared_ptr<Zip>& zip,
                                                     const std::string& srcPath,
                                                     const std::string& dstPath,
                                                     int64_t expectedBytes,
                                                     std::optional<Date> expectedModified) {
  return appendWith(zip, dstPath, [&](ZipServiceProtocol& zips) {
    return zips.appendMedia(zip, srcPath, dstPath, expectedBytes, expectedModified);
  });
}

Result<void> ZipServiceDecorator::appendContent(const std::shared_ptr<Zip>& zip,
                                                std::string_view content,
                                                const std::string& dstPath, bool close) {
  return appendWith(zip, dstPath, [&](ZipServiceProtocol& zips) {
    return zips.appendContent(zip, content, dstPath, close);
  });
}

void ZipServiceDecorator::discard(const std::shared_ptr<Zip>& zip) {
  if (zipService_) zipService_->discard(zip);
}

}  // namespace tessellon
