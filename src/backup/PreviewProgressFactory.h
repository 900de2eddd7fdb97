#pragma once

#include <memory>

#include "backup/PreviewProgressFactoryProtocol.h"

namespace tessellon {

class PreviewProgressFactory final : public PreviewProgressFactoryProtocol {
 public:
  PreviewProgressFactory() = default;
  PreviewProgressFactory(const PreviewProgressFactory&) = delete;
  PreviewProgressFactory& operator=(const PreviewProgressFactory&) = delete;

  std::shared_ptr<PreviewProgressProtocol> getPreviewProgress(int total) override;
};

}  // namespace tessellon
