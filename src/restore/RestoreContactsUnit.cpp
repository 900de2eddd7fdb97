#include "restore/RestoreContactsUnit.h"

#include "tessellon/BackupSDKError.h"

#include "restore/ContactFilter.h"

namespace tessellon {

RestoreContactsUnit::RestoreContactsUnit(
    std::shared_ptr<ContactRepositoryProtocol> contactRepository,
    std::shared_ptr<CNContactStoreHelperProtocol> contactStoreHelper)
    : contactRepository_(std::move(contactRepository)),
      contactStoreHelper_(std::move(contactStoreHelper)) {}

Future<Void> RestoreContactsUnit::persist(const std::vector<std::shared_ptr<Contact>>& contacts) {
  if (!contactRepository_ || !contactStoreHelper_) {
    return Future<Void>::fail(makeError(BackupSDKError::contactsAccessDenied, "no address book"));
  }
  // A restore may bring back an address book that is not there yet.
  if (Result<void> created = contactRepository_->createStore(); !created.ok()) {
    return Future<Void>::fail(created.error());
  }
  const FutureResult<Void> access = contactRepository_->requestAccess().waitUntilCompleted();
  if (!access.isSuccess()) {
    return access.isFail() ? Future<Void>::fail(access.failure()) : Future<Void>::cancelled();
  }
  auto existing = contactRepository_->getExistingContacts();
  if (!existing.ok()) return Future<Void>::fail(existing.error());

  // Compared as the address book would give them back: a record from another device or an older
  // version (an empty list, an empty text, a messenger code) must still meet its restored card.
  std::vector<std::shared_ptr<Contact>> candidates;
  for (const auto& contact : ContactFilter::getNonemptyContacts(contacts)) {
    candidates.push_back(contactRepository_->storedForm(*contact));
  }
  const auto toAdd = ContactFilter::getRemoteOnlyContacts(
      existing.value(), ContactFilter::getNonemptyContacts(candidates));
  if (toAdd.empty()) return Future<Void>::success(Void{});
  ContactSaveRequest& request = contactRepository_->saveRequest();
  for (const auto& contact : toAdd) request.addContact(contactStoreHelper_->mapContact(*contact));
  if (auto saved = contactRepository_->execute(); !saved.ok()) {
    // A request left pending would be written by the next restore too.
    request.additions.clear();
    return Future<Void>::fail(
        makeError(BackupSDKError::contactsSaveContactFailed, saved.error().message));
  }
  return Future<Void>::success(Void{});
}

}  // namespace tessellon
