#include <sys/wait.h>
#include <cstdlib>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace tessellon {
namespace {

using ::testing::HasSubstr;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs the built `tessellon` command with the given shell-quoted arguments.
class CliTest : public ::testing::Test {
 protected:
  Outcome run(const std::string& arguments) {
    const std::string command = std::string("'") + TESSELLON_CLI_PATH + "' " + arguments + " >'" +
                                dir_.file("out") + "' 2>'" + dir_.file("err") + "' </dev/null";
    const int raw = std::system(command.c_str());
    Outcome outcome;
    outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    outcome.out = dir_.read("out");
    outcome.err = dir_.read("err");
    return outcome;
  }

  TempDir dir_;
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
    EXPECT_THAT(outcome.out, HasSubstr("not available yet"));
  }
}

TEST_F(CliTest, HelpForOneVerbDescribesIt) {
  const Outcome outcome = run("help restore");
  EXPECT_EQ(outcome.status, 0);
  EXPECT_THAT(outcome.out, HasSubstr("tessellon restore"));
  EXPECT_THAT(outcome.out, HasSubstr("not available yet"));
  EXPECT_THAT(outcome.out, ::testing::Not(HasSubstr("preview")));
}

TEST_F(CliTest, UsageErrorsExitWithStatusTwoAndExplainOnStandardError) {
  const struct {
    const char* arguments;
    const char* mentioned;
  } rows[] = {
      {"frobnicate", "frobnicate"},
      {"--frobnicate", "--frobnicate"},
      {"help frobnicate", "frobnicate"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.arguments);
    const Outcome outcome = run(row.arguments);
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.out, "");
    EXPECT_THAT(outcome.err, HasSubstr(row.mentioned));
  }
}

TEST_F(CliTest, ListedVerbsAreRefusedUntilTheyLand) {
  const Outcome outcome = run("backup --to /nowhere");
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.out, "");
  EXPECT_THAT(outcome.err, HasSubstr("backup is not available yet"));
}

}  // namespace
}  // namespace tessellon
