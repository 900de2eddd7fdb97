#pragma once

#include <memory>

#include "backup/BackupContactsUnitProtocol.h"
#include "platform/contacts/ContactRepositoryProtocol.h"

namespace tessellon {

// Reads the address book for the backup preview.
class BackupContactsUnit final : public BackupContactsUnitProtocol {
 public:
  explicit BackupContactsUnit(std::shared_ptr<ContactRepositoryProtocol> contactRepository);
  BackupContactsUnit(const BackupContactsUnit&) = delete;
  BackupContactsUnit& operator=(const BackupContactsUnit&) = delete;

  Future<std::shared_ptr<ItemsMetaData<Contact>>> getContactsMetaData() override;
  std::vector<SkippedItem> skippedItems() const override {
    return contactRepository_->skippedItems();
  }

 private:
  const std::shared_ptr<ContactRepositoryProtocol> contactRepository_;
};

}  // namespace tessellon
