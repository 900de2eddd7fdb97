#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "futures/Result.h"
#include "platform/contacts/Contact.h"
#include "platform/contacts/VCard.h"

namespace tessellon {

// Converts between the contact store's vCard-backed cards and the backup's Contact records.
// Stateless; safe from any thread.
class CNContactStoreHelper final {
 public:
  static constexpr std::string_view kProtocolName = "CNContactStoreHelper";

  CNContactStoreHelper() = default;
  CNContactStoreHelper(const CNContactStoreHelper&) = delete;
  CNContactStoreHelper& operator=(const CNContactStoreHelper&) = delete;

  // Backup direction: empty texts become absent fields, a list without entries
  // stays absent, the contact type is always set, a numeric messenger service
  // reads as its name, and a birthday without a year becomes that day of year 1
  // (local midnight). The card's text travels as the contact's `vCard`.
  std::shared_ptr<Contact> mapContact(const VCard& card) const;

  // Restore direction: a new card (no UID yet) with absent texts as empty
  // ones; a birthday in year 0 or 1 loses its year; a numeric messenger name
  // becomes its service. Labels are kept as they are, an empty one included.
  VCard mapContact(const Contact& contact) const;

  // The card a contact's kept text gives, read as the store reads its files, with that text as
  // its source. Fails with contactsSaveContactFailed (202), saying why, when the text is larger
  // than the store keeps, holds a NUL, or is not exactly one readable card.
  Result<VCard> readSource(const std::string& source) const;

  // The text by which two kept cards are the same card: what a copy of the card or another
  // writer changes (PRODID, REV, UID) left out.
  std::string sourceKey(const std::string& source) const;

  // The service of a messenger name: decimal codes -1 to 9 of phone
  // applications map to service names, any other text is used as it is.
  static std::string getMappedInstantMessageServiceName(const std::string& messengerName);
  // Day, month and year of `birthday` in local time; no year for years 0 and 1.
  static VCard::Birthday createBirthdate(Date birthday);
};

}  // namespace tessellon
