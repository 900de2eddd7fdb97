#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace tessellon {

// Where the library finds and restores the user's data and keeps its own
// files. Every field is optional: pictures and movies default to the home's
// ($HOME when absolute, else the user database's) "Pictures" and "Movies",
// contacts to ~/.local/share/contacts, calendars to ~/.local/share/calendars, the temporary folder
// to $TMPDIR (or /tmp) + "tessellon-<uid>", state to $XDG_CONFIG_HOME/tessellon (or
// ~/.config/tessellon).
//
// `remoteRequestTimeout` is how long one request to the delegate may go without its completion
// and without a progress callback before the library gives up on it: the request then fails
// with the code of a failed transfer of its kind (delegateFileDownloadFailed for a download,
// fileIOFailedToUploadFile for an upload or inflation, delegateDirectoryInfoFailed,
// delegateDirectoryCreationFailed or delegateDeleteFileFailed for the others) and the
// transfer's CancellationDelegate, if any, is cancelled. Default 10 minutes; zero or less waits
// for ever.
struct BackupSDKOptions {
  std::optional<std::string> picturesDirectory;
  std::optional<std::string> moviesDirectory;
  std::optional<std::string> contactsDirectory;
  std::optional<std::string> calendarsDirectory;
  std::optional<std::string> temporaryDirectory;
  std::optional<std::string> stateDirectory;
  std::optional<std::chrono::milliseconds> remoteRequestTimeout;
};

}  // namespace tessellon
