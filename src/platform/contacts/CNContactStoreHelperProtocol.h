#pragma once

#include <memory>
#include <string_view>

#include "tessellon/Contact.h"

#include "futures/Result.h"
#include "platform/contacts/VCard.h"

namespace tessellon {

// Converts between the contact store's cards and the backup's Contact records.
// Stateless; safe from any thread.
class CNContactStoreHelperProtocol {
 public:
  static constexpr std::string_view kProtocolName = "CNContactStoreHelperProtocol";

  CNContactStoreHelperProtocol() = default;
  CNContactStoreHelperProtocol(const CNContactStoreHelperProtocol&) = delete;
  CNContactStoreHelperProtocol& operator=(const CNContactStoreHelperProtocol&) = delete;
  virtual ~CNContactStoreHelperProtocol() = default;

  // Backup direction: empty texts become absent fields, a list without entries
  // stays absent, the contact type is always set, a numeric messenger service
  // reads as its name, and a birthday without a year becomes that day of year 1
  // (local midnight). The card's text travels as the contact's `vCard`.
  virtual std::shared_ptr<Contact> mapContact(const VCard& card) const = 0;

  // Restore direction: a new card (no UID yet) with absent texts as empty
  // ones; a birthday in year 0 or 1 loses its year; a numeric messenger name
  // becomes its service. Labels are kept as they are, an empty one included.
  virtual VCard mapContact(const Contact& contact) const = 0;

  // The card a contact's kept text gives, read as the store reads its files, with that text as
  // its source. Fails with contactsSaveContactFailed (202), saying why, when the text is larger
  // than the store keeps, holds a NUL, or is not exactly one readable card.
  virtual Result<VCard> readSource(const std::string& source) const = 0;

  // The text by which two kept cards are the same card: what a copy of the card or another
  // writer changes (PRODID, REV, UID) left out.
  virtual std::string sourceKey(const std::string& source) const = 0;
};

}  // namespace tessellon
