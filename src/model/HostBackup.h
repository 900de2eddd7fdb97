#pragma once

#include <memory>

#include "tessellon/Backup.h"

#include "model/BackupRecord.h"

namespace tessellon {

// What a host sees of `record`: its identity, dates and per-category summaries and, of a
// preview, what the run sends and what a pruning run removes. The result holds `record`.
std::shared_ptr<Backup> hostBackup(const std::shared_ptr<BackupRecord>& record);

// The record behind `backup`; null for none, or for a `Backup` a host made itself.
std::shared_ptr<BackupRecord> recordOf(const std::shared_ptr<Backup>& backup);

}  // namespace tessellon
