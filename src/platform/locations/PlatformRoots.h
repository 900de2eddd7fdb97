#pragma once

#include <string>

#include "tessellon/BackupSDKOptions.h"

namespace tessellon {

// Every folder the library reads, restores into or keeps its own files in. The
// whole library can run against a sandbox by filling this from a temporary
// folder; nothing else in the library reads the environment.
struct PlatformRoots {
  std::string home;
  std::string pictures;
  std::string movies;
  std::string contacts;
  std::string calendars;
  std::string temporary;
  std::string state;
  // Where hosts keep their temporary files: $TMPDIR, or /tmp.
  std::string systemTemporary;

  // The host's options over the defaults: the home of the user ($HOME when
  // absolute, else the user database's), its "Pictures" and "Movies",
  // ~/.local/share/contacts and ~/.local/share/calendars, $TMPDIR (or /tmp) +
  // "tessellon-<uid>", and $XDG_CONFIG_HOME/tessellon (or ~/.config/tessellon).
  static PlatformRoots fromOptions(const BackupSDKOptions& options);
};

}  // namespace tessellon
