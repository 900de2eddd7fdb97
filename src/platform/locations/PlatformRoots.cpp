#include "platform/locations/PlatformRoots.h"

#include <unistd.h>
#include <cstdlib>

#include "platform/identity/UserHome.h"

namespace tessellon {
namespace {

std::string realHome() {
  const std::string home = userHome();
  return home.empty() ? "/" : home;
}

std::string environmentOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value && *value == '/' ? std::string(value) : fallback;
}

std::string join(const std::string& folder, const std::string& name) {
  return !folder.empty() && folder.back() == '/' ? folder + name : folder + "/" + name;
}

}  // namespace

PlatformRoots PlatformRoots::fromOptions(const BackupSDKOptions& options) {
  PlatformRoots roots;
  roots.home = realHome();
  roots.pictures = options.picturesDirectory.value_or(join(roots.home, "Pictures"));
  roots.movies = options.moviesDirectory.value_or(join(roots.home, "Movies"));
  roots.contacts = options.contactsDirectory.value_or(join(roots.home, ".local/share/contacts"));
  roots.calendars = options.calendarsDirectory.value_or(join(roots.home, ".local/share/calendars"));
  roots.systemTemporary = environmentOr("TMPDIR", "/tmp");
  roots.temporary = options.temporaryDirectory.value_or(
      join(roots.systemTemporary, "tessellon-" + std::to_string(getuid())));
  roots.state = options.stateDirectory.value_or(
      join(environmentOr("XDG_CONFIG_HOME", join(roots.home, ".config")), "tessellon"));
  return roots;
}

}  // namespace tessellon
