#include "delegates/RemoteHistory.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <future>
#include <utility>

namespace tessellon::hosts {

namespace {

std::string lastComponent(const std::string& path) { return path.substr(path.rfind('/') + 1); }

}  // namespace

RemoteHistory::RemoteHistory(std::shared_ptr<tessellon::BackupSDKDelegate> remote)
    : remote_(std::move(remote)) {}

std::string RemoteHistory::stateName(Clock::time_point start) {
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(start.time_since_epoch()).count();
  const std::time_t seconds = static_cast<std::time_t>(millis / 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[64];
  std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(millis % 1000));
  return text;
}

std::optional<RemoteHistory::Clock::time_point> RemoteHistory::stateDate(const std::string& name) {
  std::tm utc{};
  int millis = 0;
  int consumed = 0;
  if (name.size() != 20 ||
      std::sscanf(name.c_str(), "%4d%2d%2dT%2d%2d%2d.%3dZ%n", &utc.tm_year, &utc.tm_mon,
                  &utc.tm_mday, &utc.tm_hour, &utc.tm_min, &utc.tm_sec, &millis, &consumed) != 7 ||
      consumed != 20) {
    return std::nullopt;
  }
  utc.tm_year -= 1900;
  utc.tm_mon -= 1;
  const std::time_t seconds = timegm(&utc);
  if (seconds == -1) return std::nullopt;
  const Clock::time_point date = Clock::from_time_t(seconds) + std::chrono::milliseconds(millis);
  // Only the names this class makes: a name that does not print back is someone else's folder.
  if (stateName(date) != name) return std::nullopt;
  return date;
}

std::string RemoteHistory::statePath(const std::string& device, const std::string& state) {
  return device + "/" + kFolder + "/" + state;
}

std::optional<tessellon::Error> RemoteHistory::list(const std::string& folder,
                                                    tessellon::Directory& out) {
  std::promise<std::pair<std::optional<tessellon::Directory>, std::optional<tessellon::Error>>>
      answer;
  remote_->getDirectoryInfo(folder, [&answer](std::optional<tessellon::Directory> listing,
                                              std::optional<tessellon::Error> error) {
    answer.set_value({std::move(listing), std::move(error)});
  });
  auto [listing, error] = answer.get_future().get();
  if (error) return error;
  out = listing ? std::move(*listing) : tessellon::Directory{};
  return std::nullopt;
}

std::optional<tessellon::Error> RemoteHistory::listFiles(const std::string& folder,
                                                         std::vector<tessellon::Member>& out) {
  tessellon::Directory listing;
  if (auto error = list(folder, listing)) return error;
  for (tessellon::Member& member : listing.members) {
    if (member.type == tessellon::MemberType::directory) {
      if (auto error = listFiles(member.fullName, out)) return error;
    } else {
      out.push_back(std::move(member));
    }
  }
  return std::nullopt;
}

std::optional<tessellon::Error> RemoteHistory::historyMembers(const std::string& device,
                                                              std::vector<tessellon::Member>& out) {
  tessellon::Directory deviceFolder;
  if (auto error = list(device, deviceFolder)) return error;
  const bool hasHistory = std::any_of(
      deviceFolder.members.begin(), deviceFolder.members.end(), [](const tessellon::Member& m) {
        return m.type == tessellon::MemberType::directory && lastComponent(m.fullName) == kFolder;
      });
  if (!hasHistory) return std::nullopt;
  tessellon::Directory history;
  if (auto error = list(device + "/" + kFolder, history)) return error;
  out = std::move(history.members);
  return std::nullopt;
}

namespace {

// The folders among `members` named `prefix` and a state name, oldest first.
std::vector<std::pair<std::string, RemoteHistory::Clock::time_point>> dated(
    const std::vector<tessellon::Member>& members, const std::string& prefix) {
  std::vector<std::pair<std::string, RemoteHistory::Clock::time_point>> found;
  for (const tessellon::Member& member : members) {
    const std::string name = lastComponent(member.fullName);
    if (member.type != tessellon::MemberType::directory || name.rfind(prefix, 0) != 0) continue;
    if (const auto date = RemoteHistory::stateDate(name.substr(prefix.size()))) {
      found.emplace_back(name, *date);
    }
  }
  std::sort(found.begin(), found.end(),
            [](const auto& a, const auto& b) { return a.second < b.second; });
  return found;
}

constexpr const char* kExpired = "expired-";

}  // namespace

std::optional<tessellon::Error> RemoteHistory::stateNames(
    const std::string& device, std::vector<std::pair<std::string, Clock::time_point>>& out) {
  std::vector<tessellon::Member> members;
  if (auto error = historyMembers(device, members)) return error;
  out = dated(members, "");
  return std::nullopt;
}

std::optional<tessellon::Error> RemoteHistory::expiredNames(
    const std::string& device, std::vector<std::pair<std::string, Clock::time_point>>& out) {
  std::vector<tessellon::Member> members;
  if (auto error = historyMembers(device, members)) return error;
  out = dated(members, kExpired);
  return std::nullopt;
}

std::optional<tessellon::Error> RemoteHistory::remove(const std::string& path) {
  std::promise<std::optional<tessellon::Error>> answer;
  remote_->deleteFile(path, [&answer](bool, std::optional<tessellon::Error> error) {
    answer.set_value(std::move(error));
  });
  return answer.get_future().get();
}

std::optional<tessellon::Error> RemoteHistory::wholeSince(const std::string& device,
                                                          std::optional<Clock::time_point>& since) {
  std::vector<std::pair<std::string, Clock::time_point>> expired;
  if (auto error = expiredNames(device, expired)) return error;
  since.reset();
  if (!expired.empty()) since = expired.back().second;
  return std::nullopt;
}

std::optional<tessellon::Error> RemoteHistory::states(const std::string& device,
                                                      std::vector<State>& out) {
  std::vector<std::pair<std::string, Clock::time_point>> names;
  if (auto error = stateNames(device, names)) return error;
  for (const auto& [name, date] : names) {
    std::vector<tessellon::Member> files;
    if (auto error = listFiles(statePath(device, name), files)) return error;
    State state{name, date, static_cast<int64_t>(files.size()), 0};
    for (const tessellon::Member& file : files) state.bytes += file.fileSizeInByte;
    out.push_back(std::move(state));
  }
  return std::nullopt;
}

std::optional<tessellon::Error> RemoteHistory::expire(const std::string& device,
                                                      Clock::time_point before, int& removed) {
  std::vector<tessellon::Member> members;
  if (auto error = historyMembers(device, members)) return error;
  for (const auto& [name, date] : dated(members, "")) {
    if (date >= before) break;
    if (auto error = remove(statePath(device, name))) return error;
    ++removed;
  }
  if (removed == 0) return std::nullopt;
  // The mark first, then the older marks: a history is never without its latest one.
  std::promise<std::optional<tessellon::Error>> made;
  remote_->createDirectory(
      statePath(device, kExpired + stateName(before)),
      [&made](bool, std::optional<tessellon::Error> error) { made.set_value(std::move(error)); });
  if (auto error = made.get_future().get()) return error;
  // Older marks say less than this one; a later one (a shorter limit before) stays.
  for (const auto& [name, date] : dated(members, kExpired)) {
    if (date >= before) break;
    if (auto error = remove(statePath(device, name))) return error;
  }
  return std::nullopt;
}

std::optional<tessellon::Error> RemoteHistory::versionsAt(Clock::time_point date, Versions& out) {
  tessellon::Directory root;
  if (auto error = list("", root)) return error;
  for (const tessellon::Member& device : root.members) {
    if (device.type != tessellon::MemberType::directory) continue;
    const std::string deviceName = lastComponent(device.fullName);
    std::vector<std::pair<std::string, Clock::time_point>> names;
    if (auto error = stateNames(deviceName, names)) return error;
    // Oldest first: the first state from the date on that holds a path has its version then.
    for (const auto& [name, stateDate] : names) {
      if (stateDate < date) continue;
      const std::string prefix = statePath(deviceName, name) + "/";
      std::vector<tessellon::Member> files;
      if (auto error = listFiles(statePath(deviceName, name), files)) return error;
      for (const tessellon::Member& file : files) {
        if (file.fullName.rfind(prefix, 0) != 0) continue;
        const std::string path = deviceName + "/" + file.fullName.substr(prefix.size());
        out.emplace(path, Version{file.fullName, file.fileSizeInByte});
      }
    }
  }
  return std::nullopt;
}

}  // namespace tessellon::hosts
