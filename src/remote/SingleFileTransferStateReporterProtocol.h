#pragma once

#include <cstdint>
#include <string_view>

#include "tessellon/BackupSDKDelegate.h"

namespace tessellon {

// Turns the completed fraction of the one file being transferred into an
// in-between progress record for the host, without touching the running
// record. May be called from any thread.
class SingleFileTransferStateReporterProtocol {
 public:
  static constexpr std::string_view kProtocolName = "SingleFileTransferStateReporterProtocol";
  SingleFileTransferStateReporterProtocol() = default;
  virtual ~SingleFileTransferStateReporterProtocol() = default;
  SingleFileTransferStateReporterProtocol(const SingleFileTransferStateReporterProtocol&) = delete;
  SingleFileTransferStateReporterProtocol& operator=(
      const SingleFileTransferStateReporterProtocol&) = delete;

  // The size in bytes of the file whose fractions are reported next.
  virtual void setFileSize(int64_t fileSize) = 0;
  virtual void reportFractionalProgressOnBackup(const TransferProgress& progress) = 0;
  virtual void reportFractionalProgressOnRestore(const TransferProgress& progress) = 0;

  // Restore downloads run several at once, each with its own size. Each reports under the key
  // beginTransferOnRestore gave it; the host then sees the running record plus what every
  // transfer under way has moved. After endTransferOnRestore the key's reports are ignored, so
  // a late report of the host cannot count a file twice.
  virtual uint64_t beginTransferOnRestore(int64_t fileSize) = 0;
  virtual void reportTransferProgressOnRestore(uint64_t transfer,
                                               const TransferProgress& progress) = 0;
  virtual void endTransferOnRestore(uint64_t transfer) = 0;
};

}  // namespace tessellon
