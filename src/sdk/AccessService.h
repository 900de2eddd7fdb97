#pragma once

#include <memory>

#include "media/discovery/MediaRepositoryProtocol.h"
#include "platform/calendar/CalendarRepositoryProtocol.h"
#include "platform/contacts/ContactRepositoryProtocol.h"
#include "sdk/AccessServiceProtocol.h"

namespace tessellon {

// Contacts, then calendars, then media, each only when selected and only after
// the previous group was granted: the first refusal is the answer.
class AccessService final : public AccessServiceProtocol {
 public:
  AccessService(std::shared_ptr<ContactRepositoryProtocol> contactRepository,
                std::shared_ptr<CalendarRepositoryProtocol> calendarRepository,
                std::shared_ptr<MediaRepositoryProtocol> mediaRepository);

  Future<Void> checkAccess(const Settings& settings, AccessPurpose purpose,
                           std::shared_ptr<CancelToken> cancelToken) override;

 private:
  Future<Void> checkContactAccess(const std::shared_ptr<CancelToken>& cancelToken);

  std::shared_ptr<ContactRepositoryProtocol> contactRepository_;
  std::shared_ptr<CalendarRepositoryProtocol> calendarRepository_;
  std::shared_ptr<MediaRepositoryProtocol> mediaRepository_;
};

}  // namespace tessellon
