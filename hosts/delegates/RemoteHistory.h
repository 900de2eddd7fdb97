#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tessellon/BackupSDKDelegate.h"
#include "tessellon/Directory.h"
#include "tessellon/Error.h"

namespace tessellon::hosts {

// The earlier versions a remote keeps. Each device folder may hold ".history", with one folder
// per run that replaced or removed something there (a state), named after the run's start in UTC
// ("20261207T220437.972Z"); below a state, each file is the version that was at the same path,
// relative to the device folder, until that run. The version of a path at a date is therefore
// in the earliest state from that date on that holds it, else the path itself. (A state dated
// exactly then holds what was there when its run began.)
//
// Every call blocks until the remote has answered, so never call one from a completion of the
// same remote.
class RemoteHistory {
 public:
  using Clock = std::chrono::system_clock;
  static constexpr const char* kFolder = ".history";

  struct State {
    std::string name;
    Clock::time_point date;
    int64_t files = 0;
    int64_t bytes = 0;
  };
  // Where the version of a path is kept, and its size.
  struct Version {
    std::string path;
    int64_t size = 0;
  };
  // Remote path -> its version, for the paths whose version at a date is not the path itself.
  using Versions = std::map<std::string, Version>;

  explicit RemoteHistory(std::shared_ptr<tessellon::BackupSDKDelegate> remote);

  static std::string stateName(Clock::time_point start);
  // Nothing for a name that is not a state's.
  static std::optional<Clock::time_point> stateDate(const std::string& name);
  // "<device>/.history/<state>"
  static std::string statePath(const std::string& device, const std::string& state);

  // The device's states, oldest first, with what each holds.
  std::optional<tessellon::Error> states(const std::string& device, std::vector<State>& out);
  // Removes the device's states from before `before`; `removed` counts them. When it removes any,
  // it leaves the folder "expired-<state name of before>" in ".history" (and drops older ones), so
  // that no one mistakes what is left for the whole history.
  std::optional<tessellon::Error> expire(const std::string& device, Clock::time_point before,
                                         int& removed);
  // Since when the device's history is whole: nothing when no state ever expired.
  std::optional<tessellon::Error> wholeSince(const std::string& device,
                                             std::optional<Clock::time_point>& since);
  // The versions at `date` of every device's paths.
  std::optional<tessellon::Error> versionsAt(Clock::time_point date, Versions& out);

 private:
  std::optional<tessellon::Error> list(const std::string& folder, tessellon::Directory& out);
  // The files below `folder`, at any depth.
  std::optional<tessellon::Error> listFiles(const std::string& folder,
                                            std::vector<tessellon::Member>& out);
  // The device's state names with their dates, oldest first; none when it has no history.
  std::optional<tessellon::Error> stateNames(
      const std::string& device, std::vector<std::pair<std::string, Clock::time_point>>& out);
  // As stateNames, for the folders "expired-<state name>".
  std::optional<tessellon::Error> expiredNames(
      const std::string& device, std::vector<std::pair<std::string, Clock::time_point>>& out);
  std::optional<tessellon::Error> remove(const std::string& path);
  // The members of the device's ".history"; none when it has none.
  std::optional<tessellon::Error> historyMembers(const std::string& device,
                                                 std::vector<tessellon::Member>& out);

  const std::shared_ptr<tessellon::BackupSDKDelegate> remote_;
};

}  // namespace tessellon::hosts
