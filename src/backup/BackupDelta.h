#pragma once

#include <memory>

#include "model/BackupRecord.h"

namespace tessellon {

class DuplicateCollection;

// The category-wise combinations of a local record (what this machine holds
// now) with the remote one (the device's stored backup) that a preview is
// built from. Metadata objects of the result are new; items stay shared.

// What survives a backup that drops items deleted locally: the local contacts
// and calendars, and the local media that the remote already holds. Media only
// in the remote are left out.
std::shared_ptr<BackupRecord> intersect(const BackupRecord& local, const BackupRecord& remote);

// What a backup that keeps deleted items holds before the run: contacts and
// calendars of both, and for each media category the local record has, the
// remote items (the run adds the new ones). A category the local record lacks
// keeps the remote value.
std::shared_ptr<BackupRecord> mergeMetaData(const BackupRecord& local, const BackupRecord& remote);

// The work of a run: contacts (merged with the remote ones when deleted items
// are kept) and calendars as whole documents, and the local media without an
// equal remote item, with the duplicate figures of the local items. Empties
// `duplicates` afterwards, so the next preview starts from nothing.
std::shared_ptr<BackupRecord> createTaskList(const BackupRecord& local, const BackupRecord& remote,
                                             bool keepDeletedItems,
                                             DuplicateCollection& duplicates);

}  // namespace tessellon
