#pragma once

#include <memory>
#include <string_view>

#include "tessellon/Contact.h"
#include "tessellon/ItemsMetaData.h"
#include "tessellon/SkippedItem.h"

#include "futures/Future.h"

namespace tessellon {

// The contacts of this machine as the backup preview sees them.
class BackupContactsUnitProtocol {
 public:
  static constexpr std::string_view kProtocolName = "BackupContactsUnitProtocol";
  BackupContactsUnitProtocol() = default;
  virtual ~BackupContactsUnitProtocol() = default;
  BackupContactsUnitProtocol(const BackupContactsUnitProtocol&) = delete;
  BackupContactsUnitProtocol& operator=(const BackupContactsUnitProtocol&) = delete;

  // All contacts of the address book as one list, count and bytes computed
  // from it. Fails with the store's error (203, 204). Completes on the calling
  // thread.
  virtual Future<std::shared_ptr<ItemsMetaData<Contact>>> getContactsMetaData() = 0;

  // The card files the last getContactsMetaData() could not read.
  virtual std::vector<SkippedItem> skippedItems() const = 0;
};

}  // namespace tessellon
