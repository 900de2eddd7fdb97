#pragma once

#include <memory>
#include <string_view>

#include "backup/PreviewProgressProtocol.h"

namespace tessellon {

// Makes the progress counter of a preview.
class PreviewProgressFactoryProtocol {
 public:
  static constexpr std::string_view kProtocolName = "PreviewProgressFactoryProtocol";
  PreviewProgressFactoryProtocol() = default;
  virtual ~PreviewProgressFactoryProtocol() = default;
  PreviewProgressFactoryProtocol(const PreviewProgressFactoryProtocol&) = delete;
  PreviewProgressFactoryProtocol& operator=(const PreviewProgressFactoryProtocol&) = delete;

  // A fresh counter of `total` steps.
  virtual std::shared_ptr<PreviewProgressProtocol> getPreviewProgress(int total) = 0;
};

}  // namespace tessellon
