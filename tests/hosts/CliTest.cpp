#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
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
  std::string sources() const {
    return " --remote '" + remote() + "' --pictures '" + dir_.file("home/Pictures") +
           "' --movies '" + dir_.file("home/Movies") + "' --contacts '" +
           dir_.file("home/contacts") + "' --calendars '" + dir_.file("home/calendars") + "'";
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
    EXPECT_THAT(outcome.out, HasSubstr("restore is not available yet"));
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
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.arguments);
    const Outcome outcome = run(row.arguments);
    EXPECT_EQ(outcome.status, 0);
    for (const std::string& option : row.options) EXPECT_THAT(outcome.out, HasSubstr(option));
  }
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

TEST_F(CliTest, RestoreIsRefusedUntilItLands) {
  const Outcome outcome = run("restore --device X");
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.out, "");
  EXPECT_THAT(outcome.err, HasSubstr("restore is not available yet"));
}

}  // namespace
}  // namespace tessellon
