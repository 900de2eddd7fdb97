#pragma once

#include <functional>
#include <optional>
#include <string>

#include "tessellon/Error.h"

#include "delegates/ObjectStore.h"

namespace tessellon::hosts {

// What keeping earlier versions on a remote needs beyond the library's requests: a copy and a
// move that happen on the remote, without the bytes crossing this machine. Paths are remote paths
// as the library gives them. Neither ever replaces something at `to` (the answer is `exists` and
// nothing changes); `missing` when nothing is at `from`. The parent folder of `to` must exist.
// Completions are called once, on any thread, never on the caller's stack.
class RemoteVersions {
 public:
  virtual ~RemoteVersions() = default;

  // Copies the file at `from` to `to`: a hard link on the folder remote, COPY on WebDAV, a
  // server-side copy on S3. `from` stays as it is, so a later upload over it leaves `to` alone.
  virtual void copyFile(const std::string& from, const std::string& to,
                        std::function<void(StoreAnswer, std::optional<Error>)> completion) = 0;

  // Moves the file or folder at `from` to `to`: a rename on the folder remote, MOVE on WebDAV, a
  // server-side copy then a delete of each object on S3.
  virtual void moveFile(const std::string& from, const std::string& to,
                        std::function<void(StoreAnswer, std::optional<Error>)> completion) = 0;
};

}  // namespace tessellon::hosts
