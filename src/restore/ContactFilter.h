#pragma once

#include <memory>
#include <vector>

#include "platform/contacts/Contact.h"

namespace tessellon {

// The list operations that keep a restore from writing empty or duplicate cards.
class ContactFilter final {
 public:
  using Contacts = std::vector<std::shared_ptr<Contact>>;

  // The contacts with at least one field present (an empty text or list counts).
  static Contacts getNonemptyContacts(const Contacts& contacts);
  // `remote` without one equal contact per existing contact, in `remote`'s order.
  static Contacts getRemoteOnlyContacts(const Contacts& existing, const Contacts& remote);
};

}  // namespace tessellon
