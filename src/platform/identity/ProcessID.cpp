#include "platform/identity/ProcessID.h"

#include <signal.h>
#include <sys/types.h>
#include <unistd.h>
#include <cerrno>

namespace tessellon {

int64_t currentProcessID() { return static_cast<int64_t>(::getpid()); }

bool isProcessRunning(int64_t pid) {
  if (pid <= 0 || static_cast<int64_t>(static_cast<pid_t>(pid)) != pid) return false;
  // Signal 0 checks without sending anything; EPERM means it runs under another user.
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

}  // namespace tessellon
