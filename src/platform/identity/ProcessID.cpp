#include "platform/identity/ProcessID.h"

#include <signal.h>
#include <sys/types.h>
#include <unistd.h>
#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>

namespace tessellon {

int64_t currentProcessID() { return static_cast<int64_t>(::getpid()); }

bool isProcessRunning(int64_t pid) {
  if (pid <= 0 || static_cast<int64_t>(static_cast<pid_t>(pid)) != pid) return false;
  // Signal 0 checks without sending anything; EPERM means it runs under another user.
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

std::optional<Date> processStartTime(int64_t pid) {
  if (pid <= 0) return std::nullopt;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return std::nullopt;
  // The command name may hold spaces and parentheses: the fields that follow start after the
  // last ')'. The start time, in clock ticks after boot, is the 22nd field, the 20th after it.
  const size_t close = line.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream fields(line.substr(close + 1));
  std::string field;
  for (int i = 0; i < 20; ++i) fields >> field;
  std::ifstream system("/proc/stat");
  int64_t bootSeconds = -1;
  for (std::string key; system >> key;) {
    if (key == "btime") {
      system >> bootSeconds;
      break;
    }
  }
  const long ticks = ::sysconf(_SC_CLK_TCK);
  if (!fields || bootSeconds < 0 || ticks <= 0) return std::nullopt;
  try {
    const int64_t sinceBoot = std::stoll(field);
    return Date(std::chrono::milliseconds(bootSeconds * 1000 + sinceBoot * 1000 / ticks));
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace tessellon
