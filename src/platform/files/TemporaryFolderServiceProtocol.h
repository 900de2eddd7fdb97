#pragma once

#include <string_view>

#include "futures/Result.h"

namespace tessellon {

// Each download the remote port hands out lies alone in a fresh folder of this name prefix in
// the temporary folder; the folder goes with its file.
inline constexpr std::string_view kDownloadFolderPrefix = "download-";

// The library's private temporary folder across an operation: made ours before anything is
// written into it, and cleared of the run's files (documents, archives, downloads) once no
// operation or listing uses it. The fingerprint cache in it stays. Thread-safe.
class TemporaryFolderServiceProtocol {
 public:
  static constexpr std::string_view kProtocolName = "TemporaryFolderServiceProtocol";
  TemporaryFolderServiceProtocol() = default;
  virtual ~TemporaryFolderServiceProtocol() = default;
  TemporaryFolderServiceProtocol(const TemporaryFolderServiceProtocol&) = delete;
  TemporaryFolderServiceProtocol& operator=(const TemporaryFolderServiceProtocol&) = delete;

  // Called when an operation or listing starts. Creates the folder or makes sure it is a private
  // folder of this user; fails with fileIOFailedToCreateDirectory (405), naming the folder, when
  // it is not and cannot safely be made one, and then nothing was written into it. The first
  // user also removes what a killed run left there. Each success is matched by one release().
  virtual Result<void> acquire() = 0;
  // Called when that operation or listing has ended; the last one out removes the run's files,
  // unless another process uses the folder at that moment.
  virtual void release() = 0;
};

}  // namespace tessellon
