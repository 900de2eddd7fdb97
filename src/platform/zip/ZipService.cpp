#include "platform/zip/ZipService.h"

#include "tessellon/BackupSDKError.h"

#include "platform/files/ContentChecksum.h"
#include "platform/files/PosixError.h"
#include "platform/zip/Zip.h"

namespace tessellon {

namespace {

// The one mapping of archive failures: a full disk stops the whole run, any
// other failure only the entry.
Error appendError(const std::string& dstPath, const Error& cause) {
  const auto code = isDiskFullError(cause) ? BackupSDKError::zipFailedNotEnoughDiskSpace
                                           : BackupSDKError::zipAppendFailed;
  return makeError(code, "adding " + dstPath + ": " + cause.message);
}

}  // namespace

std::shared_ptr<Zip> ZipService::generateZip(const std::string& path) { return Zip::create(path); }

template <class Add>
Result<void> ZipService::appendWith(const std::shared_ptr<Zip>& zip, const std::string& dstPath,
                                    bool close, Add add) {
  if (!zip) return makeError(BackupSDKError::zipAppendFailed, "adding " + dstPath + ": no archive");
  if (auto added = add(*zip); !added.ok()) return appendError(dstPath, added.error());
  if (close) {
    if (auto finished = zip->finish(); !finished.ok()) {
      return appendError(dstPath, finished.error());
    }
  }
  return {};
}

Result<void> ZipService::append(const std::shared_ptr<Zip>& zip, const std::string& srcPath,
                                const std::string& dstPath, bool close) {
  return appendWith(zip, dstPath, close,
                    [&](Zip& archive) { return archive.addFile(srcPath, dstPath); });
}

Result<std::string> ZipService::appendMedia(const std::shared_ptr<Zip>& zip,
                                            const std::string& srcPath, const std::string& dstPath,
                                            int64_t expectedBytes,
                                            std::optional<Date> expectedModified) {
  ContentChecksum checksum;
  const Result<void> added = appendWith(zip, dstPath, false, [&](Zip& archive) {
    return archive.addFile(srcPath, dstPath, expectedBytes, &checksum, expectedModified);
  });
  if (!added.ok()) return added.error();
  return checksum.finish();
}

Result<void> ZipService::appendContent(const std::shared_ptr<Zip>& zip, std::string_view content,
                                       const std::string& dstPath, bool close) {
  return appendWith(zip, dstPath, close,
                    [&](Zip& archive) { return archive.addContent(content, dstPath); });
}

void ZipService::discard(const std::shared_ptr<Zip>& zip) {
  if (zip) zip->discard(Error{"Zip", 0, "discarded by its owner"});
}

}  // namespace tessellon
