#pragma once

#include <memory>
#include <string_view>

#include "backup/PreviewProgress.h"

namespace tessellon {

// Makes the progress counter of a preview.
class PreviewProgressFactory final {
 public:
  static constexpr std::string_view kProtocolName = "PreviewProgressFactory";
  PreviewProgressFactory() = default;
  PreviewProgressFactory(const PreviewProgressFactory&) = delete;
  PreviewProgressFactory& operator=(const PreviewProgressFactory&) = delete;

  // A fresh counter of `total` steps.
  std::shared_ptr<PreviewProgress> getPreviewProgress(int total);
};

}  // namespace tessellon
