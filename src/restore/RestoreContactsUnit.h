#pragma once

#include <memory>

#include "tessellon/LoggerProtocol.h"

#include "platform/contacts/CNContactStoreHelperProtocol.h"
#include "platform/contacts/ContactRepositoryProtocol.h"
#include "restore/RestoreContactsUnitProtocol.h"

namespace tessellon {

// Adds the backed-up cards the address book lacks. A card whose kept text still says what its
// record says is written as that text; otherwise, with a warning, as its record. Runs on the
// caller's thread.
class RestoreContactsUnit final : public RestoreContactsUnitProtocol {
 public:
  // `logger` may be null.
  RestoreContactsUnit(std::shared_ptr<ContactRepositoryProtocol> contactRepository,
                      std::shared_ptr<CNContactStoreHelperProtocol> contactStoreHelper,
                      std::shared_ptr<LoggerProtocol> logger = nullptr);

  Future<Void> persist(const std::vector<std::shared_ptr<Contact>>& contacts) override;

 private:
  // The card to write for `contact`, whose record as the store keeps it is `stored`: its kept
  // text when that reads and agrees with the record, else nothing.
  std::optional<VCard> keptCard(const Contact& contact, const Contact& stored) const;

  const std::shared_ptr<ContactRepositoryProtocol> contactRepository_;
  const std::shared_ptr<CNContactStoreHelperProtocol> contactStoreHelper_;
  const std::shared_ptr<LoggerProtocol> logger_;  // may be null
};

}  // namespace tessellon
