#include "backup/PreviewProgress.h"

namespace tessellon {

PreviewProgress::PreviewProgress(std::optional<int> total) : total_(total) {}

int PreviewProgress::getProgress() {
  // Nothing to hash counts as done; an absent total too, as there is nothing to divide by.
  if (!total_ || *total_ == 0) return 100;
  ++calls_;
  return calls_ * 100 / *total_;
}

}  // namespace tessellon
