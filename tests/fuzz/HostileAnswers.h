#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tessellon/BackupSDKError.h"
#include "tessellon/Directory.h"
#include "tessellon/Error.h"

#include "fuzz/FuzzScript.h"

namespace tessellon::fuzz {

// The odd values a scripted host answers with, chosen by a selector byte and further script
// bytes: errors of every class the library treats differently, download errors outside the
// enumeration, downloaded paths that are served bytes, links, folders or foreign files, and
// listing members with hostile names and sizes. Used by ScriptedDelegate; thread-safe.
class HostileAnswers {
 public:
  struct Paths {
    std::string downloads;  // where served downloads are written: the library's temporary folder
    std::string foreign;    // a file outside it, offered as a download; it must survive
    std::string canary;     // a file outside the sandbox, offered through a link; it must survive
  };

  HostileAnswers(std::shared_ptr<FuzzScript> script, Paths paths);

  // Cancellation-class (-999, -1012, 3072), 507, a time-out, a full disk, the library's own
  // domain, an empty error, an odd domain with INT_MIN, a foreign one.
  static Error error(uint8_t selector);
  static BackupSDKError downloadError(uint8_t selector);
  // The local path a substitute download answers with: bytes from the script (2-byte length),
  // a link to the canary, a folder, the foreign file, a missing file, a relative or empty path.
  std::string download(uint8_t selector);
  // Bytes a substitute stream delivers (2-byte length).
  std::string streamed();
  // Up to four members: a name from a table or from the script, a size from a table (negative,
  // huge), a file or a folder.
  std::vector<Member> members(uint8_t count);

 private:
  std::string name(uint8_t selector);

  const std::shared_ptr<FuzzScript> script_;
  const Paths paths_;
  std::atomic<int> served_{0};
};

}  // namespace tessellon::fuzz
