#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/MediaTree.h"
#include "support/TempDir.h"

extern char** environ;

namespace tessellon {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

// Checks a remote written by the command: exactly one device folder, its "backup.json" readable,
// every media item of "images.json" and "videos.json" present as a file, no archive left behind.
// Prints "<items> <missing> <archives>".
constexpr const char* kRemoteCheck = R"(
import json, os, sys
root = sys.argv[1]
devices = [d for d in os.listdir(root) if os.path.isfile(os.path.join(root, d, 'backup.json'))]
assert len(devices) == 1, devices
device = os.path.join(root, devices[0])
json.load(open(os.path.join(device, 'backup.json')))
def items(value):
    if isinstance(value, dict):
        if 'fingerprint' in value and 'fileExtension' in value:
            yield value
        for child in value.values():
            yield from items(child)
    elif isinstance(value, list):
        for child in value:
            yield from items(child)
count = missing = 0
for category in ('images', 'videos'):
    document = os.path.join(device, category + '.json')
    if not os.path.exists(document):
        continue
    for item in items(json.load(open(document))):
        count += 1
        name = item['fingerprint'] + ('.' + item['fileExtension'] if item['fileExtension'] else '')
        missing += not os.path.isfile(os.path.join(device, category, name))
archives = sum(name.endswith('.zip') for _, _, names in os.walk(device) for name in names)
print(count, missing, archives)
)";

// Runs the built `tessellon` command in a sandbox: its state, temporary and data folders, the
// remote and the user's folders all live in a fresh temporary folder.
class CliTest : public ::testing::Test {
 protected:
  Outcome run(const std::string& arguments) {
    const int raw = std::system(commandLine(arguments).c_str());
    Outcome outcome;
    outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    outcome.out = dir_.read("out");
    outcome.err = dir_.read("err");
    return outcome;
  }

  // Starts the command without waiting for it; its output goes to the same files as run()'s.
  pid_t start(const std::string& arguments) {
    std::string command = "exec " + commandLine(arguments);
    char shell[] = "/bin/sh";
    char flag[] = "-c";
    char* argv[] = {shell, flag, command.data(), nullptr};
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ), 0);
    return pid;
  }

  // The remote and the four sources of the sandbox's user.
  std::string sources() const { return folders("home"); }

  // The remote and the four folders of a home in the sandbox.
  std::string folders(const std::string& home) const {
    return " --remote '" + remote() + "' --pictures '" + dir_.file(home + "/Pictures") +
           "' --movies '" + dir_.file(home + "/Movies") + "' --contacts '" +
           dir_.file(home + "/contacts") + "' --calendars '" + dir_.file(home + "/calendars") + "'";
  }

  std::string remote() const { return dir_.file("remote"); }

  // Every media file on the remote with its modification time, which an upload would change.
  std::map<std::string, std::filesystem::file_time_type> remoteMedia() const {
    std::map<std::string, std::filesystem::file_time_type> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(remote())) {
      const std::string path = entry.path().string();
      if (entry.is_regular_file() && path.find("/images/") != std::string::npos) {
        files[path] = entry.last_write_time();
      }
    }
    return files;
  }

  // `count` files of `size` bytes each under home/<folder>.
  void addMedia(const std::string& folder, const std::string& extension, int count, size_t size) {
    for (int index = 0; index < count; ++index) {
      media_.add(folder + "/" + std::to_string(index) + "." + extension,
                 randomContent(size, static_cast<uint32_t>(seed_++)));
    }
  }

  // Two address book cards and two calendar events in home/contacts/Friends and
  // home/calendars/Work, as the user's own programs would leave them. The events fall in the
  // coming days: a backup takes the events of a year around today.
  void addContactsAndEvents() {
    for (const std::string given : {"Ada", "Grace"}) {
      dir_.write("home/contacts/Friends/" + given + ".vcf",
                 "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:" + given + "-1\r\nFN:" + given +
                     " Example\r\nN:Example;" + given + ";;;\r\nEMAIL:" + given +
                     "@example.org\r\nEND:VCARD\r\n");
    }
    int day = 0;
    for (const std::string summary : {"Standup", "Review"}) {
      const std::string start = utcText(std::chrono::hours(24 * ++day));
      dir_.write("home/calendars/Work/" + summary + ".ics",
                 "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Test//Test//EN\r\nBEGIN:VEVENT\r\n"
                 "UID:" +
                     summary + "@example.org\r\nDTSTAMP:" + utcText({}) + "\r\nDTSTART:" + start +
                     "\r\nDTEND:" + start + "\r\nSUMMARY:" + summary +
                     "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
    }
  }

  // "20261206T000000Z": today's UTC midnight moved by `offset`.
  static std::string utcText(std::chrono::hours offset) {
    const auto midnight = std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now());
    const std::time_t time = std::chrono::system_clock::to_time_t(midnight + offset);
    std::tm parts{};
    gmtime_r(&time, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &parts);
    return text;
  }

  // Pictures, movies, contacts and events in home, backed up; returns the device ID of the backup.
  std::string backUpEverything() {
    addMedia("Pictures/2020", "jpg", 3, 5000);
    addMedia("Movies", "mov", 2, 72500);
    addContactsAndEvents();
    const Outcome backup = run("backup" + sources());
    EXPECT_EQ(backup.status, 0) << backup.err;
    return deviceID();
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
    const std::filesystem::path root = dir_.file(folder);
    if (!std::filesystem::exists(root)) return files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
      if (!entry.is_regular_file()) continue;
      const auto modified = std::chrono::file_clock::to_sys(entry.last_write_time());
      files[entry.path().lexically_relative(root).string()] = {
          dir_.read(entry.path().lexically_relative(dir_.path()).string()),
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
    const Outcome edit = python(
        "import json,os,shutil,sys\nroot,folder,field,value,source=sys.argv[1:]\n"
        "if source: shutil.copytree(os.path.join(root,source), os.path.join(root,folder))\n"
        "p=os.path.join(root,folder,'backup.json')\nb=json.load(open(p))\nb[field]=value\n"
        "json.dump(b,open(p,'w'))",
        "'" + remote() + "' '" + folder + "' '" + field + "' '" + value + "' '" + from + "'");
    ASSERT_EQ(edit.status, 0) << edit.out;
  }

  // Whether `text` parses as one JSON document.
  bool isJson(const std::string& text) {
    dir_.write("document.json", text);
    return python("import json,sys; json.load(sys.stdin)", "<'" + dir_.file("document.json") + "'")
               .status == 0;
  }

  Outcome python(const std::string& script, const std::string& redirection) {
    dir_.write("script.py", script);
    const std::string command = "python3 '" + dir_.file("script.py") + "' " + redirection + " >'" +
                                dir_.file("py-out") + "' 2>&1";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, dir_.read("py-out"), ""};
  }

  // "<items> <missing> <archives>" of the remote, see kRemoteCheck.
  std::string checkRemote() {
    const Outcome outcome = python(kRemoteCheck, "'" + remote() + "'");
    EXPECT_EQ(outcome.status, 0) << outcome.out;
    return outcome.out;
  }

  TempDir dir_;
  MediaTree media_{dir_.file("home"), {}};

 private:
  std::string commandLine(const std::string& arguments) const {
    return "env TMPDIR='" + dir_.file("tmp") + "' XDG_CONFIG_HOME='" + dir_.file("config") +
           "' XDG_DATA_HOME='" + dir_.file("data") + "' '" TESSELLON_CLI_PATH "' " + arguments +
           " >'" + dir_.file("out") + "' 2>'" + dir_.file("err") + "' </dev/null";
  }

  int seed_ = 1;
};

TEST_F(CliTest, VersionPrintsTheProjectVersion) {
  const Outcome outcome = run("--version");
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out, "tessellon " TESSELLON_EXPECTED_VERSION "\n");
  EXPECT_EQ(outcome.err, "");
}

TEST_F(CliTest, WithoutArgumentsPrintsUsageListingEveryVerb) {
  for (const char* arguments : {"", "help"}) {
    SCOPED_TRACE(arguments);
    const Outcome outcome = run(arguments);
    EXPECT_EQ(outcome.status, 0);
    for (const char* verb : {"preview", "backup", "list", "restore"}) {
      EXPECT_THAT(outcome.out, HasSubstr(verb));
    }
    EXPECT_THAT(outcome.out, Not(HasSubstr("not available")));
  }
}

TEST_F(CliTest, HelpOfEachVerbDocumentsEveryOption) {
  const std::string sourceOptions[] = {
      "--remote", "--pictures",     "--movies",       "--contacts", "--calendars", "--only",
      "--name",   "--keep-deleted", "--archive-size", "--json",     "--verbose",   "--quiet"};
  const struct {
    const char* arguments;
    std::vector<std::string> options;
  } rows[] = {
      {"backup --help", {std::begin(sourceOptions), std::end(sourceOptions)}},
      {"help preview", {std::begin(sourceOptions), std::end(sourceOptions)}},
      {"list --help", {"--remote", "--json", "--verbose", "--quiet"}},
      {"restore --help",
       {"--remote", "--device", "--pictures", "--movies", "--contacts", "--calendars", "--only",
        "--json", "--verbose", "--quiet"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.arguments);
    const Outcome outcome = run(row.arguments);
    EXPECT_EQ(outcome.status, 0);
    for (const std::string& option : row.options) EXPECT_THAT(outcome.out, HasSubstr(option));
    EXPECT_THAT(outcome.out, HasSubstr("Exit status: 0 done"));
  }
  EXPECT_THAT(run("help restore").out, Not(HasSubstr("--archive-size")));
  EXPECT_THAT(run("help list").out, Not(HasSubstr("--pictures")));
}

TEST_F(CliTest, BackupThenListShowsTheBackup) {
  addMedia("Pictures/2020", "jpg", 3, 5000);
  addMedia("Movies", "mov", 2, 72500);

  const Outcome backup = run("backup --only images,videos --name 'Trip 2020'" + sources());
  ASSERT_EQ(backup.status, 0) << backup.err;
  EXPECT_THAT(backup.out, HasSubstr("Done: 5 items (0.16 MB), 0 failed"));
  EXPECT_EQ(checkRemote(), "5 0 0\n");

  const Outcome list = run("list --json --remote '" + remote() + "'");
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_TRUE(isJson(list.out)) << list.out;
  EXPECT_THAT(list.out, HasSubstr(R"("name":"Trip 2020")"));
  EXPECT_THAT(list.out, HasSubstr(R"("images":{"bytes":15000,"count":3})"));
  EXPECT_THAT(list.out, HasSubstr(R"("videos":{"bytes":145000,"count":2})"));
}

TEST_F(CliTest, SecondBackupUploadsNothingNew) {
  addMedia("Pictures", "png", 4, 3000);
  ASSERT_EQ(run("backup --only images" + sources()).status, 0);
  const auto uploaded = remoteMedia();
  ASSERT_EQ(uploaded.size(), 4u);

  const Outcome again = run("backup --only images" + sources());
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_THAT(again.out, HasSubstr("Nothing new to back up"));
  EXPECT_EQ(checkRemote(), "4 0 0\n");
  EXPECT_EQ(remoteMedia(), uploaded);
}

TEST_F(CliTest, DefaultCategoriesAreTheSourcesThatExistAndTheOthersAreNamed) {
  addMedia("Pictures", "jpg", 2, 1000);

  const Outcome outcome = run("backup --json" + sources());
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_THAT(outcome.out, HasSubstr(R"("images":)"));
  EXPECT_THAT(outcome.out, Not(HasSubstr(R"("videos":)")));
  for (const char* category : {"videos", "contacts", "calendars"}) {
    EXPECT_THAT(outcome.err, HasSubstr(std::string("left out ") + category + ": "));
  }
  EXPECT_THAT(outcome.err, HasSubstr(dir_.file("home/Movies") + " does not exist"));
}

TEST_F(CliTest, JsonModePrintsOnlyJsonOnStandardOutput) {
  addMedia("Pictures", "jpg", 2, 2000);
  const struct {
    std::string arguments;
    bool logs;
  } rows[] = {
      {"preview --json -vv --only images" + sources(), true},
      {"backup --json -vvv --only images" + sources(), true},
      {"list --json -v --remote '" + remote() + "'", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.arguments);
    const Outcome outcome = run(row.arguments);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_TRUE(isJson(outcome.out)) << outcome.out;
    // The log lines went to standard error.
    if (row.logs) {
      EXPECT_THAT(outcome.err, HasSubstr("info: "));
    }
  }
}

TEST_F(CliTest, PreviewCountsTheWorkWithoutUploading) {
  addMedia("Pictures", "jpg", 3, 4000);

  const Outcome outcome = run("preview --only images" + sources());
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_THAT(outcome.out, HasSubstr("images:    3 items, 0.01 MB"));
  EXPECT_FALSE(std::filesystem::exists(remote() + "/" + "backup.json"));
  EXPECT_EQ(run("list --json --remote '" + remote() + "'").out, "[]\n");
}

TEST_F(CliTest, InterruptCancelsTheBackupAndTheNextBackupCompletesIt) {
  addMedia("Pictures", "jpg", 160, 256 * 1024);
  const pid_t pid = start("backup --only images --archive-size 512k" + sources());
  ASSERT_GT(pid, 0);

  // The device folder appears when the run starts uploading.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  int raw = 0;
  bool exited = false;
  while (std::chrono::steady_clock::now() < deadline &&
         (!std::filesystem::exists(remote()) || std::filesystem::is_empty(remote()))) {
    exited = waitpid(pid, &raw, WNOHANG) == pid;
    if (exited) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_FALSE(exited) << dir_.read("err");
  ASSERT_EQ(kill(pid, SIGINT), 0);
  ASSERT_EQ(waitpid(pid, &raw, 0), pid);
  ASSERT_TRUE(WIFEXITED(raw));
  EXPECT_EQ(WEXITSTATUS(raw), 130) << dir_.read("err");
  EXPECT_THAT(dir_.read("err"), HasSubstr("cancelled"));

  const Outcome again = run("backup --only images --archive-size 512k" + sources());
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(checkRemote(), "160 0 0\n");
}

TEST_F(CliTest, RestoreBringsEveryCategoryBackIntoAnEmptyHome) {
  const std::string device = backUpEverything();

  const Outcome restore = run("restore --json --device '" + device + "'" + folders("home2"));
  EXPECT_EQ(restore.status, 0) << restore.err;
  EXPECT_TRUE(isJson(restore.out)) << restore.out;
  EXPECT_THAT(
      restore.out,
      HasSubstr(R"("images":{"failed":0,"failedBytes":0,"success":3,"successBytes":15000})"));
  EXPECT_THAT(
      restore.out,
      HasSubstr(R"("videos":{"failed":0,"failedBytes":0,"success":2,"successBytes":145000})"));
  EXPECT_THAT(restore.out, HasSubstr(R"("contacts":{"failed":0,"failedBytes":0,"success":2,)"));
  EXPECT_THAT(restore.out, HasSubstr(R"("calendars":{"failed":0,"failedBytes":0,"success":1,)"));

  // Same place, same bytes, same modification second.
  EXPECT_EQ(filesBelow("home2/Pictures"), filesBelow("home/Pictures"));
  EXPECT_EQ(filesBelow("home2/Movies"), filesBelow("home/Movies"));
  EXPECT_EQ(filesBelow("home/Pictures").size(), 3u);
  EXPECT_EQ(propertiesBelow("home2/contacts", {"FN", "EMAIL"}),
            propertiesBelow("home/contacts", {"FN", "EMAIL"}));
  // A restored event is a new event of the calendar, with an identifier of its own.
  EXPECT_EQ(propertiesBelow("home2/calendars", {"SUMMARY", "DTSTART", "DTEND"}),
            propertiesBelow("home/calendars", {"SUMMARY", "DTSTART", "DTEND"}));
}

TEST_F(CliTest, RestoringAgainWritesNoNewFile) {
  backUpEverything();
  ASSERT_EQ(run("restore -q" + folders("home2")).status, 0);
  const auto restored = filesBelow("home2");
  ASSERT_EQ(filesBelow("home2/Pictures").size(), 3u);

  // Without --device: the backup this computer made.
  const Outcome again = run("restore" + folders("home2"));
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(filesBelow("home2"), restored);
}

TEST_F(CliTest, RestoreTakesTheCategoriesTheBackupHoldsAndNamesTheOthers) {
  addMedia("Pictures", "jpg", 2, 1000);
  addContactsAndEvents();
  ASSERT_EQ(run("backup --only contacts" + sources()).status, 0);

  const Outcome restore = run("restore --device '" + deviceID() + "'" + folders("home2"));
  EXPECT_EQ(restore.status, 0) << restore.err;
  EXPECT_THAT(restore.out, HasSubstr("Contacts"));
  EXPECT_THAT(restore.out, HasSubstr("Done: 2 items"));
  EXPECT_THAT(restore.out, Not(HasSubstr("Images")));
  for (const char* category : {"images", "videos", "calendars"}) {
    EXPECT_THAT(restore.err,
                HasSubstr(std::string("left out ") + category + ": the backup holds none"));
  }
  EXPECT_FALSE(std::filesystem::exists(dir_.file("home2/Pictures")));
  EXPECT_EQ(propertiesBelow("home2/contacts", {"FN"}), propertiesBelow("home/contacts", {"FN"}));
}

// Error paths.

TEST_F(CliTest, UsageErrorsExitWithStatusTwoAndExplainOnStandardError) {
  const struct {
    const char* arguments;
    const char* mentioned;
  } rows[] = {
      {"frobnicate", "frobnicate"},
      {"--frobnicate", "--frobnicate"},
      {"help frobnicate", "frobnicate"},
      {"backup --only images,pictures", "pictures"},
      {"backup --archive-size 0", "--archive-size"},
      {"preview --archive-size lots", "--archive-size"},
      {"list --pictures /tmp", "--pictures"},
      {"backup stray", "stray"},
      {"restore --only contacts,pictures", "pictures"},
      {"restore --device", "--device"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.arguments);
    const Outcome outcome = run(row.arguments);
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.out, "");
    EXPECT_THAT(outcome.err, HasSubstr(row.mentioned));
  }
}

TEST_F(CliTest, ErrorsExitWithStatusOneNamingDomainAndCode) {
  addMedia("Pictures", "jpg", 1, 1000);
  dir_.write("not-a-folder", "x");
  const struct {
    std::string arguments;
    std::string message;
  } rows[] = {
      // Asked for explicitly, a missing source is an error rather than an empty category.
      {"backup --only videos" + sources(),
       "tessellon: the picture or movie folder cannot be read (BackupSDKError 303)\n"},
      {"list --remote '" + dir_.file("not-a-folder") + "'", "(NSPOSIXErrorDomain 20)\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.arguments);
    const Outcome outcome = run(row.arguments);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.out, "");
    EXPECT_THAT(outcome.err, ::testing::EndsWith(row.message));
  }
}

TEST_F(CliTest, RestoreWithoutASingleFittingBackupNamesTheDevicesFound) {
  addContactsAndEvents();
  ASSERT_EQ(run("backup --only contacts" + sources()).status, 0);
  const std::string device = deviceID();
  const auto failure = [&](const std::string& arguments) {
    const Outcome outcome = run(arguments);
    EXPECT_EQ(outcome.status, 1) << arguments;
    EXPECT_EQ(outcome.out, "") << arguments;
    return outcome.err;
  };

  // A second device of this computer's name, as a reinstalled system leaves: no guessing.
  editBackup("OTHER", "deviceID", "OTHER", device);
  std::string err = failure("restore" + folders("home2"));
  EXPECT_THAT(err, HasSubstr("several backups"));
  EXPECT_THAT(err, HasSubstr("\n  OTHER  "));
  EXPECT_THAT(err, HasSubstr("\n  " + device + "  "));

  editBackup(device, "deviceName", "elsewhere");
  editBackup("OTHER", "deviceName", "elsewhere");
  err = failure("restore" + folders("home2"));
  EXPECT_THAT(err, HasSubstr("no backup in " + remote() + " was made by this computer"));
  EXPECT_THAT(err, HasSubstr("\n  " + device + "  elsewhere\n"));
  EXPECT_THAT(err, HasSubstr("pass --device"));
  EXPECT_THAT(failure("restore --device NOPE" + folders("home2")), HasSubstr("'NOPE'"));
  EXPECT_THAT(failure("restore --remote '" + dir_.file("empty") + "'"),
              HasSubstr("no backups in " + dir_.file("empty")));
  EXPECT_FALSE(std::filesystem::exists(dir_.file("home2")));

  EXPECT_EQ(run("restore --device OTHER" + folders("home2")).status, 0);
}

}  // namespace
}  // namespace tessellon
