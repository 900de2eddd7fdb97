#pragma once

#include "platform/zip/ZipServiceProtocol.h"

namespace tessellon {

// The archive service over libarchive. Holds no state; every archive carries
// its own, so different archives may be written on different threads.
class ZipService final : public ZipServiceProtocol {
 public:
  ZipService() = default;

  std::shared_ptr<Zip> generateZip(const std::string& path) override;
  Result<void> append(const std::shared_ptr<Zip>& zip, const std::string& srcPath,
                      const std::string& dstPath, bool close) override;
  Result<std::string> appendMedia(const std::shared_ptr<Zip>& zip, const std::string& srcPath,
                                  const std::string& dstPath, int64_t expectedBytes,
                                  std::optional<Date> expectedModified) override;
  Result<void> appendContent(const std::shared_ptr<Zip>& zip, std::string_view content,
                             const std::string& dstPath, bool close) override;
  void discard(const std::shared_ptr<Zip>& zip) override;

 private:
  // Checks the archive, adds the entry with `add` and finishes the archive when asked.
  template <class Add>
  static Result<void> appendWith(const std::shared_ptr<Zip>& zip, const std::string& dstPath,
                                 bool close, Add add);
};

}  // namespace tessellon
