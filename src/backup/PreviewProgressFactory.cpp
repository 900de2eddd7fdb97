#include "backup/PreviewProgressFactory.h"

#include "backup/PreviewProgress.h"

namespace tessellon {

std::shared_ptr<PreviewProgress> PreviewProgressFactory::getPreviewProgress(int total) {
  return std::make_shared<PreviewProgress>(total);
}

}  // namespace tessellon
