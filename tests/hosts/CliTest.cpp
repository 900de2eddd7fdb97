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
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;

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
    const std::string command = "HOME='" + dir_.path() + "' " + commandLine(arguments);
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
  // `tag` appended to their names).
  std::string commandLine(const std::string& arguments, const std::string& tag = "") const {
    return "env TMPDIR='" + dir_.file("tmp") + "' XDG_CONFIG_HOME='" + dir_.file("config") +
           "' XDG_DATA_HOME='" + dir_.file("data") + "' '" TESSELLON_CLI_PATH "' " + arguments +
           " >'" + dir_.file("out" + tag) + "' 2>'" + dir_.file("err" + tag) + "' </dev/null";
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

  int seed_ = 1;
};

TEST_F(CliTest, HelpListsTheVerbsAndTheOptionsOfEach) {
  const Outcome usage = run("");
  EXPECT_EQ(usage.status, 0);
  for (const char* verb : {"preview", "backup", "list", "restore", "verify"}) {
    EXPECT_THAT(usage.out, HasSubstr(verb));
  }
  const Outcome restore = run("help restore");
  EXPECT_EQ(restore.status, 0);
  EXPECT_THAT(restore.out, AllOf(HasSubstr("--device"), Not(HasSubstr("--archive-size"))));
}

TEST_F(CliTest, BackupThenListShowsTheBackupAndASecondBackupUploadsNothing) {
  addMedia("Pictures/2020", "jpg", 3, 5000);
  addMedia("Movies", "mov", 2, 72500);

  const Outcome backup = run("backup --only images,videos --name 'Trip 2020'" + folders());
  ASSERT_EQ(backup.status, 0) << backup.err;
  EXPECT_THAT(backup.out, HasSubstr("Done: 5 items (0.16 MB), 0 failed"));
  EXPECT_EQ(checkRemote(), "5 0 0");

  const Outcome list = run("list --json --remote '" + remote() + "'");
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_TRUE(Json::accept(list.out)) << list.out;
  EXPECT_THAT(list.out, HasSubstr(R"("name":"Trip 2020")"));
  EXPECT_THAT(list.out, HasSubstr(R"("images":{"bytes":15000,"count":3})"));
  EXPECT_THAT(list.out, HasSubstr(R"("videos":{"bytes":145000,"count":2})"));

  const Outcome again = run("backup --only images,videos" + folders());
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_THAT(again.out, HasSubstr("Nothing new to back up"));
  EXPECT_EQ(checkRemote(), "5 0 0");
}

TEST_F(CliTest, DefaultCategoriesAreTheSourcesThatExistAndJsonModeLogsToStandardError) {
  addMedia("Pictures", "jpg", 2, 1000);

  const Outcome outcome = run("backup --json -vvv" + folders());
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_TRUE(Json::accept(outcome.out)) << outcome.out;
  EXPECT_THAT(outcome.out, HasSubstr(R"("images":)"));
  EXPECT_THAT(outcome.out, Not(HasSubstr(R"("videos":)")));
  for (const char* category : {"videos", "contacts", "calendars"}) {
    EXPECT_THAT(outcome.err, HasSubstr(std::string("left out ") + category + ": "));
  }
  EXPECT_THAT(outcome.err, HasSubstr(dir_.file("home/Movies") + " does not exist"));
  EXPECT_THAT(outcome.err, HasSubstr("info: "));
}

TEST_F(CliTest, PreviewCountsTheWorkWithoutUploading) {
  addMedia("Pictures", "jpg", 3, 4000);

  const Outcome outcome = run("preview --only images" + folders());
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_THAT(outcome.out, HasSubstr("images:    3 items, 0.01 MB"));
  EXPECT_EQ(run("list --json --remote '" + remote() + "'").out, "[]\n");
}

TEST_F(CliTest, InterruptCancelsTheBackupAndTheNextBackupCompletesIt) {
  addMedia("Pictures", "jpg", 160, 256 * 1024);
  std::string command =
      "exec " + commandLine("backup --only images --archive-size 512k" + folders());
  char shell[] = "/bin/sh", flag[] = "-c";
  char* argv[] = {shell, flag, command.data(), nullptr};
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ), 0);

  // The device folder appears when the run starts uploading.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  int raw = 0;
  bool exited = false;
  while (std::chrono::steady_clock::now() < deadline &&
         (!fs::exists(remote()) || fs::is_empty(remote()))) {
    if ((exited = waitpid(pid, &raw, WNOHANG) == pid)) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_FALSE(exited) << dir_.read("err");
  ASSERT_EQ(kill(pid, SIGINT), 0);
  ASSERT_EQ(waitpid(pid, &raw, 0), pid);
  ASSERT_TRUE(WIFEXITED(raw));
  EXPECT_EQ(WEXITSTATUS(raw), 130) << dir_.read("err");
  EXPECT_THAT(dir_.read("err"), HasSubstr("cancelled"));

  const Outcome again = run("backup --only images --archive-size 512k" + folders());
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(checkRemote(), "160 0 0");
}

TEST_F(CliTest, OfTwoBackupsStartedAtOnceOneRunsAndTheOtherNamesIt) {
  addMedia("Pictures", "jpg", 80, 256 * 1024);
  MediaTree other(dir_.file("home2"), {});
  for (int index = 0; index < 80; ++index) {
    other.add("Pictures/" + std::to_string(index) + ".jpg",
              randomContent(256 * 1024, static_cast<uint32_t>(1000 + index)));
  }
  // Both runs are the same device: the identifier is stored before they start.
  ASSERT_EQ(run("preview --only images" + folders()).status, 0);

  const std::string backup = "backup --only images --archive-size 512k";
  const pid_t first = spawn(backup + folders("home"), "1");
  const pid_t second = spawn(backup + folders("home2"), "2");
  const int statuses[] = {exitStatus(first), exitStatus(second)};
  ASSERT_EQ(statuses[0] + statuses[1], 1) << dir_.read("err1") << dir_.read("err2");
  const std::string winner = statuses[0] == 0 ? "home" : "home2";
  const std::string loserErr = dir_.read(statuses[0] == 0 ? "err2" : "err1");
  EXPECT_THAT(loserErr, HasSubstr(" is in use by "));
  EXPECT_THAT(loserErr, HasSubstr(" (process "));
  EXPECT_THAT(loserErr, ::testing::EndsWith("(BackupSDKError 105)\n"));

  const Outcome restore = run("restore --only images" + folders("home3"));
  ASSERT_EQ(restore.status, 0) << restore.err;
  EXPECT_EQ(filesBelow("home3/Pictures"), filesBelow(winner + "/Pictures"));
  EXPECT_EQ(filesBelow("home3/Pictures").size(), 80u);
}

TEST_F(CliTest, VerifyNamesWhatIsMissingOrDamagedAndExitsThree) {
  addMedia("Pictures/2020", "jpg", 3, 5000);
  ASSERT_EQ(run("backup --only images" + folders()).status, 0);
  const std::string verify = "verify --remote '" + remote() + "'";
  const Outcome whole = run(verify);
  EXPECT_EQ(whole.status, 0) << whole.err;
  EXPECT_THAT(whole.out, HasSubstr("Images: 3 checked, 0 missing, 0 damaged\n"));
  EXPECT_THAT(whole.out, HasSubstr("The backup is whole."));

  // The files of 2020/0.jpg and 2020/1.jpg on the remote: one goes, one gets a flipped byte.
  const auto stored = [&](int seed) {
    return wholeContentFingerprint(randomContent(5000, static_cast<uint32_t>(seed))) + ".jpg";
  };
  const std::string images = remote() + "/" + deviceID() + "/images/";
  ASSERT_TRUE(fs::remove(images + stored(1)));
  std::string bytes = dir_.read(images + stored(2));
  bytes[100] = static_cast<char>(bytes[100] ^ 1);
  dir_.write(images + stored(2), bytes);

  const Outcome quick = run(verify + " --json");
  EXPECT_EQ(quick.status, 3) << quick.err;
  ASSERT_TRUE(Json::accept(quick.out)) << quick.out;
  const Json report = Json::parse(quick.out);
  EXPECT_EQ(report["intact"], false);
  ASSERT_EQ(report["images"]["missing"].size(), 1u);
  EXPECT_EQ(report["images"]["missing"][0]["remoteName"], stored(1));
  EXPECT_EQ(report["images"]["missing"][0]["localPaths"], Json::array({"2020/0.jpg"}));
  EXPECT_EQ(report["images"]["damaged"].size(), 0u);  // same size: only reading tells

  const Outcome read = run(verify + " --read-data");
  EXPECT_EQ(read.status, 3) << read.err;
  EXPECT_THAT(read.out,
              HasSubstr("  missing  images/" + stored(1) + "  (2020/0.jpg): not on the remote\n"));
  EXPECT_THAT(read.out, HasSubstr("  damaged  images/" + stored(2) +
                                  "  (2020/1.jpg): the content differs from its checksum\n"));
  EXPECT_THAT(read.out, HasSubstr("The backup is NOT whole."));
}

TEST_F(CliTest, RestoreBringsEveryCategoryBackIntoAnEmptyHome) {
  addMedia("Pictures/2020", "jpg", 3, 5000);
  addMedia("Movies", "mov", 2, 72500);
  addContactsAndEvents();
  ASSERT_EQ(run("backup" + folders()).status, 0);

  // Without --device: the backup this computer made.
  const Outcome restore = run("restore --json" + folders("home2"));
  EXPECT_EQ(restore.status, 0) << restore.err;
  EXPECT_TRUE(Json::accept(restore.out)) << restore.out;
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
  const std::vector<std::string> card{"UID", "FN", "N", "EMAIL", "PHOTO", "X-SPOUSE"};
  EXPECT_EQ(propertiesBelow("home2/contacts", card), propertiesBelow("home/contacts", card));
  EXPECT_EQ(propertiesBelow("home/contacts", {"X-SPOUSE"}).size(), 2u);
  const std::vector<std::string> event{"UID", "SUMMARY", "DTSTART", "DTEND", "ACTION", "TRIGGER"};
  EXPECT_EQ(propertiesBelow("home2/calendars", event), propertiesBelow("home/calendars", event));
  EXPECT_EQ(propertiesBelow("home/calendars", {"TRIGGER"}).size(), 1u);
}

TEST_F(CliTest, RestoreTakesTheCategoriesTheBackupHoldsAndNamesTheOthers) {
  addMedia("Pictures", "jpg", 2, 1000);
  addContactsAndEvents();
  ASSERT_EQ(run("backup --only contacts" + folders()).status, 0);

  const Outcome restore = run("restore --device '" + deviceID() + "'" + folders("home2"));
  EXPECT_EQ(restore.status, 0) << restore.err;
  EXPECT_THAT(restore.out, HasSubstr("Contacts"));
  EXPECT_THAT(restore.out, HasSubstr("Done: 2 items"));
  EXPECT_THAT(restore.out, Not(HasSubstr("Images")));
  for (const char* category : {"images", "videos", "calendars"}) {
    EXPECT_THAT(restore.err,
                HasSubstr(std::string("left out ") + category + ": the backup holds none"));
  }
  EXPECT_FALSE(fs::exists(dir_.file("home2/Pictures")));
  EXPECT_EQ(propertiesBelow("home2/contacts", {"FN"}), propertiesBelow("home/contacts", {"FN"}));
}

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
      {"list --pictures /tmp", "--pictures"},
      {"backup stray", "stray"},
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
      {"backup --only videos" + folders(),
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
  ASSERT_EQ(run("backup --only contacts" + folders()).status, 0);
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
  EXPECT_FALSE(fs::exists(dir_.file("home2")));

  EXPECT_EQ(run("restore --device OTHER" + folders("home2")).status, 0);
}

TEST_F(CliTest, PreviewNamesWhatItCannotReadAndExitsWithThree) {
  ASSERT_TRUE(sandboxReachableByAnyone()) << "nobody cannot reach " << dir_.path();
  const DeepFolder deep(dir_.file("home/Pictures"));
  const std::vector<std::string> skipped = addUnreadable(deep);

  const Outcome preview = runUnprivileged("preview --only images" + folders());
  EXPECT_EQ(preview.status, 3) << preview.err;
  EXPECT_THAT(preview.out, HasSubstr("images:    1 items"));
  const std::string lines = "  images: " + skipped[0] + " (not UTF-8)\n  images: " + skipped[1] +
                            " (unreadable folder)\n  images: " + skipped[2] + " (path too long)\n";
  EXPECT_THAT(preview.out,
              HasSubstr("Skipped 3 files or folders that cannot be backed up:\n" + lines));
  EXPECT_THAT(preview.err, HasSubstr("tessellon: items skipped in: images\n"));

  const Outcome json = runUnprivileged("preview --json --only images" + folders());
  EXPECT_EQ(json.status, 3) << json.err;
  ASSERT_TRUE(Json::accept(json.out)) << json.out;
  const auto entry = [](const std::string& path, const char* reason) {
    return Json{{"category", "images"}, {"path", path}, {"reason", reason}};
  };
  EXPECT_EQ(Json::parse(json.out).at("skipped"),
            Json::array({entry(skipped[0], "not UTF-8"), entry(skipped[1], "unreadable folder"),
                         entry(skipped[2], "path too long")}));
}

TEST_F(CliTest, BackupCountsWhatItCannotReadInTheReportAndExitsWithThree) {
  ASSERT_TRUE(sandboxReachableByAnyone()) << "nobody cannot reach " << dir_.path();
  const DeepFolder deep(dir_.file("home/Pictures"));
  const std::vector<std::string> skipped = addUnreadable(deep);

  const Outcome json = runUnprivileged("backup --json --only images" + folders());
  EXPECT_EQ(json.status, 3) << json.err;
  ASSERT_TRUE(Json::accept(json.out)) << json.out;
  const Json images = Json::parse(json.out).at("images");
  EXPECT_EQ(images.value("success", -1), 1);
  EXPECT_EQ(images.value("skipped", -1), 3);
  EXPECT_EQ(images.value("skippedPaths", Json()), Json(skipped));
  EXPECT_THAT(json.err, HasSubstr("tessellon: items skipped in: images\n"));
  EXPECT_EQ(checkRemote(), "1 0 0");

  // Nothing left to upload, and still not a clean run.
  const Outcome again = runUnprivileged("backup --only images" + folders());
  EXPECT_EQ(again.status, 3) << again.err;
  EXPECT_THAT(again.out, HasSubstr("- Count (skipped): 3\n"));
  EXPECT_THAT(again.out, HasSubstr("Nothing new to back up, 3 skipped; finished in"));
  EXPECT_THAT(again.out, HasSubstr("  images: " + skipped[0] + "\n  images: " + skipped[1] +
                                   "\n  images: " + skipped[2] + "\n"));
}

TEST_F(CliTest, AnUnreadableCardIsSkippedAndAMissingAddressBookNeverReplacesTheStoredOne) {
  addContactsAndEvents();
  const std::string broken = dir_.write("home/contacts/Friends/broken.vcf",
                                        "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Half a card\r\n");
  const std::string cut =
      dir_.write("home/calendars/Work/cut.ics", "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:c\r\nSUMM");
  const Outcome backup = run("backup --only contacts,calendars" + folders());
  EXPECT_EQ(backup.status, 3) << backup.err;
  EXPECT_THAT(backup.out, HasSubstr("  contacts: " + broken + "\n"));
  EXPECT_THAT(backup.out, HasSubstr("  calendars: " + cut + "\n"));
  EXPECT_THAT(backup.err, HasSubstr("tessellon: items skipped in: contacts calendars\n"));
  const std::string stored = dir_.file("remote/" + deviceID() + "/contacts.json");
  const std::string document = dir_.read(stored);
  ASSERT_EQ(Json::parse(document).at("contacts").size(), 2u);

  // An unmounted or mistyped folder is an error, not an empty address book.
  fs::rename(dir_.file("home/contacts"), dir_.file("home/unmounted"));
  const Outcome missing = run("backup --only contacts" + folders());
  EXPECT_EQ(missing.status, 1);
  EXPECT_THAT(missing.err, HasSubstr("no address book folder at " + dir_.file("home/contacts")));
  EXPECT_THAT(missing.err, HasSubstr("(BackupSDKError 201)"));
  EXPECT_EQ(dir_.read(stored), document);
  EXPECT_FALSE(fs::exists(dir_.file("home/contacts")));

  // Only a restore makes the folders, and a second one adds nothing.
  for (int run = 1; run <= 2; ++run) {
    SCOPED_TRACE(run);
    EXPECT_EQ(this->run("restore" + folders("home2")).status, 0);
    EXPECT_EQ(propertiesBelow("home2/contacts", {"FN"}).size(), 2u);
    EXPECT_EQ(propertiesBelow("home2/calendars", {"SUMMARY"}).size(), 1u);
  }
}

TEST_F(CliTest, SkippedListStopsAtTwentyPathsAndCountsTheRest) {
  for (int index = 10; index < 35; ++index) {
    media_.add("Pictures/bad\xff" + std::to_string(index) + ".jpg", randomContent(10, index));
  }
  const Outcome preview = run("preview --only images" + folders());
  EXPECT_EQ(preview.status, 3) << preview.err;
  EXPECT_THAT(preview.out, HasSubstr("Skipped 25 files or folders that cannot be backed up:\n"));
  EXPECT_THAT(preview.out, HasSubstr("bad\\xFF29.jpg (not UTF-8)\n  and 5 more\n"));
  EXPECT_THAT(preview.out, Not(HasSubstr("bad\\xFF30.jpg")));

  const Outcome json = run("preview --json --only images" + folders());
  EXPECT_EQ(json.status, 3) << json.err;
  ASSERT_TRUE(Json::accept(json.out)) << json.out;
  EXPECT_EQ(Json::parse(json.out).at("skipped").size(), 25u);
}

}  // namespace
}  // namespace tessellon
