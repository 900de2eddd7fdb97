#include "cli/ExitStatus.h"

#include <cstring>
#include <iostream>
#include <string>

#include <nlohmann/json.hpp>

#include "tessellon/BackupSDKError.h"

#include "cli/RemoteSelection.h"

namespace tessellon::cli {

namespace {

struct Explanation {
  tessellon::BackupSDKError code;
  const char* text;
};

// The failures a user can act on; the rest are reported by their case name.
constexpr Explanation kExplanations[] = {
    {BackupSDKError::isAlreadyRunning, "another preview, backup or restore is running"},
    {BackupSDKError::isCanceling, "a cancel request is still being carried out"},
    {BackupSDKError::cannotFetchAvailableBackups, "the backups on the remote could not be listed"},
    {BackupSDKError::versionConflict, "the backup was written by a newer version of tessellon"},
    {BackupSDKError::wrongOSError, "the backup cannot be restored on this system"},
    {BackupSDKError::contactsAccessDenied, "the address books cannot be read"},
    {BackupSDKError::calendarsAccessDenied, "the calendars cannot be read"},
    {BackupSDKError::mediaNoPhotoLibraryAccess, "the picture or movie folder cannot be read"},
    {BackupSDKError::mediaNoAccessToPath, "the picture or movie folder cannot be read"},
    {BackupSDKError::mediaNotEnoughRemoteStorage, "the remote storage is full"},
    {BackupSDKError::zipFailedNotEnoughDiskSpace,
     "the local disk is full (the temporary folder has no room for the archive)"},
    {BackupSDKError::jsonDeserializationFailed, "the backup on the remote cannot be read"},
    {BackupSDKError::corruptBackupMetaData, "the backup on the remote is damaged"},
    {BackupSDKError::corruptMetaData, "the backup on the remote is damaged"},
    {BackupSDKError::unknownError, "the library failed"},
};

constexpr const char* kPosixDomain = "NSPOSIXErrorDomain";

}  // namespace

std::string whatWentWrong(const tessellon::Error& error, const std::string& remote) {
  if (error.domain == tessellon::kBackupSDKErrorDomain) {
    // The library's text names the run that holds the backup folder, or the local folder it
    // cannot use.
    if ((error.code == static_cast<int>(BackupSDKError::backupLocked) ||
         error.code == static_cast<int>(BackupSDKError::fileIOFailedToCreateDirectory)) &&
        !error.message.empty()) {
      return error.message;
    }
    // For the address books and calendars it also says which folder and why.
    const bool namesFolder = error.code == static_cast<int>(BackupSDKError::contactsAccessDenied) ||
                             error.code == static_cast<int>(BackupSDKError::calendarsAccessDenied);
    for (const Explanation& explanation : kExplanations) {
      if (static_cast<int>(explanation.code) != error.code) continue;
      if (namesFolder && !error.message.empty()) {
        return std::string(explanation.text) + ": " + error.message;
      }
      return explanation.text;
    }
    if (const auto code = tessellon::backupSDKErrorFromRawValue(error.code)) {
      return std::string(tessellon::caseName(*code));
    }
  }
  if (error.domain == kPosixDomain && !remote.empty()) {
    // The remote's own errors name paths below it ("cannot create <device ID>"): say which
    // remote, and what to look at.
    std::string message = error.message;
    for (const char* verb : {"cannot create ", "cannot write ", "cannot read "}) {
      if (message.rfind(verb, 0) == 0 && message.compare(std::strlen(verb), 1, "/") != 0) {
        message.insert(std::strlen(verb), remote + "/");
      }
    }
    return "the remote " + remote + " failed: " + message + "; check that it is mounted and that " +
           "you may write there";
  }
  return error.message.empty() ? "the operation failed" : error.message;
}

int failWith(const tessellon::Error& error, const std::string& remote, bool json) {
  const std::string message = whatWentWrong(error, remote);
  std::cerr << "tessellon: " << message << " (" << error.domain << " " << error.code << ")\n";
  if (json) {
    const nlohmann::json document = {
        {"schema", kJsonSchemaVersion},
        {"error", {{"domain", error.domain}, {"code", error.code}, {"message", message}}}};
    std::cout << document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
  }
  return kExitError;
}

int failWith(const tessellon::Error& error, const CliOptions& options) {
  return failWith(error, remoteName(options), options.json);
}

}  // namespace tessellon::cli
