#pragma once

#include <memory>

#include "sdk/CancelationServiceProtocol.h"
#include "sdk/NotificationServiceProtocol.h"

namespace tessellon {

// Cancels the facade's running operation and listing. A request while nothing
// runs reports cancellationFinished at once and changes nothing.
class CancelationService final : public CancelationServiceProtocol {
 public:
  explicit CancelationService(std::shared_ptr<NotificationServiceProtocol> notificationService);

  void cancel() override;

 private:
  const std::shared_ptr<NotificationServiceProtocol> notificationService_;
};

}  // namespace tessellon
