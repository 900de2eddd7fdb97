#pragma once

#include <memory>

#include "platform/contacts/CNContactStoreHelperProtocol.h"
#include "platform/contacts/ContactRepositoryProtocol.h"
#include "restore/RestoreContactsUnitProtocol.h"

namespace tessellon {

class RestoreContactsUnit final : public RestoreContactsUnitProtocol {
 public:
  RestoreContactsUnit(std::shared_ptr<ContactRepositoryProtocol> contactRepository,
                      std::shared_ptr<CNContactStoreHelperProtocol> contactStoreHelper);

  Future<Void> persist(const std::vector<std::shared_ptr<Contact>>& contacts) override;

 private:
  const std::shared_ptr<ContactRepositoryProtocol> contactRepository_;
  const std::shared_ptr<CNContactStoreHelperProtocol> contactStoreHelper_;
};

}  // namespace tessellon
