#pragma once

#include <memory>
#include <string_view>

#include "tessellon/Backup.h"
#include "tessellon/Contact.h"
#include "tessellon/ProcessReport.h"

#include "backup/DocumentBackup.h"
#include "core/CancelToken.h"
#include "futures/Future.h"

namespace tessellon {

// Backs up the contacts of a run's task list as one document.
class BackupContactsMetaDataService final : public DocumentBackup<Contact> {
 public:
  static constexpr std::string_view kProtocolName = "BackupContactsMetaDataService";
  using DocumentBackup<Contact>::DocumentBackup;

  // The category's report section, or null when it had nothing to report.
  // Updates `backup`'s metadata as documents and files land remotely.
  Future<std::shared_ptr<ReportSection>> processContacts(std::shared_ptr<Backup> backup,
                                                         std::shared_ptr<CancelToken> cancelToken) {
    return processDocument(
        std::move(backup), std::move(cancelToken),
        {&Backup::contactsMetaData, MetaType::contacts, "contacts.json", "Contacts"});
  }
};

}  // namespace tessellon
