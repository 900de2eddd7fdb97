#include "delegates/AsOfDelegate.h"

#include <algorithm>
#include <map>
#include <utility>

namespace tessellon::hosts {

AsOfDelegate::AsOfDelegate(std::shared_ptr<tessellon::BackupSDKDelegate> remote,
                           RemoteHistory::Versions versions)
    : ForwardingDelegate(std::move(remote)),
      versions_(std::make_shared<const RemoteHistory::Versions>(std::move(versions))) {}

const std::string& AsOfDelegate::versionOf(const std::string& path) const {
  const auto version = versions_->find(path);
  return version == versions_->end() ? path : version->second.path;
}

std::shared_ptr<tessellon::CancellationDelegate> AsOfDelegate::downloadFile(
    const std::string& relativeRemotePath,
    std::function<void(const tessellon::TransferProgress&)> progress,
    std::function<void(std::optional<std::string> localPath,
                       std::optional<tessellon::BackupSDKError>)>
        completion) {
  return ForwardingDelegate::downloadFile(versionOf(relativeRemotePath), std::move(progress),
                                          std::move(completion));
}

std::shared_ptr<tessellon::CancellationDelegate> AsOfDelegate::readFile(
    const std::string& relativeRemotePath,
    std::function<bool(const char* data, size_t size)> consume,
    std::function<void(std::optional<tessellon::BackupSDKError>)> completion) {
  return ForwardingDelegate::readFile(versionOf(relativeRemotePath), std::move(consume),
                                      std::move(completion));
}

void AsOfDelegate::getDirectoryInfo(
    const std::string& relativeRemotePath,
    std::function<void(std::optional<tessellon::Directory>, std::optional<tessellon::Error>)>
        completion) {
  const std::string prefix = relativeRemotePath.empty() ? "" : relativeRemotePath + "/";
  const bool deviceFolder =
      !relativeRemotePath.empty() && relativeRemotePath.find('/') == std::string::npos;
  ForwardingDelegate::getDirectoryInfo(
      relativeRemotePath,
      [versions = versions_, prefix, deviceFolder, completion = std::move(completion)](
          const std::optional<tessellon::Directory>& listing,
          std::optional<tessellon::Error> error) {
        // What was kept below the folder, by name: a file, or a folder on the way to one.
        std::map<std::string, tessellon::Member> kept;
        for (auto it = versions->lower_bound(prefix);
             it != versions->end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
          const size_t slash = it->first.find('/', prefix.size());
          if (slash == std::string::npos) {
            kept[it->first] = {it->first, it->second.size, tessellon::MemberType::file};
          } else {
            const std::string folder = it->first.substr(0, slash);
            kept.emplace(folder, tessellon::Member{folder, 0, tessellon::MemberType::directory});
          }
        }
        // A folder gone since, but for what was kept of it, is still listed.
        if (error && kept.empty()) return completion(std::nullopt, std::move(error));
        tessellon::Directory merged = listing.value_or(tessellon::Directory{});
        auto& members = merged.members;
        if (deviceFolder) {
          members.erase(std::remove_if(members.begin(), members.end(),
                                       [&](const tessellon::Member& member) {
                                         return member.fullName == prefix + RemoteHistory::kFolder;
                                       }),
                        members.end());
        }
        for (tessellon::Member& member : members) {
          const auto then = kept.find(member.fullName);
          if (then == kept.end()) continue;
          if (then->second.type == tessellon::MemberType::file) member = then->second;
          kept.erase(then);
        }
        for (auto& [name, member] : kept) members.push_back(std::move(member));
        completion(std::move(merged), std::nullopt);
      });
}

}  // namespace tessellon::hosts
