#include "platform/identity/UserHome.h"

#include <pwd.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <vector>

namespace tessellon {

std::string userHome() {
  std::string home;
  if (const char* set = std::getenv("HOME"); set && *set == '/') {
    home = set;
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    return home;
  }
  // getpwuid_r: the facade may be constructed on any thread.
  long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<size_t>(suggested) : 1024);
  passwd entry{};
  passwd* found = nullptr;
  int error = 0;
  // The suggested size is only a hint: grow until the entry fits.
  while ((error = ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found)) ==
             ERANGE &&
         buffer.size() < (1u << 20)) {
    buffer.resize(buffer.size() * 2);
  }
  if (error != 0 || found == nullptr || entry.pw_dir == nullptr) return {};
  home = entry.pw_dir;
  while (home.size() > 1 && home.back() == '/') home.pop_back();
  return home;
}

}  // namespace tessellon
