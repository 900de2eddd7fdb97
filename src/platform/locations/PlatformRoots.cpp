#include "platform/locations/PlatformRoots.h"

#include <pwd.h>
#include <unistd.h>
#include <cstdlib>
#include <vector>

namespace tessellon {
namespace {

std::string realHome() {
  // getpwuid_r: the facade may be constructed on any thread.
  long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<size_t>(suggested) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
      found->pw_dir && *found->pw_dir) {
    return found->pw_dir;
  }
  return "/";
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
