#pragma once

#include <optional>

#include "backup/PreviewProgressProtocol.h"

namespace tessellon {

// Counts the fingerprint computations of one preview against their total.
class PreviewProgress final : public PreviewProgressProtocol {
 public:
  explicit PreviewProgress(std::optional<int> total);
  PreviewProgress(const PreviewProgress&) = delete;
  PreviewProgress& operator=(const PreviewProgress&) = delete;

  int getProgress() override;

 private:
  const std::optional<int> total_;
  int calls_ = 0;
};

}  // namespace tessellon
