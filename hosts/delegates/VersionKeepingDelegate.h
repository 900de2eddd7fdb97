#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "tessellon/ForwardingDelegate.h"

namespace tessellon::hosts {

class RemoteVersions;

// Keeps on the remote what a run replaces or removes there, as one state of RemoteHistory named
// after the run: before an archive is inflated into a device folder (or a record uploaded there),
// the device's records ("*.json" but the locks) are copied into the state; a file deleted in a
// device folder is moved into it instead. Only a path's version from before the run is kept: what
// the run itself wrote and then replaced or removed is not. Media files are not copied before an
// inflation: their names are their content, so a file written over one holds the same bytes.
// Locks, archives and the history itself pass untouched, and listings of a device folder do not
// show ".history". A version that cannot be kept fails the request, which then changes nothing.
class VersionKeepingDelegate final : public tessellon::ForwardingDelegate {
 public:
  // `versions` acts on the same remote as `remote`.
  VersionKeepingDelegate(std::shared_ptr<tessellon::BackupSDKDelegate> remote,
                         std::shared_ptr<RemoteVersions> versions, std::string stateName);

  // Keeps what follows in a new state, for a host that runs several backups with one delegate.
  // Call it between runs.
  void beginRun(std::string stateName);

  std::shared_ptr<tessellon::CancellationDelegate> uploadFile(
      const std::string& localPath, const std::string& relativeRemotePath,
      std::function<void(const tessellon::TransferProgress&)> progress,
      std::function<void(std::optional<tessellon::Error>)> completion) override;
  void deleteFile(
      const std::string& relativeRemotePath,
      std::function<void(bool deleted, std::optional<tessellon::Error>)> completion) override;
  void getDirectoryInfo(
      const std::string& relativeRemotePath,
      std::function<void(std::optional<tessellon::Directory>, std::optional<tessellon::Error>)>
          completion) override;
  void inflateZip(const std::string& remoteSrcPath, const std::string& remoteDstPath,
                  std::function<void(std::optional<tessellon::Error>)> completion) override;

 private:
  struct Run;

  const std::shared_ptr<Run> run_;  // shared with pending completions
};

}  // namespace tessellon::hosts
