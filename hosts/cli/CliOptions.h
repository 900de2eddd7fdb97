#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tessellon/Backup.h"
#include "tessellon/BackupSDKOptions.h"
#include "tessellon/BackupSettings.h"
#include "tessellon/Settings.h"

#include "cli/EmptyFolder.h"

namespace CLI {
class App;
}

namespace tessellon::cli {

// The options the verbs share, as parsed; defaults are resolved when a command runs, so that
// --help shows the flags rather than this user's paths.
struct CliOptions {
  std::string remote;
  std::string pictures;
  std::string movies;
  std::string contacts;
  std::string calendars;
  std::vector<std::string> only;
  std::string device;
  std::string name;
  // Items deleted here stay on the remote unless --prune; a pruning run that would remove more
  // than half of a category, or all of it, needs --allow-large-removal.
  bool keepDeleted = true;
  bool prune = false;
  bool allowLargeRemoval = false;
  int64_t archiveSize = int64_t{512} * 1024 * 1024;
  int transfers = 4;
  // Days the remote keeps what a backup replaces or removes; 0 keeps nothing new.
  int keepHistoryDays = 30;
  // Restore the backup as it was at this moment.
  std::optional<std::chrono::system_clock::time_point> asOf;
  std::string caFile;
  bool insecure = false;
  std::string s3Endpoint;
  std::string s3Region;
  bool json = false;
  int verbosity = 0;
  bool quiet = false;
};

// Which categories a run processes and where the library finds them.
struct SourceSelection {
  tessellon::Settings settings;
  tessellon::BackupSDKOptions options;
  // "videos: /home/u/Movies does not exist", one per category left out by default.
  std::vector<std::string> leftOut;
  // Stands in for a missing media folder that is not backed up; lives as long as the selection.
  std::shared_ptr<EmptyFolder> standIn;
};

// --remote and the options of network remotes.
void addRemoteOption(CLI::App& command, CliOptions& options);
void addOutputOptions(CLI::App& command, CliOptions& options);
// --pictures, --movies, --contacts, --calendars and --only.
void addSourceOptions(CLI::App& command, CliOptions& options);
// --name, --keep-deleted, --prune, --allow-large-removal and --archive-size.
void addBackupOptions(CLI::App& command, CliOptions& options);
void addArchiveSizeOption(CLI::App& command, CliOptions& options);
// --device, for a verb that works on one device's backup: "Device <purpose>: ...".
void addDeviceOption(CLI::App& command, CliOptions& options, const std::string& purpose);
// --keep-history DAYS.
void addHistoryOption(CLI::App& command, CliOptions& options);
// --as-of DATE.
void addAsOfOption(CLI::App& command, CliOptions& options);

// "2026-12-07" (the end of that day here), "2026-12-07T10:30" or "2026-12-07 10:30:15" (here),
// the same with "Z" (UTC), with or without milliseconds; nothing for other text.
std::optional<std::chrono::system_clock::time_point> parseMoment(const std::string& text);
// The four folders as restore targets, --only and --device.
void addRestoreOptions(CLI::App& command, CliOptions& options);

// $HOME when it is set and absolute, else the account's home from the password database.
std::string homeFolder();

// $XDG_DATA_HOME/tessellon/remote, else ~/.local/share/tessellon/remote, unless --remote was given.
std::string remoteFolder(const CliOptions& options);

// $XDG_CONFIG_HOME/tessellon, else ~/.config/tessellon: where the library keeps this computer's
// device identifier and fingerprint cache.
std::string stateFolder();

// $TMPDIR/tessellon-<uid> (default /tmp): the library's temporary files and a network remote's
// downloads, swept of what a killed run left.
std::string temporaryFolder();

// "512K", "64M", "1.5G", "1048576": bytes, the suffixes counting in 1024s; nothing when the text
// is not such a size or is not above zero.
std::optional<int64_t> parseSize(const std::string& text);

// The folders of --pictures, --movies, --contacts and --calendars, or their defaults.
tessellon::BackupSDKOptions chosenFolders(const CliOptions& options);

// The categories named by --only, or every category whose source folder exists; the library's
// options point at the chosen folders.
SourceSelection selectSources(const CliOptions& options);

// What a restore brings back: the categories named by --only, or every category `backup` holds;
// `leftOut` says "videos: the backup holds none" for each category left out by default.
struct RestoreSelection {
  tessellon::Settings settings;
  std::vector<std::string> leftOut;
};
RestoreSelection selectRestoreCategories(const CliOptions& options,
                                         const tessellon::Backup& backup);

// Tells on standard error which categories were left out and why (with -q too: a missing folder
// may be an unmounted disk).
void announceLeftOut(const std::vector<std::string>& leftOut, const CliOptions& options);

// The preview's and the backup's settings: the selected categories, the name and --keep-deleted.
tessellon::BackupSettings backupSettings(const SourceSelection& selection,
                                         const CliOptions& options);

}  // namespace tessellon::cli
