#pragma once

#include <sys/wait.h>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tessellon/ForwardingDelegate.h"

namespace tessellon {

// Forwards to a real remote and keeps a copy of every archive that reaches it, in upload order
// (the remote itself keeps only the last one).
class ArchiveKeepingDelegate final : public ForwardingDelegate {
 public:
  ArchiveKeepingDelegate(std::shared_ptr<BackupSDKDelegate> inner, std::string folder)
      : ForwardingDelegate(std::move(inner)), folder_(std::move(folder)) {
    std::filesystem::create_directories(folder_);
  }

  std::vector<std::string> archives() const {
    std::lock_guard lock(mutex_);
    return archives_;
  }

  std::shared_ptr<CancellationDelegate> uploadFile(
      const std::string& localPath, const std::string& relativeRemotePath,
      std::function<void(const TransferProgress&)> progress,
      std::function<void(std::optional<Error>)> completion) override {
    {
      std::lock_guard lock(mutex_);
      archives_.push_back(folder_ + "/archive-" + std::to_string(archives_.size() + 1) + ".zip");
      std::filesystem::copy_file(localPath, archives_.back());
    }
    return ForwardingDelegate::uploadFile(localPath, relativeRemotePath, std::move(progress),
                                          std::move(completion));
  }

 private:
  const std::string folder_;
  mutable std::mutex mutex_;
  std::vector<std::string> archives_;
};

// What a shell command prints on standard output and error; `status` gets its exit status.
inline std::string shellOutput(const std::string& command, int* status = nullptr) {
  std::string output;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  char buffer[4096];
  while (pipe && fgets(buffer, sizeof buffer, pipe)) output += buffer;
  const int raw = pipe ? ::pclose(pipe) : -1;
  if (status) *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return output;
}

// The entry names of a ZIP archive in order, after `unzip -t` found every entry intact.
inline std::vector<std::string> zipEntries(const std::string& archive) {
  int status = -1;
  const std::string tested = shellOutput("unzip -tqq '" + archive + "'", &status);
  if (status != 0) return {"unzip -t failed: " + tested};
  std::vector<std::string> names;
  std::istringstream lines(shellOutput("unzip -Z1 '" + archive + "'"));
  for (std::string line; std::getline(lines, line);) names.push_back(line);
  return names;
}

}  // namespace tessellon
