#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "tessellon/BackupSDKDelegate.h"
#include "tessellon/LoggerProtocol.h"

#include "futures/Result.h"
#include "platform/locations/PlatformRoots.h"

namespace tessellon {

// Fills the container: the host's logger as a ready object, every service as a
// lazy registration that resolves its own dependencies, then the platform
// implementations (AdditionalSetup) and, last, the overrides a test installed.
class IoCSetup {
 public:
  // `remoteRequestTimeout` overrides the remote port's time limit per request.
  static Result<void> setupIoC(
      std::shared_ptr<BackupSDKDelegate> delegate, const std::shared_ptr<LoggerProtocol>& logger,
      const PlatformRoots& roots,
      std::optional<std::chrono::milliseconds> remoteRequestTimeout = std::nullopt);

  // Runs at the end of every setupIoC until replaced; tests register fakes
  // through it with the container's own calls. Pass nullptr to remove.
  static void setOverrides(std::function<void()> overrides);
};

}  // namespace tessellon
