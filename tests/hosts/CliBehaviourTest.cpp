// The command's everyday safety and output: where its folders are, who creates the remote, what a
// backup removes, how a device is named, and the --json documents.

#include <fstream>

#include "tessellon/Backup.h"

#include "CliFixture.h"
#include "JsonSchema.h"
#include "platform/SmallVolume.h"

namespace tessellon {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

class CliBehaviourTest : public CliTest {
 protected:
  // The image files on the remote, whatever the device folder.
  size_t imagesStored() const {
    size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(remote())) {
      files += entry.is_regular_file() && entry.path().parent_path().filename() == "images" &&
               entry.path().string().find("/.history/") == std::string::npos;
    }
    return files;
  }
  std::string backupOfPictures(const std::string& extra = "") {
    return "backup --only images" + extra + " --remote '" + remote() + "' --pictures '" +
           dir_.file("home/Pictures") + "'";
  }
};

TEST_F(CliBehaviourTest, OnlyInitCreatesTheRemote) {
  xdgFolders_ = false;
  const std::string defaultRemote = dir_.file("home/.local/share/tessellon/remote");

  // A fresh home: every verb but init refuses, says how to create the remote, and creates nothing.
  for (const char* verb : {"backup", "preview", "list", "restore", "verify"}) {
    SCOPED_TRACE(verb);
    const Outcome refused = run(verb);
    EXPECT_EQ(refused.status, 1);
    EXPECT_THAT(refused.err, HasSubstr("there is no remote at " + defaultRemote));
    EXPECT_THAT(refused.err, HasSubstr("create it with 'tessellon init'"));
  }
  const Outcome typo = run("list --remote '" + dir_.file("typo/remote") + "'");
  EXPECT_EQ(typo.status, 1);
  EXPECT_THAT(typo.err, HasSubstr("'tessellon init --remote " + dir_.file("typo/remote") + "'"));
  EXPECT_FALSE(fs::exists(dir_.file("typo")));
  EXPECT_FALSE(fs::exists(defaultRemote));

  const Outcome init = run("init");
  EXPECT_EQ(init.status, 0) << init.err;
  EXPECT_EQ(init.out, "Created the remote " + defaultRemote + ".\n");
  EXPECT_EQ(fs::status(defaultRemote).permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_EQ(run("init").out, "The remote " + defaultRemote + " is there already.\n");
}

TEST_F(CliBehaviourTest, HomeComesFromTheEnvironment) {
  xdgFolders_ = false;
  addMedia("Pictures", "jpg", 2, 1000);
  const std::string defaultRemote = dir_.file("home/.local/share/tessellon/remote");
  ASSERT_EQ(run("init").status, 0);

  // The pictures of $HOME go to the remote of $HOME, and the device's state stays in $HOME too.
  const Outcome backup = run("backup");
  EXPECT_EQ(backup.status, 0) << backup.err;
  EXPECT_THAT(backup.out, HasSubstr("  images     new 2,"));
  EXPECT_EQ(imagesStored(), 0u);  // remote() is another folder
  EXPECT_TRUE(fs::exists(dir_.file("home/.config/tessellon")));
  size_t stored = 0;
  for (const auto& entry : fs::recursive_directory_iterator(defaultRemote)) {
    stored += entry.path().extension() == ".jpg";
  }
  EXPECT_EQ(stored, 2u);
}

TEST_F(CliBehaviourTest, DeletedItemsStayUnlessPruneWhichSaysWhatItRemoves) {
  addMedia("Pictures", "jpg", 4, 3000);
  ASSERT_EQ(run(backupOfPictures()).status, 0);
  fs::remove(dir_.file("home/Pictures/0.jpg"));

  const Outcome kept = run(backupOfPictures());
  EXPECT_EQ(kept.status, 0) << kept.err;
  EXPECT_THAT(kept.out, HasSubstr("  images     new 0, unchanged 4, removed 0,"));
  EXPECT_EQ(imagesStored(), 4u);

  const Outcome preview = run("preview --prune --only images --remote '" + remote() +
                              "' --pictures '" + dir_.file("home/Pictures") + "'");
  EXPECT_EQ(preview.status, 0) << preview.err;
  EXPECT_THAT(preview.out, HasSubstr("  images     new 0, unchanged 3, removed 1,"));
  EXPECT_THAT(preview.out, HasSubstr("Will remove 1 items (0.00 MB) deleted here.\n"));
  EXPECT_EQ(imagesStored(), 4u);

  const Outcome pruned = run(backupOfPictures(" --prune"));
  EXPECT_EQ(pruned.status, 0) << pruned.err;
  EXPECT_THAT(pruned.err, HasSubstr("will remove 1 items (0.00 MB) deleted here from the remote"));
  EXPECT_THAT(pruned.out, HasSubstr("  images     new 0, unchanged 3, removed 1,"));
  EXPECT_EQ(imagesStored(), 3u);
  EXPECT_EQ(checkRemote(), "3 0 0");

  const Outcome alone = run(backupOfPictures(" --allow-large-removal"));
  EXPECT_EQ(alone.status, 1);
  EXPECT_THAT(alone.err, HasSubstr("--allow-large-removal goes with --prune"));
}

TEST_F(CliBehaviourTest, PruneKeepsWhatAFolderThatCannotBeReadStillHolds) {
  ASSERT_TRUE(sandboxReachableByAnyone()) << "nobody cannot reach " << dir_.path();
  addMedia("Pictures", "jpg", 3, 3000);
  media_.add("Pictures/closed/a.jpg", randomContent(3000, 77));
  ASSERT_EQ(runUnprivileged(backupOfPictures()).status, 0);
  ::chmod(dir_.file("home/Pictures/closed").c_str(), 0);

  const Outcome pruned = runUnprivileged(backupOfPictures(" --prune"));
  EXPECT_EQ(pruned.status, 3) << pruned.err;
  EXPECT_THAT(pruned.out, HasSubstr("  images     new 0, unchanged 4, removed 0,"));
  EXPECT_EQ(checkRemote(), "4 0 0");
}

TEST_F(CliBehaviourTest, ARemoteThatFillsUpIsNamedAsFullNotAsCancelled) {
  // The archive fits on the remote; unpacked beside it, its picture does not.
  const SmallVolume volume(remote(), 200 * 1024);
  if (!volume.mounted()) GTEST_SKIP() << "needs the right to mount a tmpfs";
  addMedia("Pictures", "jpg", 1, 120 * 1024);
  const Outcome full = run(backupOfPictures());
  EXPECT_EQ(full.status, 1) << full.err;
  EXPECT_THAT(full.err, HasSubstr("319"));
  EXPECT_THAT(full.err, Not(HasSubstr("cancelled")));
}

TEST_F(CliBehaviourTest, AnAddressBookSentAgainCountsOnlyItsNewCardsAsNew) {
  addContactsAndEvents();
  ASSERT_EQ(run("backup --only contacts" + folders()).status, 0);
  const Outcome again = run("backup --only contacts" + folders());
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_THAT(again.out, HasSubstr("  contacts   new 0, unchanged 2, removed 0, failed 0"));

  fs::remove(dir_.file("home/contacts/Friends/Ada.vcf"));
  const Outcome pruned = run("backup --prune --only contacts" + folders());
  EXPECT_EQ(pruned.status, 0) << pruned.err;
  EXPECT_THAT(pruned.out, HasSubstr("  contacts   new 0, unchanged 1, removed 1, failed 0"));
}

TEST_F(CliBehaviourTest, AMissingOrEmptyPictureFolderNeverEmptiesTheRemote) {
  addMedia("Pictures", "jpg", 3, 2000);
  const std::string base =
      "backup --remote '" + remote() + "' --pictures '" + dir_.file("home/Pictures") + "'";
  ASSERT_EQ(run(base).status, 0);

  // Unmounted: the category is left out, and without --prune its items stay.
  fs::rename(dir_.file("home/Pictures"), dir_.file("home/unmounted"));
  const Outcome kept = run(base);
  EXPECT_EQ(kept.status, 0) << kept.err;
  EXPECT_THAT(kept.err, HasSubstr("left out images: "));
  EXPECT_EQ(checkRemote(), "3 0 0");

  // With --prune the run would drop the whole category: refused, in JSON too.
  const Outcome refused = run(base + " --prune --json");
  EXPECT_EQ(refused.status, 1);
  ASSERT_TRUE(Json::accept(refused.out)) << refused.out;
  const Json error = Json::parse(refused.out).at("error");
  EXPECT_EQ(error.at("domain"), "TessellonCommand");
  EXPECT_EQ(error.at("code"), 2);
  EXPECT_THAT(error.at("message").get<std::string>(),
              HasSubstr("would remove 3 of 3 images (0.01 MB)"));
  EXPECT_EQ(checkRemote(), "3 0 0");

  // Empty (the disk's mount point): the same.
  fs::create_directories(dir_.file("home/Pictures"));
  const Outcome empty = run(base + " --prune");
  EXPECT_EQ(empty.status, 1);
  EXPECT_THAT(empty.err, HasSubstr("add --allow-large-removal (TessellonCommand 2)"));
  EXPECT_EQ(checkRemote(), "3 0 0");

  // Two of three is more than half; asked for explicitly, it goes.
  fs::rename(dir_.file("home/unmounted/0.jpg"), dir_.file("home/Pictures/0.jpg"));
  EXPECT_EQ(run(base + " --prune").status, 1);
  EXPECT_EQ(checkRemote(), "3 0 0");
  const Outcome allowed = run(base + " --prune --allow-large-removal");
  EXPECT_EQ(allowed.status, 0) << allowed.err;
  EXPECT_THAT(allowed.out, HasSubstr("  images     new 0, unchanged 1, removed 2,"));
  EXPECT_EQ(checkRemote(), "1 0 0");
}

TEST_F(CliBehaviourTest, DeviceIsAnIdPrefixInAnyCaseOrTheComputerName) {
  addContactsAndEvents();
  ASSERT_EQ(run("backup --only contacts" + folders()).status, 0);
  const std::string device = deviceID();
  ASSERT_GE(device.size(), 8u);
  editBackup("0THER", "deviceID", "0THER", device);
  editBackup("0THER", "deviceName", "other-laptop");
  editBackup("0TTER", "deviceID", "0TTER", device);
  editBackup("0TTER", "deviceName", "third");

  std::string lower = device.substr(0, 6);
  for (char& letter : lower) letter = static_cast<char>(std::tolower(letter));
  const struct {
    std::string device;
    int status;
    std::string said;
  } rows[] = {
      {lower, 0, ""},
      {"0th", 0, ""},
      {"other-laptop", 0, ""},
      {"0T", 1, "fits several backups in " + remote() + "; pass more of the device ID:\n  0THER  "},
      {"nope", 1, "no backup in " + remote() + " fits --device 'nope'"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.device);
    const Outcome outcome = run("verify --device '" + row.device + "' --remote '" + remote() + "'");
    EXPECT_EQ(outcome.status, row.status) << outcome.err;
    EXPECT_THAT(outcome.err, HasSubstr(row.said));
  }
  const Outcome ambiguous = run("verify --device 0t --remote '" + remote() + "'");
  EXPECT_THAT(ambiguous.err, HasSubstr("\n  0TTER  third"));
  EXPECT_THAT(ambiguous.err, Not(HasSubstr(device)));
}

TEST_F(CliBehaviourTest, ArchiveSizeTakesSuffixes) {
  addMedia("Pictures", "jpg", 3, 300 * 1024);
  for (const char* size : {"512K", "1.5m", "1.5G", "700000", "2MB"}) {
    SCOPED_TRACE(size);
    const Outcome outcome =
        run(std::string("preview --only images --archive-size ") + size + folders());
    EXPECT_EQ(outcome.status, 0) << outcome.err;
  }
  // Archives of 512 KiB hold one 300 KiB picture each: the run still lands everything.
  EXPECT_EQ(run("backup --only images --archive-size 512K" + folders()).status, 0);
  EXPECT_EQ(checkRemote(), "3 0 0");
}

TEST_F(CliBehaviourTest, ARemoteThatCannotBeWrittenIsNamedWithWhatToCheck) {
  ASSERT_TRUE(sandboxReachableByAnyone()) << "nobody cannot reach " << dir_.path();
  addMedia("Pictures", "jpg", 1, 1000);
  fs::permissions(remote(), fs::perms::owner_read | fs::perms::owner_exec);
  const Outcome outcome = runUnprivileged("backup" + folders());
  EXPECT_EQ(outcome.status, 1);
  EXPECT_THAT(outcome.err,
              HasSubstr("the remote " + remote() + " failed: cannot create " + remote() + "/"));
  EXPECT_THAT(outcome.err, HasSubstr("check that it is mounted and that you may write there"));
}

TEST_F(CliBehaviourTest, EveryVerbPrintsADocumentOfTheSchema) {
  std::ifstream file(TESSELLON_OUTPUT_SCHEMA);
  const JsonSchema schema(Json::parse(file));
  addMedia("Pictures", "jpg", 2, 1000);
  addContactsAndEvents();
  const auto document = [&](const std::string& arguments, int status) {
    const Outcome outcome = run(arguments + " --json");
    EXPECT_EQ(outcome.status, status) << arguments << "\n" << outcome.err;
    EXPECT_TRUE(Json::accept(outcome.out)) << arguments << "\n" << outcome.out;
    const Json parsed = Json::parse(outcome.out, nullptr, false);
    EXPECT_THAT(schema.violations(parsed), IsEmpty()) << arguments << "\n" << outcome.out;
    return parsed;
  };

  fs::remove(remote());
  EXPECT_EQ(document("init --remote '" + remote() + "'", 0).at("created"), true);
  EXPECT_EQ(document("preview --prune" + folders(), 0).at("verb"), "preview");
  const Json backup = document("backup --name Laptop" + folders(), 0);
  EXPECT_EQ(backup.at("categories").at("images").at("new"), 2);
  EXPECT_EQ(backup.at("name"), "Laptop");
  EXPECT_EQ(backup.at("remote"), remote());
  EXPECT_EQ(backup.at("deviceName"), *thisDeviceName());
  EXPECT_EQ(document("list --remote '" + remote() + "'", 0).at("backups").size(), 1u);
  EXPECT_EQ(document("verify --remote '" + remote() + "'", 0).at("intact"), true);
  EXPECT_EQ(document("restore" + folders("home2"), 0).at("categories").at("contacts").at("new"), 2);
  ASSERT_EQ(run("backup" + folders()).status, 0);
  EXPECT_EQ(document("history --remote '" + remote() + "'", 0).at("states").size(), 1u);
  // A picture gone from the remote and from here is named as failed, with why.
  fs::remove(dir_.file("home/Pictures/0.jpg"));
  for (const auto& stored : fs::directory_iterator(remote() + "/" + deviceID() + "/images")) {
    fs::remove(stored.path());
  }
  const Json lost = document("backup" + folders(), 3);
  ASSERT_EQ(lost.at("failed").size(), 1u) << lost;
  EXPECT_EQ(lost.at("failed")[0].at("category"), "images");
  EXPECT_EQ(lost.at("failed")[0].at("path"), "0.jpg");
  EXPECT_THAT(lost.at("failed")[0].at("reason").get<std::string>(),
              HasSubstr("gone from the remote"));
  const Json error = document("list --remote '" + dir_.file("nowhere") + "'", 1);
  EXPECT_EQ(error.at("error").at("code"), 1);

  // The check itself can fail: a document without its version does not pass.
  Json unversioned = backup;
  unversioned.erase("schema");
  EXPECT_THAT(schema.violations(unversioned), Not(IsEmpty()));
}

}  // namespace
}  // namespace tessellon
