#pragma once

#include <memory>
#include <string_view>

#include "core/NotificationService.h"

namespace tessellon {

// Carries out the host's cancel request: cancels the facade's running operation and listing. A
// request while nothing runs reports cancellationFinished at once and changes nothing.
class CancelationService final {
 public:
  static constexpr std::string_view kProtocolName = "CancelationService";
  explicit CancelationService(std::shared_ptr<NotificationService> notificationService);

  // Cancels the tokens of the running operation and listing (running their
  // handlers on this thread), then, once every token is cancelled, reports
  // cancellationFinished on the background queue.
  void cancel();

 private:
  const std::shared_ptr<NotificationService> notificationService_;
};

}  // namespace tessellon
