#pragma once

#include <sys/types.h>
#include <map>
#include <string>
#include <vector>

namespace tessellon {

// A program (the `tessellon` command) run as a child process with its own environment, its
// standard output and error going to one file. A child still running when the object goes away
// is killed and reaped.
class CliProcess {
 public:
  // Starts `program`; `environment` replaces the parent's variables of the same names. Aborts
  // when the child cannot be started: no test can go on without it.
  CliProcess(const std::string& program, const std::vector<std::string>& arguments,
             const std::map<std::string, std::string>& environment, const std::string& output);
  ~CliProcess();

  CliProcess(const CliProcess&) = delete;
  CliProcess& operator=(const CliProcess&) = delete;

  // Waits for the end: the exit status, or 128 + the signal that ended it.
  int wait();
  void kill(int signal) const;

 private:
  pid_t pid_ = -1;
  int status_ = -1;
};

}  // namespace tessellon
