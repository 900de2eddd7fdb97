// The command's settings: config.toml, the TESSELLON_* variables and the flags, in that rising
// order, as `tessellon config` shows them and the verbs use them; a file or variable that cannot
// be used is a usage error that names it.

#include <fstream>

#include "CliFixture.h"
#include "JsonSchema.h"

namespace tessellon {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

class CliConfigTest : public CliTest {
 protected:
  std::string configFile() const { return dir_.file("config/tessellon/config.toml"); }
  void writeConfig(const std::string& text) { dir_.write("config/tessellon/config.toml", text); }
  // `tessellon config --json <arguments>`, checked against the schema.
  Json settings(const std::string& arguments = "") {
    const Outcome outcome = run("config --json " + arguments);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    const Json document = Json::parse(outcome.out, nullptr, false);
    std::ifstream file(TESSELLON_OUTPUT_SCHEMA);
    EXPECT_THAT(JsonSchema(Json::parse(file)).violations(document), IsEmpty()) << outcome.out;
    return document.value("settings", Json::object());
  }
};

TEST_F(CliConfigTest, FlagsWinOverTheEnvironmentWhichWinsOverTheFile) {
  writeConfig(
      "# where the backups go\n"
      "remote = \"" +
      remote() +
      "\"\n"
      "transfers = 2\n"
      "archive_size = \"64M\"\n"
      "categories = [\"images\", \"videos\"]\n"
      "history_days = 7\n"
      "\n"
      "[folders]\n"
      "pictures = \"~/Photos\"\n");
  extraEnvironment_ = "TESSELLON_TRANSFERS=8 TESSELLON_ARCHIVE_SIZE=1.5G";

  const Json shown = settings("--archive-size 512K");
  const struct {
    std::string key;
    Json value;
    Json origin;
  } rows[] = {
      {"remote", remote(), {{"source", "file"}, {"line", 2}}},
      {"transfers", 8, {{"source", "environment"}, {"variable", "TESSELLON_TRANSFERS"}}},
      {"archive_size", 512 * 1024, {{"source", "flag"}, {"flag", "--archive-size"}}},
      {"categories", Json::array({"images", "videos"}), {{"source", "file"}, {"line", 5}}},
      {"history_days", 7, {{"source", "file"}, {"line", 6}}},
      {"folders.pictures", dir_.file("home/Photos"), {{"source", "file"}, {"line", 9}}},
      {"folders.movies", dir_.file("home/Movies"), {{"source", "default"}}},
      {"folders.contacts", dir_.file("data/contacts"), {{"source", "default"}}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.key);
    Json expected = row.origin;
    expected["value"] = row.value;
    EXPECT_EQ(shown.value(row.key, Json()), expected);
  }

  const Outcome human = run("config");
  EXPECT_EQ(human.status, 0) << human.err;
  EXPECT_THAT(human.out, HasSubstr("Configuration file: " + configFile() + "\n"));
  EXPECT_THAT(human.out, HasSubstr("  transfers          8  [environment TESSELLON_TRANSFERS]\n"));
  EXPECT_THAT(human.out,
              HasSubstr("  remote             " + remote() + "  [" + configFile() + ":2]\n"));
  EXPECT_THAT(human.out, HasSubstr("  history_days       7  [" + configFile() + ":6]\n"));
}

TEST_F(CliConfigTest, WithoutAFileEverySettingIsTheDefault) {
  const Json shown = settings();
  for (const auto& [key, setting] : shown.items()) {
    SCOPED_TRACE(key);
    EXPECT_EQ(setting.at("source"), "default");
  }
  EXPECT_EQ(shown.at("remote").at("value"), dir_.file("data/tessellon/remote"));
  EXPECT_EQ(shown.at("archive_size").at("value"), 512 * 1024 * 1024);
  EXPECT_EQ(shown.at("transfers").at("value"), 4);
  EXPECT_EQ(shown.at("history_days").at("value"), 30);
  EXPECT_TRUE(shown.at("categories").at("value").is_null());
  EXPECT_THAT(run("config").out, HasSubstr(configFile() + " (not present)\n"));
}

TEST_F(CliConfigTest, TheVerbsBackUpWhatTheFileAndTheEnvironmentSay) {
  media_.add("Photos/a.jpg", randomContent(1000, 1));
  media_.add("Photos/b.jpg", randomContent(1000, 2));
  addContactsAndEvents();
  writeConfig("remote = \"" + dir_.file("elsewhere") + "\"\ncategories = [\"images\"]\n" +
              "[folders]\npictures = \"~/Photos\"\n");

  // The file's remote is not there: refused, naming it.
  const Outcome missing = run("backup");
  EXPECT_EQ(missing.status, 1);
  EXPECT_THAT(missing.err, HasSubstr("there is no remote at " + dir_.file("elsewhere")));

  // The environment's remote wins; only the file's category and folder go.
  extraEnvironment_ = "TESSELLON_REMOTE='" + remote() + "'";
  const Outcome backup = run("backup");
  EXPECT_EQ(backup.status, 0) << backup.err;
  EXPECT_THAT(backup.out, HasSubstr("  images     new 2,"));
  EXPECT_THAT(backup.out, Not(HasSubstr("contacts")));
  EXPECT_EQ(checkRemote(), "2 0 0");

  // A flag wins over both; a restore is not held to the file's categories.
  const Outcome contacts =
      run("backup --only contacts --contacts '" + dir_.file("home/contacts") + "'");
  EXPECT_EQ(contacts.status, 0) << contacts.err;
  EXPECT_THAT(contacts.out, HasSubstr("  contacts   new 2,"));
  const Outcome restore = run("restore --pictures '" + dir_.file("back/Photos") + "' --contacts '" +
                              dir_.file("back/contacts") + "'");
  EXPECT_EQ(restore.status, 0) << restore.err;
  EXPECT_EQ(filesBelow("back/Photos").size(), 2u);
  EXPECT_EQ(propertiesBelow("back/contacts", {"FN"}).size(), 2u);
}

TEST_F(CliConfigTest, AValueThatCannotBeUsedIsAUsageErrorNamingWhereItIs) {
  const std::string file = configFile();
  const struct {
    std::string text;
    std::string said;
  } rows[] = {
      {"remote = \"/r\"\ntransfers =\n", file + ":2:12: "},
      {"transfers = \"four\"\n", file + ":1: transfers: must be a whole number from 1 to 64, not a "
                                        "string"},
      {"transfers = 65\n", file + ":1: transfers: 65 is not a whole number from 1 to 64"},
      {"\ncategories = [\"images\", \"music\"]\n",
       file + ":2: categories: unknown category 'music'"},
      {"categories = \"images\"\n", file + ":1: categories: must be a list such as"},
      {"archive_size = \"1.5Q\"\n", file + ":1: archive_size: '1.5Q' is not a size; write it as "
                                           "512K, 64M or 1.5G"},
      {"archive_size = 0\n", file + ":1: archive_size: 0 is not a size such as"},
      {"history_days = -1\n", file + ":1: history_days: -1 is not a whole number of days"},
      {"archive-size = \"1M\"\n", file + ":1: unknown key 'archive-size'; the keys are remote,"},
      {"[folders]\nphotos = \"~/P\"\n", file + ":2: unknown key 'folders.photos'"},
      {"[folders]\npictures = \"Photos\"\n",
       file + ":2: folders.pictures: 'Photos' is not an absolute path"},
      {"folders = \"~/P\"\n", file + ":1: folders: must be a table"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    writeConfig(row.text);
    // Whatever the verb, and before anything is done.
    for (const char* verb : {"config", "list --json"}) {
      const Outcome outcome = run(verb);
      EXPECT_EQ(outcome.status, 2) << verb;
      EXPECT_THAT(outcome.err, HasSubstr("tessellon: " + row.said)) << verb;
      EXPECT_EQ(outcome.out, "") << verb;
    }
  }

  writeConfig("transfers = 3\n");
  for (const auto& [variable, said] :
       {std::pair{"TESSELLON_TRANSFERS=many", "TESSELLON_TRANSFERS: 'many' is not a whole number"},
        {"TESSELLON_CATEGORIES=images,,videos", "TESSELLON_CATEGORIES: unknown category ''"},
        {"TESSELLON_REMOTE=backups",
         "TESSELLON_REMOTE: 'backups' is not an absolute path or a "
         "URL"}}) {
    SCOPED_TRACE(variable);
    extraEnvironment_ = variable;
    const Outcome outcome = run("config");
    EXPECT_EQ(outcome.status, 2);
    EXPECT_THAT(outcome.err, HasSubstr("tessellon: " + std::string(said)));
  }
}

}  // namespace
}  // namespace tessellon
