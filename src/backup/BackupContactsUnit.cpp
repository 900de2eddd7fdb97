#include "backup/BackupContactsUnit.h"

namespace tessellon {

BackupContactsUnit::BackupContactsUnit(std::shared_ptr<ContactRepositoryProtocol> contactRepository)
    : contactRepository_(std::move(contactRepository)) {}

Future<std::shared_ptr<ItemsMetaData<Contact>>> BackupContactsUnit::getContactsMetaData() {
  using MetaData = std::shared_ptr<ItemsMetaData<Contact>>;
  Result<std::vector<std::shared_ptr<Contact>>> contacts =
      contactRepository_->getExistingContacts();
  if (!contacts.ok()) return Future<MetaData>::fail(contacts.error());
  return Future<MetaData>::success(
      std::make_shared<ItemsMetaData<Contact>>(std::move(contacts).value()));
}

}  // namespace tessellon
