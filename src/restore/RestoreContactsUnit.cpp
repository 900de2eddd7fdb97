#include "restore/RestoreContactsUnit.h"

#include <string>
#include <unordered_map>

#include "tessellon/BackupSDKError.h"

#include "core/Log.h"
#include "restore/ContactFilter.h"

namespace tessellon {
namespace {

std::string nameOf(const Contact& contact) {
  std::string name = contact.firstName.value_or("");
  if (contact.lastName) name += (name.empty() ? "" : " ") + *contact.lastName;
  return name.empty() ? contact.company.value_or("(no name)") : name;
}

}  // namespace

RestoreContactsUnit::RestoreContactsUnit(
    std::shared_ptr<ContactRepositoryProtocol> contactRepository,
    std::shared_ptr<CNContactStoreHelper> contactStoreHelper,
    std::shared_ptr<LoggerProtocol> logger)
    : contactRepository_(std::move(contactRepository)),
      contactStoreHelper_(std::move(contactStoreHelper)),
      logger_(std::move(logger)) {}

std::optional<VCard> RestoreContactsUnit::keptCard(const Contact& contact,
                                                   const Contact& stored) const {
  if (!contact.vCard) return std::nullopt;
  Result<VCard> card = contactStoreHelper_->readSource(*contact.vCard);
  if (!card.ok()) {
    logWith(logger_, LogLevel::warning, [&] {
      return "restoring " + nameOf(contact) + " from its fields: " + card.error().message;
    });
    return std::nullopt;
  }
  // An older writer may have changed the fields and kept the text: the fields are what the
  // backup says.
  if (!(*contactStoreHelper_->mapContact(card.value()) == stored)) {
    logWith(logger_, LogLevel::warning, [&] {
      return "restoring " + nameOf(contact) + " from its fields: its kept card says otherwise";
    });
    return std::nullopt;
  }
  return std::move(card).value();
}

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

  // A card whose kept text equals one in the address book is there; each card there meets at most
  // one backed-up card.
  std::unordered_map<std::string, std::vector<size_t>> existingByText;
  for (size_t index = 0; index < existing.value().size(); ++index) {
    const std::shared_ptr<Contact>& card = existing.value()[index];
    if (card && card->vCard)
      existingByText[contactStoreHelper_->sourceKey(*card->vCard)].push_back(index);
  }
  std::vector<bool> met(existing.value().size(), false);

  // Compared as the address book would give them back: a record from another device or an older
  // version (an empty list, an empty text, a messenger code) must still meet its restored card.
  std::vector<std::shared_ptr<Contact>> candidates;
  std::unordered_map<const Contact*, VCard> keptCards;
  for (const auto& contact : ContactFilter::getNonemptyContacts(contacts)) {
    std::shared_ptr<Contact> stored = contactRepository_->storedForm(*contact);
    std::optional<VCard> kept = keptCard(*contact, *stored);
    if (kept) {
      const auto same = existingByText.find(contactStoreHelper_->sourceKey(kept->source));
      if (same != existingByText.end() && !same->second.empty()) {
        met[same->second.back()] = true;
        same->second.pop_back();
        continue;
      }
      keptCards.emplace(stored.get(), std::move(*kept));
    }
    candidates.push_back(std::move(stored));
  }
  std::vector<std::shared_ptr<Contact>> unmet;
  for (size_t index = 0; index < met.size(); ++index) {
    if (!met[index]) unmet.push_back(existing.value()[index]);
  }
  const auto toAdd =
      ContactFilter::getRemoteOnlyContacts(unmet, ContactFilter::getNonemptyContacts(candidates));
  if (toAdd.empty()) return Future<Void>::success(Void{});
  ContactSaveRequest& request = contactRepository_->saveRequest();
  for (const auto& contact : toAdd) {
    const auto kept = keptCards.find(contact.get());
    request.addContact(kept != keptCards.end() ? std::move(kept->second)
                                               : contactStoreHelper_->mapContact(*contact));
  }
  if (auto saved = contactRepository_->execute(); !saved.ok()) {
    // A request left pending would be written by the next restore too.
    request.additions.clear();
    return Future<Void>::fail(
        makeError(BackupSDKError::contactsSaveContactFailed, saved.error().message));
  }
  return Future<Void>::success(Void{});
}

}  // namespace tessellon
