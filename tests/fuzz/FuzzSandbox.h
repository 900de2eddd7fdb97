#pragma once

#include <map>
#include <string>
#include <vector>

#include "tessellon/BackupSDKOptions.h"

#include "fuzz/FuzzScript.h"

namespace tessellon::fuzz {

// The folder one execution of the remote fuzzer may write to: a small home (two images, a movie,
// a contact, a calendar), the library's temporary and state folders, the remote's folder and a
// foreign file offered as a download. Everything else the process could reach is watched: a
// canary file beside the sandbox, and a trap folder that HOME, TMPDIR and the XDG folders point to,
// so a default location used by mistake shows. Removed with everything in it when destroyed.
class FuzzSandbox {
 public:
  // This device's folder on the remote; the state folder is seeded with it.
  static constexpr const char* kDeviceUID = "FUZZDEV";

  FuzzSandbox();
  ~FuzzSandbox();

  FuzzSandbox(const FuzzSandbox&) = delete;
  FuzzSandbox& operator=(const FuzzSandbox&) = delete;

  BackupSDKOptions options() const;
  const std::string& remote() const { return remote_; }
  const std::string& temporary() const { return temporary_; }
  const std::string& foreign() const { return foreign_; }
  static const std::string& canary();

  // Writes the served files into the remote's folder. Their paths are made safe first: "$UID"
  // names this device's folder, and empty, "." and ".." components are dropped.
  void serve(const std::vector<FuzzScript::ServedFile>& files) const;

  // The first broken promise of the execution, empty when none: a file of the home changed or
  // gone, the foreign file or the canary touched, anything in the trap folder.
  std::string violation() const;

 private:
  static const std::string& processRoot();

  std::string root_;
  std::string home_;
  std::string temporary_;
  std::string remote_;
  std::string foreign_;
  std::map<std::string, std::string> homeFiles_;  // relative path -> content, as made
};

}  // namespace tessellon::fuzz
