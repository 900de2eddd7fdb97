// What the remote keeps of earlier backups: the versions a backup replaces or removes, their
// expiry, `tessellon history` and `restore --as-of`, on the folder remote.

#include <chrono>

#include "CliFixture.h"
#include "support/UtcText.h"

namespace tessellon {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

class CliHistoryTest : public CliTest {
 protected:
  // The state folders below remote/<device>/.history.
  std::vector<std::string> states(const std::string& device) const {
    std::vector<std::string> names;
    const fs::path history = fs::path(remote()) / device / ".history";
    if (!fs::exists(history)) return names;
    for (const auto& entry : fs::directory_iterator(history))
      names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  Outcome backup(const std::string& extra = "") { return run("backup" + extra + folders()); }
};

TEST_F(CliHistoryTest, RestoreAsOfBringsBackACardAndAPictureDeletedAndBackedUpSince) {
  addContactsAndEvents();
  addMedia("Pictures", "jpg", 2, 3000);
  ASSERT_EQ(backup().status, 0);
  const std::string device = deviceID();
  const auto pictures = filesBelow("home/Pictures");
  const std::string beforeDeletion = momentBetweenRuns();

  fs::remove(dir_.file("home/contacts/Friends/Grace.vcf"));
  fs::remove(dir_.file("home/Pictures/1.jpg"));
  const Outcome pruned = backup(" --prune --allow-large-removal");
  ASSERT_EQ(pruned.status, 0) << pruned.err;

  // Today's backup holds neither; the remote's history does, and says so.
  ASSERT_EQ(run("restore" + folders("today")).status, 0);
  EXPECT_THAT(propertiesBelow("today/contacts", {"FN"}), Not(Contains("FN:Grace Example")));
  EXPECT_EQ(filesBelow("today/Pictures").size(), 1u);
  ASSERT_EQ(states(device).size(), 1u);
  const Json history = Json::parse(run("history --json --remote '" + remote() + "'").out);
  ASSERT_EQ(history.at("states").size(), 1u);
  EXPECT_EQ(history.at("states")[0].at("files"), 5);  // four records and the picture
  EXPECT_THAT(run("history --remote '" + remote() + "'").out, HasSubstr(" files, "));

  const Outcome asOf = run("restore --as-of " + beforeDeletion + folders("then"));
  ASSERT_EQ(asOf.status, 0) << asOf.err;
  EXPECT_THAT(propertiesBelow("then/contacts", {"FN"}), Contains("FN:Grace Example"));
  EXPECT_THAT(propertiesBelow("then/contacts", {"FN"}), Contains("FN:Ada Example"));
  EXPECT_EQ(filesBelow("then/Pictures"), pictures);
  // The date the history shows restores the backup as it was when that backup began.
  const std::string shown = history.at("states")[0].at("date");
  ASSERT_EQ(run("restore --as-of " + shown + folders("shown")).status, 0);
  EXPECT_EQ(filesBelow("shown/Pictures"), filesBelow("then/Pictures"));
  // The view is for reading: the live backup stayed as today's run left it.
  EXPECT_EQ(checkRemote(), "1 0 0");
}

TEST_F(CliHistoryTest, HistoryOlderThanItsLimitGoesAtTheNextBackupAndNothingYounger) {
  addContactsAndEvents();
  ASSERT_EQ(backup().status, 0);
  const std::string device = deviceID();
  // A preview leaves no state behind...
  ASSERT_EQ(run("preview" + folders()).status, 0);
  EXPECT_TRUE(states(device).empty());
  // ...but a backup that rewrites the records keeps their earlier versions.
  ASSERT_EQ(backup().status, 0);
  ASSERT_EQ(states(device).size(), 1u);

  // Age the state by 40 days and copy it as one 10 days old.
  const fs::path history = fs::path(remote()) / device / ".history";
  const auto name = [](std::chrono::hours back) {
    std::string text = utcText(std::chrono::system_clock::now() - back);
    text.erase(std::remove(text.begin(), text.end(), '-'), text.end());
    text.erase(std::remove(text.begin(), text.end(), ':'), text.end());
    return text;
  };
  const std::string old = name(std::chrono::hours(24 * 40));
  const std::string recent = name(std::chrono::hours(24 * 10));
  fs::rename(history / states(device)[0], history / old);
  fs::copy(history / old, history / recent, fs::copy_options::recursive);

  // Keeping nothing new removes nothing either.
  ASSERT_EQ(backup(" --keep-history 0").status, 0);
  EXPECT_EQ(states(device), (std::vector<std::string>{old, recent}));

  ASSERT_EQ(backup(" --keep-history 30").status, 0);
  std::vector<std::string> kept = states(device);
  ASSERT_EQ(kept.size(), 3u);
  EXPECT_EQ(kept[0], recent);
  EXPECT_NE(kept[1], old);
  // What is left is not taken for the whole history: a date from before the expiry is refused.
  EXPECT_EQ(kept[2].rfind("expired-", 0), 0u);
  const std::string expiredDate =
      utcText(std::chrono::system_clock::now() - std::chrono::hours(24 * 35));
  const Outcome tooOld = run("restore --as-of " + expiredDate + folders("then"));
  EXPECT_EQ(tooOld.status, 1);
  EXPECT_THAT(tooOld.err, HasSubstr("only from "));
  EXPECT_FALSE(fs::exists(dir_.file("then")));
  EXPECT_FALSE(Json::parse(run("history --json --remote '" + remote() + "'").out)
                   .at("wholeSince")
                   .is_null());
}

}  // namespace
}  // namespace tessellon
