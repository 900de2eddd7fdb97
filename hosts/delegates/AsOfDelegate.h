#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "tessellon/ForwardingDelegate.h"

#include "delegates/RemoteHistory.h"

namespace tessellon::hosts {

// The remote as it was at a date, for reading: each path answers with its version then (see
// RemoteHistory::versionsAt), and listings show the files kept since in place of, or beside, what
// is there now. Every other request goes to the remote as it is (a restore's lock, say). Files
// made after the date still show: the records of the date do not name them. Listings of a device
// folder do not show ".history".
class AsOfDelegate final : public tessellon::ForwardingDelegate {
 public:
  AsOfDelegate(std::shared_ptr<tessellon::BackupSDKDelegate> remote,
               RemoteHistory::Versions versions);

  std::shared_ptr<tessellon::CancellationDelegate> downloadFile(
      const std::string& relativeRemotePath,
      std::function<void(const tessellon::TransferProgress&)> progress,
      std::function<void(std::optional<std::string> localPath,
                         std::optional<tessellon::BackupSDKError>)>
          completion) override;
  std::shared_ptr<tessellon::CancellationDelegate> readFile(
      const std::string& relativeRemotePath,
      std::function<bool(const char* data, size_t size)> consume,
      std::function<void(std::optional<tessellon::BackupSDKError>)> completion) override;
  void getDirectoryInfo(
      const std::string& relativeRemotePath,
      std::function<void(std::optional<tessellon::Directory>, std::optional<tessellon::Error>)>
          completion) override;

 private:
  const std::string& versionOf(const std::string& path) const;

  const std::shared_ptr<const RemoteHistory::Versions> versions_;
};

}  // namespace tessellon::hosts
