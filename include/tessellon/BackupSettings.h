#pragma once

#include <string>

#include "tessellon/Settings.h"

namespace tessellon {

// The categories of a backup, its name and whether items deleted locally stay
// in the backup.
struct BackupSettings : Settings {
  std::string backupName;
  bool keepDeletedItems = false;

  // Keeps only letters A-Z and a-z, digits, German umlauts and sharp s, the
  // space and "_" of `backupName`.
  BackupSettings(const std::string& name, bool withContacts, bool withCalendars, bool withVideos,
                 bool withImages, bool keepDeleted);
};

}  // namespace tessellon
