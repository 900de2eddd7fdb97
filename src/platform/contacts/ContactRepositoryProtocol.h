#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "tessellon/SkippedItem.h"

#include "futures/Future.h"
#include "futures/Result.h"
#include "platform/contacts/Contact.h"
#include "platform/contacts/ContactSaveRequest.h"

namespace tessellon {

// The address book: the only component that reads or writes the user's
// contact cards. Used by one operation at a time (the backup preview reads, a
// restore reads and adds); calls come from future continuations.
class ContactRepositoryProtocol {
 public:
  static constexpr std::string_view kProtocolName = "ContactRepositoryProtocol";

  ContactRepositoryProtocol() = default;
  ContactRepositoryProtocol(const ContactRepositoryProtocol&) = delete;
  ContactRepositoryProtocol& operator=(const ContactRepositoryProtocol&) = delete;
  virtual ~ContactRepositoryProtocol() = default;

  // Succeeds when the address book's folder exists and can be read and
  // written; fails with BackupSDKError contactsAccessDenied (201), naming the
  // folder, otherwise. Never creates it: a missing folder must not read as an
  // empty address book. Complete on return.
  virtual Future<Void> requestAccess() = 0;

  // Creates the address book's folder when it is missing; only a restore
  // calls it. Fails with contactsAccessDenied (201).
  virtual Result<void> createStore() = 0;

  // Every card of every address book as a Contact, address books in name
  // order. Fails with contactsFetchingContainersFailed (203) when the address
  // books cannot be listed and contactsFetchingResultsForContainersFailed
  // (204) when one cannot be read. A single card that cannot be read is left
  // out with a warning and listed by skippedItems().
  virtual Result<std::vector<std::shared_ptr<Contact>>> getExistingContacts() = 0;

  // The card files the last getExistingContacts() could not read, with why.
  virtual std::vector<SkippedItem> skippedItems() const = 0;

  // The record `contact` gives once written into the address book and read
  // back: the form in which records are compared, so a card restored before
  // equals its record in the backup.
  virtual std::shared_ptr<Contact> storedForm(const Contact& contact) const = 0;

  // The pending additions; callers add new cards to it.
  virtual ContactSaveRequest& saveRequest() = 0;

  // Writes every pending card as a new file, all or none: when one fails, the
  // ones already written are removed, the request stays pending and the file
  // system's error is returned. On success the request is emptied. Existing
  // cards are never changed. A card with a source is written as that text,
  // under its own UID unless a card read or written before has it.
  virtual Result<void> execute() = 0;
};

}  // namespace tessellon
