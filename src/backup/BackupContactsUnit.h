#pragma once

#include <memory>
#include <string_view>

#include "tessellon/Contact.h"
#include "tessellon/ItemsMetaData.h"
#include "tessellon/SkippedItem.h"

#include "futures/Future.h"
#include "platform/contacts/ContactRepositoryProtocol.h"

namespace tessellon {

// The contacts of this machine as the backup preview sees them: reads the address book.
class BackupContactsUnit final {
 public:
  static constexpr std::string_view kProtocolName = "BackupContactsUnit";
  explicit BackupContactsUnit(std::shared_ptr<ContactRepositoryProtocol> contactRepository);
  BackupContactsUnit(const BackupContactsUnit&) = delete;
  BackupContactsUnit& operator=(const BackupContactsUnit&) = delete;

  // All contacts of the address book as one list, count and bytes computed
  // from it. Fails with the store's error (203, 204). Completes on the calling
  // thread.
  Future<std::shared_ptr<ItemsMetaData<Contact>>> getContactsMetaData();
  // The card files the last getContactsMetaData() could not read.
  std::vector<SkippedItem> skippedItems() const { return contactRepository_->skippedItems(); }

 private:
  const std::shared_ptr<ContactRepositoryProtocol> contactRepository_;
};

}  // namespace tessellon
