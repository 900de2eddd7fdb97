#include "fuzz/FuzzSandbox.h"

#include <signal.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tessellon::fuzz {
namespace fs = std::filesystem;
namespace {

constexpr const char* kCanaryContent =
    "the user's own file, outside every folder the library knows";
constexpr const char* kForeignContent = "a file the host does not own";

void write(const std::string& path, const std::string& content) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

std::string read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// Bytes from a fixed seed: the same home for every execution.
std::string seededBytes(size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  for (char& byte : bytes) {
    seed = seed * 1664525u + 1013904223u;
    byte = static_cast<char>(seed >> 24);
  }
  return bytes;
}

// An event tomorrow, so it lies in the window a backup takes whenever the fuzzer runs.
std::string eventTomorrow() {
  const auto tomorrow = std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now()) +
                        std::chrono::days(1);
  const std::time_t time = std::chrono::system_clock::to_time_t(tomorrow);
  char day[16];
  std::strftime(day, sizeof day, "%Y%m%d", std::gmtime(&time));
  return std::string(
             "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//fuzz//EN\r\nBEGIN:VEVENT\r\n"
             "UID:dentist\r\nDTSTAMP:20240101T000000Z\r\nDTSTART:") +
         day + "T090000Z\r\nDTEND:" + day +
         "T100000Z\r\nSUMMARY:Dentist\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
}

// A run that aborted (the fuzzer's findings do) leaves its folder behind; the next one removes
// the folders of processes that are gone.
void removeAbandonedRoots(const std::string& base) {
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(base, ignored)) {
    const std::string name = entry.path().filename().string();
    if (!name.starts_with("tessellon-fuzz-")) continue;
    const long pid = std::strtol(name.c_str() + std::strlen("tessellon-fuzz-"), nullptr, 10);
    if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
      fs::remove_all(entry.path(), ignored);
    }
  }
}

std::string safeRemotePath(const std::string& path) {
  std::string safe;
  std::stringstream components(path);
  std::string component;
  while (std::getline(components, component, '/')) {
    if (component.empty() || component == "." || component == "..") continue;
    if (component == "$UID") component = FuzzSandbox::kDeviceUID;
    safe += (safe.empty() ? "" : "/") + component;
  }
  return safe;
}

}  // namespace

const std::string& FuzzSandbox::processRoot() {
  static const std::string root = [] {
    // Creating and deleting a few hundred files per execution is what an execution mostly costs
    // on a disk file system (ext4 searches its recently deleted inodes); in memory it is ~8x
    // cheaper.
    const char* tmp = std::getenv("TMPDIR");
    std::string base = tmp && *tmp == '/' ? tmp : "/tmp";
    if (::access("/dev/shm", W_OK | X_OK) == 0) base = "/dev/shm";
    removeAbandonedRoots(base);
    const std::string folder = base + "/tessellon-fuzz-" + std::to_string(::getpid());
    fs::remove_all(folder);
    fs::create_directories(folder + "/trap");
    write(folder + "/canary", kCanaryContent);
    for (const char* name : {"HOME", "TMPDIR", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME",
                             "XDG_STATE_HOME"}) {
      ::setenv(name, (folder + "/trap").c_str(), 1);
    }
    // Outlives the statics destroyed at exit, which run before this handler.
    static const std::string* const atExit = new std::string(folder);
    std::atexit([] {
      std::error_code ignored;
      fs::remove_all(*atExit, ignored);
    });
    return folder;
  }();
  return root;
}

const std::string& FuzzSandbox::canary() {
  static const std::string path = processRoot() + "/canary";
  return path;
}

FuzzSandbox::FuzzSandbox() {
  static std::atomic<unsigned> executions{0};
  root_ = processRoot() + "/run-" + std::to_string(executions++);
  home_ = root_ + "/home";
  temporary_ = root_ + "/library/tmp";
  remote_ = root_ + "/remote";
  foreign_ = root_ + "/foreign/loot.json";
  homeFiles_ = {
      {"Pictures/a.jpg", seededBytes(700, 1)},
      {"Pictures/2020/Urlaub/b.png", seededBytes(1300, 2)},
      {"Movies/c.mov", seededBytes(2100, 3)},
      {"contacts/default/anna.vcf",
       "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:anna\r\nFN:Anna Berg\r\nN:Berg;Anna;;;\r\n"
       "TEL;TYPE=CELL:+49 170 1234567\r\nEMAIL;TYPE=HOME:anna@example.org\r\nEND:VCARD\r\n"},
      {"calendars/home/displayname", "Home"},
      {"calendars/home/dentist.ics", eventTomorrow()},
  };
  for (const auto& [path, content] : homeFiles_) write(home_ + "/" + path, content);
  fs::create_directories(temporary_);
  fs::permissions(temporary_, fs::perms::owner_all, fs::perm_options::replace);
  // A fixed device identifier: this device's remote folder is known, and no identifier is derived
  // or stored during the execution.
  write(root_ + "/library/state/defaults", std::string("deviceUID=") + kDeviceUID + "\n");
  fs::create_directories(remote_);
  write(foreign_, kForeignContent);
}

FuzzSandbox::~FuzzSandbox() {
  std::error_code ignored;
  fs::remove_all(root_, ignored);
}

BackupSDKOptions FuzzSandbox::options() const {
  BackupSDKOptions options;
  options.picturesDirectory = home_ + "/Pictures";
  options.moviesDirectory = home_ + "/Movies";
  options.contactsDirectory = home_ + "/contacts";
  options.calendarsDirectory = home_ + "/calendars";
  options.temporaryDirectory = temporary_;
  options.stateDirectory = root_ + "/library/state";
  return options;
}

void FuzzSandbox::serve(const std::vector<FuzzScript::ServedFile>& files) const {
  for (const auto& file : files) {
    const std::string path = safeRemotePath(file.path);
    if (path.empty() || path.size() > 200) continue;
    std::error_code failed;
    // A served file may name a folder that another one made a file, or the reverse: skip it.
    fs::create_directories(fs::path(remote_ + "/" + path).parent_path(), failed);
    if (failed || fs::is_directory(remote_ + "/" + path)) continue;
    std::ofstream(remote_ + "/" + path, std::ios::binary) << file.content;
  }
}

std::string FuzzSandbox::violation() const {
  for (const auto& [path, content] : homeFiles_) {
    const std::string file = home_ + "/" + path;
    if (fs::is_symlink(file) || !fs::is_regular_file(file) || read(file) != content) {
      return "the home's file " + path + " was changed or removed";
    }
  }
  if (fs::is_symlink(foreign_) || read(foreign_) != kForeignContent ||
      std::distance(fs::directory_iterator(fs::path(foreign_).parent_path()),
                    fs::directory_iterator()) != 1) {
    return "the foreign folder outside the library's temporary folder was written to";
  }
  if (fs::is_symlink(canary()) || read(canary()) != kCanaryContent) {
    return "the canary outside the sandbox was changed";
  }
  const fs::path trap = processRoot() + "/trap";
  if (!fs::is_directory(trap) || !fs::is_empty(trap)) {
    return "something was written to a default location (HOME, TMPDIR or XDG): " +
           (fs::is_directory(trap) && !fs::is_empty(trap)
                ? fs::directory_iterator(trap)->path().string()
                : std::string("the folder is gone"));
  }
  return {};
}

}  // namespace tessellon::fuzz
