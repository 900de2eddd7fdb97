#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tessellon/Directory.h"

#include "core/CancelToken.h"
#include "futures/Future.h"
#include "futures/Promise.h"
#include "platform/files/FileIOServiceProtocol.h"
#include "remote/RemoteIOServiceProtocol.h"

namespace tessellon {

// The recorded files a folder's listing lacks, each asked for on its own before a run concludes
// anything from its absence. A listing that leaves files out (a lost page, a host's fault) must
// not cost their items: a file no record names is deleted by the next clean-up, and a kept item's
// file may be the only copy left. A file counts as there once its first bytes can be read (a host
// that cannot stream has it downloaded); its size stays unknown, so it joins the listing at its
// recorded size, and a later full listing finds it damaged if it is.
class UnlistedFiles {
 public:
  // The stored file name and recorded size of each recorded item the listing lacks.
  using Recorded = std::vector<std::pair<std::string, int64_t>>;

  // `files` lets go of the copies downloaded from a host that cannot stream.
  UnlistedFiles(std::shared_ptr<RemoteIOServiceProtocol> remote,
                std::shared_ptr<FileIOServiceProtocol> files);

  // `listing` of `folder` with each file of `unlisted` that the remote holds added; `listing`
  // itself when it holds none. Fails with the host's error when it cannot tell whether a file is
  // there. One request at a time: a folder whose files are truly gone costs a quick refusal per
  // file, not a burst of requests.
  Future<std::shared_ptr<const Directory>> confirm(const std::string& folder,
                                                   const std::shared_ptr<const Directory>& listing,
                                                   Recorded unlisted,
                                                   std::shared_ptr<CancelToken> token);

 private:
  struct Probe;
  // Asks for file `index` and the ones after it, one at a time, then completes the probe.
  void probeFrom(const std::shared_ptr<Probe>& probe, size_t index);
  // Whether the remote holds `path`: true once it can be read, false when the host says it does
  // not exist; the host's error for any other refusal; cancelled when the run is.
  Future<bool> holds(const std::string& path, const std::shared_ptr<CancelToken>& token);

  const std::shared_ptr<RemoteIOServiceProtocol> remote_;
  const std::shared_ptr<FileIOServiceProtocol> files_;
};

}  // namespace tessellon
