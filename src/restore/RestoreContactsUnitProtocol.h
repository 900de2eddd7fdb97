#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "tessellon/Contact.h"

#include "futures/Future.h"

namespace tessellon {

// Adds the contacts of a backup to the address book, never a second copy of a
// card that is already there.
class RestoreContactsUnitProtocol {
 public:
  static constexpr std::string_view kProtocolName = "RestoreContactsUnitProtocol";
  RestoreContactsUnitProtocol() = default;
  virtual ~RestoreContactsUnitProtocol() = default;
  RestoreContactsUnitProtocol(const RestoreContactsUnitProtocol&) = delete;
  RestoreContactsUnitProtocol& operator=(const RestoreContactsUnitProtocol&) = delete;

  // Fails with contactsAccessDenied (201), the store's fetch error (203, 204)
  // or contactsSaveContactFailed (202); nothing is written unless all cards
  // are.
  virtual Future<Void> persist(const std::vector<std::shared_ptr<Contact>>& contacts) = 0;
};

}  // namespace tessellon
