#pragma once

#include <memory>
#include <type_traits>

#include "platform/files/FileIOServiceProtocol.h"
#include "platform/zip/ZipServiceProtocol.h"

namespace tessellon {

// The archive service the pipeline sees: the wrapped service plus a look at the
// local disk after every append, so that a full disk stops the run with its own
// code. Thread-safe as far as its collaborators are.
class ZipServiceDecorator final : public ZipServiceProtocol {
 public:
  // Either collaborator may be null: without a file service the disk is not
  // checked; without a wrapped service no archive can be made.
  ZipServiceDecorator(std::shared_ptr<FileIOServiceProtocol> fileManager,
                      std::shared_ptr<ZipServiceProtocol> zipService);

  // The wrapped service's archive; null without one.
  std::shared_ptr<Zip> generateZip(const std::string& path) override;
  // The wrapped service's failure unchanged; after a successful append, 602
  // when the volume of the temporary folder has no byte left, in which case the
  // archive is discarded: the run stops and the space is given back. An unknown
  // free space is no failure.
  Result<void> append(const std::shared_ptr<Zip>& zip, const std::string& srcPath,
                      const std::string& dstPath, bool close) override;
  // The same for a media file, answering the wrapped service's checksum.
  Result<std::string> appendMedia(const std::shared_ptr<Zip>& zip, const std::string& srcPath,
                                  const std::string& dstPath, int64_t expectedBytes,
                                  std::optional<Date> expectedModified) override;
  // The same for content the caller holds.
  Result<void> appendContent(const std::shared_ptr<Zip>& zip, std::string_view content,
                             const std::string& dstPath, bool close) override;
  void discard(const std::shared_ptr<Zip>& zip) override;

 private:
  // Appends with `add`, then discards the archive when the disk has filled up.
  template <class Add>
  std::invoke_result_t<Add, ZipServiceProtocol&> appendWith(const std::shared_ptr<Zip>& zip,
                                                            const std::string& dstPath, Add add);

  const std::shared_ptr<FileIOServiceProtocol> fileManager_;  // may be null
  const std::shared_ptr<ZipServiceProtocol> zipService_;      // may be null
};

}  // namespace tessellon
