#pragma once

#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "tessellon/LoggerProtocol.h"

#include "futures/Result.h"
#include "platform/contacts/CNContactStoreHelper.h"
#include "platform/contacts/ContactRepositoryProtocol.h"

namespace tessellon {

// The address book kept as a folder of vCards: one sub-folder per address book
// (its identifier is the folder name), one ".vcf" file per card; hidden
// entries are not read. New cards get files of their own, named after their
// UID and never replacing an existing file; a card that brings its text is written as that text.
// Used by one operation at a time.
class ContactRepository final : public ContactRepositoryProtocol {
 public:
  // `root` is created only by createStore(). `logger` may be null.
  ContactRepository(std::string root, std::shared_ptr<CNContactStoreHelper> helper,
                    std::shared_ptr<LoggerProtocol> logger = nullptr);
  ContactRepository(const ContactRepository&) = delete;
  ContactRepository& operator=(const ContactRepository&) = delete;

  Future<Void> requestAccess() override;
  Result<void> createStore() override;
  Result<std::vector<std::shared_ptr<Contact>>> getExistingContacts() override;
  std::vector<SkippedItem> skippedItems() const override { return skipped_; }
  std::shared_ptr<Contact> storedForm(const Contact& contact) const override;
  ContactSaveRequest& saveRequest() override { return saveRequest_; }
  Result<void> execute() override;

 private:
  // The address books' folder names in name order; an absent root has none.
  Result<std::vector<std::string>> containers() const;
  void readCards(const std::string& path, std::vector<std::shared_ptr<Contact>>& contacts);
  Result<std::string> containerFolder(const std::optional<std::string>& identifier) const;

  const std::string contactStore_;
  ContactSaveRequest saveRequest_;
  std::vector<SkippedItem> skipped_;
  // The UIDs of the cards read last and written since, so no written card takes one of them.
  std::unordered_set<std::string> uids_;
  const std::shared_ptr<CNContactStoreHelper> cnContactStoreHelper_;
  const std::shared_ptr<LoggerProtocol> logger_;  // may be null
};

}  // namespace tessellon
