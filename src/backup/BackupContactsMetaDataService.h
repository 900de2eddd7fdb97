#pragma once

#include "backup/BackupContactsMetaDataServiceProtocol.h"
#include "backup/DocumentBackup.h"
#include "tessellon/Contact.h"

namespace tessellon {

class BackupContactsMetaDataService final : public DocumentBackup<Contact>,
                                            public BackupContactsMetaDataServiceProtocol {
 public:
  using DocumentBackup<Contact>::DocumentBackup;

  Future<std::shared_ptr<ReportSection>> processContacts(
      std::shared_ptr<Backup> backup, std::shared_ptr<CancelToken> cancelToken) override {
    return processDocument(std::move(backup), std::move(cancelToken),
                           {&Backup::contactsMetaData, MetaType::contacts, "contacts.json",
                            "Contacts"});
  }
};

}  // namespace tessellon
