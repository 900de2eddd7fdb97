#include "simulation/HistoryCheck.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <thread>
#include <utility>

#include "delegates/LocalFolderDelegate.h"
#include "delegates/RemoteHistory.h"
#include "simulation/RemoteRecord.h"

namespace tessellon::simulation {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::system_clock;

std::optional<size_t> hashOf(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return std::hash<std::string>{}(bytes.str());
}

// A moment on the milliseconds the states are named by, strictly between what came before and
// what comes after.
Clock::time_point distinctMoment() {
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  const auto at = std::chrono::floor<std::chrono::milliseconds>(Clock::now());
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  return at;
}

}  // namespace

HistoryCheck::HistoryCheck(std::string remoteFolder, std::shared_ptr<Invariants> invariants)
    : remoteFolder_(std::move(remoteFolder)), invariants_(std::move(invariants)) {}

HistoryCheck::Listing HistoryCheck::listing(const std::string& deviceFolder) {
  Listing files;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(deviceFolder, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (!it->is_regular_file(error)) continue;
    files[fs::relative(it->path(), deviceFolder).string()] = {
        it->file_size(error), it->last_write_time(error).time_since_epoch().count()};
  }
  return files;
}

std::string HistoryCheck::before(const std::string& deviceFolder, const std::string& when) {
  if (ended_) {
    const Listing now = listing(deviceFolder);
    const auto& [run, then] = *ended_;
    for (const auto& [path, file] : now) {
      const auto was = then.find(path);
      if (was == then.end() || was->second != file) {
        invariants_->add(when + ": " + path + " changed on the remote after " + run + " ended");
      }
    }
    for (const auto& [path, file] : then) {
      if (!now.contains(path)) {
        invariants_->add(when + ": " + path + " left the remote after " + run + " ended");
      }
    }
    ended_.reset();
  }
  Moment moment{distinctMoment(), when, {}};
  std::vector<std::string> problems;
  if (const auto record = RemoteRecord::read(deviceFolder, problems); record && problems.empty()) {
    const std::string device = fs::path(deviceFolder).filename().string();
    std::set<std::string> files = record->referencedFiles();
    files.insert("backup.json");
    for (const std::string& file : files) {
      if (const auto hash = hashOf(deviceFolder + "/" + file))
        moment.files[device + "/" + file] = *hash;
    }
    moments_.push_back(std::move(moment));
  }
  return hosts::RemoteHistory::stateName(Clock::now());
}

void HistoryCheck::after(const std::string& deviceFolder, const std::string& when) {
  ended_.emplace(when, listing(deviceFolder));
  auto remote = std::make_shared<hosts::LocalFolderDelegate>(remoteFolder_);
  hosts::RemoteHistory history(remote);
  for (const Moment& moment : moments_) {
    hosts::RemoteHistory::Versions versions;
    if (auto error = history.versionsAt(moment.at, versions)) {
      invariants_->add(when + ": the history cannot be read: " + error->message);
      return;
    }
    for (const auto& [path, hash] : moment.files) {
      const auto version = versions.find(path);
      const std::string kept = version == versions.end() ? path : version->second.path;
      const std::optional<size_t> now = hashOf(remoteFolder_ + "/" + kept);
      if (now != hash) {
        invariants_->add(when + ": the remote as of before " + moment.when + " " +
                         (now ? "holds other bytes in " : "lost ") + path);
      }
    }
  }
}

}  // namespace tessellon::simulation
