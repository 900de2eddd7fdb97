#pragma once

#include <optional>
#include <string>

namespace tessellon {

// Where the library finds and restores the user's data and keeps its own
// files. Every field is optional: pictures and movies default to the real home's
// "Pictures" and "Movies", contacts to ~/.local/share/contacts, calendars to
// ~/.local/share/calendars, the temporary folder to $TMPDIR (or /tmp) +
// "tessellon-<uid>", state to $XDG_CONFIG_HOME/tessellon (or ~/.config/tessellon).
struct BackupSDKOptions {
  std::optional<std::string> picturesDirectory;
  std::optional<std::string> moviesDirectory;
  std::optional<std::string> contactsDirectory;
  std::optional<std::string> calendarsDirectory;
  std::optional<std::string> temporaryDirectory;
  std::optional<std::string> stateDirectory;
};

}  // namespace tessellon
