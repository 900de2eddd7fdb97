#include "platform/zip/ZipService.h"

#include "tessellon/BackupSDKError.h"

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

Result<void> ZipService::append(const std::shared_ptr<Zip>& zip, const std::string& srcPath,
                                const std::string& dstPath, bool close) {
  if (!zip) return makeError(BackupSDKError::zipAppendFailed, "adding " + dstPath + ": no archive");
  if (auto added = zip->addFile(srcPath, dstPath); !added.ok()) {
    return appendError(dstPath, added.error());
  }
  if (close) {
    if (auto finished = zip->finish(); !finished.ok()) {
      return appendError(dstPath, finished.error());
    }
  }
  return {};
}

void ZipService::discard(const std::shared_ptr<Zip>& zip) {
  if (zip) zip->discard(Error{"Zip", 0, "discarded by its owner"});
}

}  // namespace tessellon
