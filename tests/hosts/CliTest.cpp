#include "CliFixture.h"

namespace tessellon {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;

TEST_F(CliTest, HelpListsTheVerbsAndTheOptionsOfEach) {
  const Outcome usage = run("");
  EXPECT_EQ(usage.status, 0);
  for (const char* verb : {"init", "preview", "backup", "list", "restore", "verify"}) {
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
  EXPECT_THAT(backup.out,
              HasSubstr("  images     new 3, unchanged 0, removed 0, failed 0, skipped 0, 0.01 MB\n"
                        "  videos     new 2, unchanged 0, removed 0, failed 0, skipped 0, 0.14 MB\n"
                        "Done in "));
  EXPECT_THAT(backup.out, HasSubstr(": remote " + remote() + ", device "));
  EXPECT_EQ(checkRemote(), "5 0 0");

  const Outcome list = run("list --json --remote '" + remote() + "'");
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_TRUE(Json::accept(list.out)) << list.out;
  EXPECT_THAT(list.out, HasSubstr(R"("name":"Trip 2020")"));
  EXPECT_THAT(list.out, HasSubstr(R"("images":{"bytes":15000,"count":3})"));
  EXPECT_THAT(list.out, HasSubstr(R"("videos":{"bytes":145000,"count":2})"));

  const Outcome again = run("backup --only images,videos" + folders());
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_THAT(again.out, HasSubstr("  images     new 0, unchanged 3, removed 0, failed 0"));
  EXPECT_THAT(again.out, HasSubstr("Nothing new to back up in "));
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
  EXPECT_THAT(
      outcome.out,
      HasSubstr("  images     new 3, unchanged 0, removed 0, failed 0, skipped 0, 0.01 MB\n"));
  EXPECT_EQ(Json::parse(run("list --json --remote '" + remote() + "'").out).at("backups"),
            Json::array());
}

TEST_F(CliTest, InterruptCancelsTheBackupAndTheNextBackupCompletesIt) {
  addMedia("Pictures", "jpg", 160, 256 * 1024);
  const pid_t pid = spawn("backup --only images --archive-size 512k" + folders(), "");

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
  ASSERT_TRUE(Json::accept(restore.out)) << restore.out;
  const Json categories = Json::parse(restore.out).at("categories");
  const auto restored = [&](const char* category) {
    const Json& figures = categories.at(category);
    return std::to_string(figures.at("new").get<int>()) + " " +
           std::to_string(figures.at("failed").get<int>());
  };
  EXPECT_EQ(restored("images"), "3 0");
  EXPECT_EQ(categories.at("images").at("newBytes"), 15000);
  EXPECT_EQ(restored("videos"), "2 0");
  EXPECT_EQ(categories.at("videos").at("newBytes"), 145000);
  EXPECT_EQ(restored("contacts"), "2 0");
  EXPECT_EQ(restored("calendars"), "1 0");

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

TEST_F(CliTest, APathARestoreCannotWriteMakesItExitWithThree) {
  // One picture in two folders: one item with two paths.
  const std::string content = randomContent(5000, 7);
  media_.add("Pictures/kept/a.jpg", content);
  media_.add("Pictures/blocked/a.jpg", content);
  ASSERT_EQ(run("backup" + folders()).status, 0);
  dir_.write("home2/Pictures/blocked", "a file where the folder belongs");

  const Outcome restore = run("restore" + folders("home2"));
  EXPECT_EQ(restore.status, 3) << restore.err;
  EXPECT_THAT(restore.err, HasSubstr("items failed in: images"));
  EXPECT_THAT(restore.out, HasSubstr("blocked/a.jpg"));
  EXPECT_EQ(dir_.read("home2/Pictures/kept/a.jpg"), content);
}

TEST_F(CliTest, RestoreTakesTheCategoriesTheBackupHoldsAndNamesTheOthers) {
  addMedia("Pictures", "jpg", 2, 1000);
  addContactsAndEvents();
  ASSERT_EQ(run("backup --only contacts" + folders()).status, 0);

  const Outcome restore = run("restore --device '" + deviceID() + "'" + folders("home2"));
  EXPECT_EQ(restore.status, 0) << restore.err;
  EXPECT_THAT(restore.out, HasSubstr("  contacts   new 2, unchanged 0, removed 0, failed 0"));
  EXPECT_THAT(restore.out, Not(HasSubstr("images")));
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
      {"backup --archive-size 1.5X", "512K, 64M or 1.5G"},
      {"backup --archive-size 1.5", "--archive-size"},
      {"backup --archive-size -5M", "--archive-size"},
      {"backup --archive-size 1e6", "--archive-size"},
      {"backup --prune --keep-deleted", "--keep-deleted"},
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
      {"list --remote '" + dir_.file("not-a-folder") + "'",
       "the remote " + dir_.file("not-a-folder") +
           " is not a folder; pass the folder that holds your backups with --remote "
           "(TessellonCommand 1)\n"},
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
  EXPECT_THAT(err, HasSubstr("\n  " + device + "  elsewhere"));
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
  EXPECT_THAT(preview.out, HasSubstr("  images     new 1, unchanged 0, removed 0, failed 0"));
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
  const Json document = Json::parse(json.out);
  const Json images = document.at("categories").at("images");
  EXPECT_EQ(images.value("new", -1), 1);
  EXPECT_EQ(images.value("skipped", -1), 3);
  std::vector<std::string> paths;
  for (const Json& entry : document.at("skipped")) paths.push_back(entry.at("path"));
  EXPECT_EQ(paths, skipped);
  EXPECT_THAT(json.err, HasSubstr("tessellon: items skipped in: images\n"));
  EXPECT_EQ(checkRemote(), "1 0 0");

  // Nothing left to upload, and still not a clean run.
  const Outcome again = runUnprivileged("backup --only images" + folders());
  EXPECT_EQ(again.status, 3) << again.err;
  EXPECT_THAT(again.out,
              HasSubstr("  images     new 0, unchanged 1, removed 0, failed 0, skipped 3"));
  EXPECT_THAT(again.out, HasSubstr("Nothing new to back up in "));
  EXPECT_THAT(again.out,
              HasSubstr("  images: " + skipped[0] + " (not UTF-8)\n  images: " + skipped[1] +
                        " (unreadable folder)\n  images: " + skipped[2] + " (path too long)\n"));
}

TEST_F(CliTest, AnUnreadableCardIsSkipped) {
  addContactsAndEvents();
  const std::string broken = dir_.write("home/contacts/Friends/broken.vcf",
                                        "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Half a card\r\n");
  const std::string cut =
      dir_.write("home/calendars/Work/cut.ics", "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:c\r\nSUMM");
  const Outcome backup = run("backup --only contacts,calendars" + folders());
  EXPECT_EQ(backup.status, 3) << backup.err;
  EXPECT_THAT(backup.out, HasSubstr("  contacts: " + broken));
  EXPECT_THAT(backup.out, HasSubstr("  calendars: " + cut));
  EXPECT_THAT(backup.err, HasSubstr("tessellon: items skipped in: contacts calendars\n"));
  const std::string stored = dir_.file("remote/" + deviceID() + "/contacts.json");
  EXPECT_EQ(Json::parse(dir_.read(stored)).at("contacts").size(), 2u);
}

TEST_F(CliTest, AMissingAddressBookNeverReplacesTheStoredOne) {
  addContactsAndEvents();
  ASSERT_EQ(run("backup --only contacts,calendars" + folders()).status, 0);
  const std::string stored = dir_.file("remote/" + deviceID() + "/contacts.json");
  const std::string document = dir_.read(stored);

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
