#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "tessellon/LoggerProtocol.h"
#include "tessellon/SkippedItem.h"

#include "futures/Future.h"
#include "platform/contacts/CNContactStoreHelper.h"
#include "platform/contacts/Contact.h"
#include "platform/contacts/ContactRepositoryProtocol.h"

namespace tessellon {

// Adds the backed-up cards the address book lacks, never a second copy of a card that is already
// there. A card whose kept text still says what its record says is written as that text;
// otherwise, with a warning, as its record. Runs on the caller's thread.
class RestoreContactsUnit final {
 public:
  static constexpr std::string_view kProtocolName = "RestoreContactsUnit";
  // `logger` may be null.
  RestoreContactsUnit(std::shared_ptr<ContactRepositoryProtocol> contactRepository,
                      std::shared_ptr<CNContactStoreHelper> contactStoreHelper,
                      std::shared_ptr<LoggerProtocol> logger = nullptr);

  // Fails with contactsAccessDenied (201), the store's fetch error (203, 204)
  // or contactsSaveContactFailed (202); nothing is written unless all cards
  // are.
  Future<Void> persist(const std::vector<std::shared_ptr<Contact>>& contacts);
  // The address book's card files the last persist() could not read: a card of the backup may
  // be among them, and is then there twice.
  std::vector<SkippedItem> skippedItems() const { return contactRepository_->skippedItems(); }

 private:
  // The card to write for `contact`, whose record as the store keeps it is `stored`: its kept
  // text when that reads and agrees with the record, else nothing.
  std::optional<VCard> keptCard(const Contact& contact, const Contact& stored) const;

  const std::shared_ptr<ContactRepositoryProtocol> contactRepository_;
  const std::shared_ptr<CNContactStoreHelper> contactStoreHelper_;
  const std::shared_ptr<LoggerProtocol> logger_;  // may be null
};

}  // namespace tessellon
