#pragma once

#include <grp.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/DeepFolder.h"
#include "support/GeneratedHome.h"
#include "support/MediaTree.h"

extern char** environ;

namespace tessellon {

namespace fs = std::filesystem;
using Json = nlohmann::json;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs the built `tessellon` command with every folder it uses in a fresh temporary folder.
class CliTest : public ::testing::Test {
 protected:
  Outcome run(const std::string& arguments) {
    const int raw = std::system(commandLine(arguments).c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, dir_.read("out"), dir_.read("err")};
  }
  // As run(), but as an unprivileged user when the test runs as root, who reads every folder: the
  // sandbox is handed to "nobody" and the command runs in a child that has dropped root.
  Outcome runUnprivileged(const std::string& arguments) {
    if (::geteuid() != 0) return run(arguments);
    constexpr uid_t kNobody = 65534;
    EXPECT_EQ(std::system(("chown -R 65534:65534 '" + dir_.path() + "'").c_str()), 0);
    const std::string command = commandLine(arguments);
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
        ::_exit(125);
      }
      ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
      ::_exit(126);
    }
    int raw = 0;
    EXPECT_EQ(::waitpid(pid, &raw, 0), pid);
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, dir_.read("out"), dir_.read("err")};
  }
  // One picture that can be backed up and, below home/Pictures, three entries that cannot: a
  // name that is not UTF-8, a folder closed to its owner, and a path past PATH_MAX (in `deep`).
  // Returns the paths of the three as the command prints them, in scan order.
  std::vector<std::string> addUnreadable(const DeepFolder& deep) {
    addMedia("Pictures", "jpg", 1, 1000);
    media_.add("Pictures/bad\xff.jpg", randomContent(100, 99));
    media_.add("Pictures/closed/hidden.jpg", randomContent(100, 98));
    ::chmod(dir_.file("home/Pictures/closed").c_str(), 0);
    return {dir_.file("home/Pictures/bad\\xFF.jpg"), dir_.file("home/Pictures/closed"),
            deep.addFile(4096, "x", ".jpg")};
  }
  // Whether runUnprivileged can work here: "nobody" must reach the sandbox.
  bool sandboxReachableByAnyone() const {
    struct stat parent {};
    if (::geteuid() != 0) return true;
    return ::stat(fs::path(dir_.path()).parent_path().c_str(), &parent) == 0 &&
           (parent.st_mode & S_IXOTH) != 0;
  }

  // The command line of the sandboxed command, its output going to files "out" and "err" (with
  // `tag` appended to their names). Nothing of the caller's environment gets through: HOME is the
  // sandbox's home, the XDG folders are the sandbox's.
  std::string commandLine(const std::string& arguments, const std::string& tag = "") const {
    return "env -i PATH=/usr/bin:/bin HOME='" + dir_.file("home") + "' TMPDIR='" +
           dir_.file("tmp") + "' " + extraEnvironment_ +
           (xdgFolders_ ? " XDG_CONFIG_HOME='" + dir_.file("config") + "' XDG_DATA_HOME='" +
                              dir_.file("data") + "'"
                        : std::string()) +
           " '" TESSELLON_CLI_PATH "' " + arguments + " >'" + dir_.file("out" + tag) + "' 2>'" +
           dir_.file("err" + tag) + "' </dev/null";
  }
  // Starts the command without waiting for it.
  pid_t spawn(const std::string& arguments, const std::string& tag) const {
    std::string command = "exec " + commandLine(arguments, tag);
    char shell[] = "/bin/sh", flag[] = "-c";
    char* argv[] = {shell, flag, command.data(), nullptr};
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ), 0);
    return pid;
  }
  static int exitStatus(pid_t pid) {
    int raw = 0;
    if (waitpid(pid, &raw, 0) != pid) return -1;
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }

  // The remote and the four folders of a home in the sandbox.
  std::string folders(const std::string& home = "home") const {
    return " --remote '" + remote() + "' --pictures '" + dir_.file(home + "/Pictures") +
           "' --movies '" + dir_.file(home + "/Movies") + "' --contacts '" +
           dir_.file(home + "/contacts") + "' --calendars '" + dir_.file(home + "/calendars") + "'";
  }
  std::string remote() const { return dir_.file("remote"); }

  // `count` files of `size` bytes each under home/<folder>.
  void addMedia(const std::string& folder, const std::string& extension, int count, size_t size) {
    for (int index = 0; index < count; ++index) {
      media_.add(folder + "/" + std::to_string(index) + "." + extension,
                 randomContent(size, static_cast<uint32_t>(seed_++)));
    }
  }

  // Two cards in home/contacts/Friends and an event in home/calendars/Work, with what only their
  // kept text holds: a photo and an X- property, an alarm.
  void addContactsAndEvents() {
    for (const std::string given : {"Ada", "Grace"}) {
      dir_.write(
          "home/contacts/Friends/" + given + ".vcf",
          "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:" + given + "-1\r\nFN:" + given +
              " Example\r\nN:Example;" + given + ";;Dr.;\r\nEMAIL:" + given +
              "@example.org\r\nPHOTO;ENCODING=b;TYPE=PNG:iVBORw0KGgoAAAANSUhEUgAAAAEAAAAB\r\n"
              "X-SPOUSE:Charles\r\nEND:VCARD\r\n");
    }
    std::string dentist = dentistTomorrow();
    dentist.insert(dentist.find("END:VEVENT"),
                   "BEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:Dentist\r\n"
                   "TRIGGER:-PT30M\r\nEND:VALARM\r\n");
    dir_.write("home/calendars/Work/dentist.ics", dentist);
  }

  // The device ID that `list --json` shows for the only backup on the remote.
  std::string deviceID() {
    const Outcome list = run("list --json --remote '" + remote() + "'");
    std::smatch match;
    EXPECT_TRUE(std::regex_search(list.out, match, std::regex(R"re("deviceID":"([^"]+)")re")))
        << list.out << list.err;
    return match.size() > 1 ? match[1].str() : "";
  }

  struct FileState {
    std::string content;
    int64_t modifiedSeconds = 0;
    friend bool operator==(const FileState&, const FileState&) = default;
    friend void PrintTo(const FileState& file, std::ostream* out) {
      *out << file.content.size() << " bytes modified at " << file.modifiedSeconds;
    }
  };

  // Every file below `folder` of the sandbox, by relative path.
  std::map<std::string, FileState> filesBelow(const std::string& folder) const {
    std::map<std::string, FileState> files;
    const fs::path root = dir_.file(folder);
    if (!fs::exists(root)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      if (!entry.is_regular_file()) continue;
      const auto modified = std::chrono::file_clock::to_sys(entry.last_write_time());
      files[entry.path().lexically_relative(root).string()] = {
          dir_.read(entry.path().string()),
          std::chrono::floor<std::chrono::seconds>(modified.time_since_epoch()).count()};
    }
    return files;
  }

  // The properties named `names` in the files below `folder`, as "NAME:value" without parameters:
  // what a card or an event says, whatever file layout and parameters the writer chose.
  std::multiset<std::string> propertiesBelow(const std::string& folder,
                                             const std::vector<std::string>& names) const {
    std::multiset<std::string> found;
    for (const auto& [path, file] : filesBelow(folder)) {
      std::istringstream text(file.content);
      for (std::string line; std::getline(text, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        const std::string name = line.substr(0, std::min(colon, line.find(';')));
        if (std::find(names.begin(), names.end(), name) != names.end()) {
          found.insert(name + line.substr(colon));
        }
      }
    }
    return found;
  }

  // Sets `field` of the record in remote/<folder>/backup.json, after copying remote/<from> there.
  void editBackup(const std::string& folder, const std::string& field, const std::string& value,
                  const std::string& from = "") {
    if (!from.empty())
      fs::copy(remote() + "/" + from, remote() + "/" + folder, fs::copy_options::recursive);
    const std::string path = remote() + "/" + folder + "/backup.json";
    Json record = Json::parse(dir_.read(path));
    record[field] = value;
    std::ofstream(path) << record.dump();
  }

  // "<items> <missing> <archives>" of the remote: exactly one device folder with a readable
  // record, every media item of its documents present as a file, no archive left behind.
  std::string checkRemote() const {
    std::vector<fs::path> devices;
    for (const auto& entry : fs::directory_iterator(remote())) {
      if (fs::exists(entry.path() / "backup.json")) devices.push_back(entry.path());
    }
    if (devices.size() != 1) return std::to_string(devices.size()) + " devices";
    const fs::path& device = devices.front();
    if (!Json::accept(dir_.read((device / "backup.json").string()))) return "unreadable record";
    int items = 0, missing = 0, archives = 0;
    for (const std::string category : {"images", "videos"}) {
      const fs::path document = device / (category + ".json");
      if (!fs::exists(document)) continue;
      for (const Json& item :
           Json::parse(dir_.read(document.string())).value("items", Json::array())) {
        const std::string extension = item.at("fileExtension");
        const std::string name =
            item.at("fingerprint").get<std::string>() + (extension.empty() ? "" : "." + extension);
        ++items;
        missing += !fs::is_regular_file(device / category / name);
      }
    }
    for (const auto& entry : fs::recursive_directory_iterator(device)) {
      archives += entry.path().extension() == ".zip";
    }
    return std::to_string(items) + " " + std::to_string(missing) + " " + std::to_string(archives);
  }

  TempDir dir_;
  MediaTree media_{dir_.file("home"), {}};
  // The remote exists, as 'tessellon init' leaves it; the tests of init remove it.
  const bool remoteMade_ = fs::create_directories(remote());
  // Variables set for the command (before the XDG ones, which win).
  std::string extraEnvironment_;
  // Whether the command gets XDG_CONFIG_HOME and XDG_DATA_HOME, or finds its folders in HOME.
  bool xdgFolders_ = true;

  int seed_ = 1;
};

}  // namespace tessellon
