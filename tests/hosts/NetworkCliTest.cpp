// End to end through the `tessellon` command against real network servers on loopback.

#include <sys/wait.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/ApacheDavServer.h"
#include "support/LoopbackPort.h"
#include "support/MediaTree.h"
#include "support/TempDir.h"

namespace tessellon {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

// A WebDAV server that asks for a password, shared by the tests of this program.
ApacheDavServer& davServer() {
  static ApacheDavServer server{(clearAwsEnvironment(), ApacheDavServer::Options{"backup", "s3cr3t pass", std::nullopt})};
  return server;
}

class NetworkCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int next = 0;
    collection_ = "c" + std::to_string(::getpid()) + "-" + std::to_string(next++);
    ASSERT_TRUE(fs::create_directory(davServer().davRoot() + "/" + collection_));
    ASSERT_EQ(std::system(("chown www-data: '" + davServer().davRoot() + "/" + collection_ +
                           "' 2>/dev/null || true").c_str()),
              0);
  }

  std::string remote() const {
    return "dav://127.0.0.1:" + std::to_string(davServer().port()) + "/" + collection_;
  }
  // What the server stores for this test's remote.
  std::string stored() const { return davServer().davRoot() + "/" + collection_; }

  Outcome run(const std::string& arguments, const std::string& password = "s3cr3t pass",
              std::string remoteUrl = "") {
    if (remoteUrl.empty()) remoteUrl = remote();
    const std::string command =
        "env TMPDIR='" + dir_.file("tmp") + "' XDG_CONFIG_HOME='" + dir_.file("config") +
        "' XDG_DATA_HOME='" + dir_.file("data") + "' TESSELLON_WEBDAV_USER=backup " +
        "TESSELLON_WEBDAV_PASSWORD='" + password + "' '" TESSELLON_CLI_PATH "' " + arguments +
        " --remote '" + remoteUrl + "' >'" + dir_.file("out") + "' 2>'" + dir_.file("err") +
        "' </dev/null";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, dir_.read("out"), dir_.read("err")};
  }
  std::string folders(const std::string& home) const {
    return " --pictures '" + dir_.file(home + "/Pictures") + "' --movies '" +
           dir_.file(home + "/Movies") + "' --contacts '" + dir_.file(home + "/contacts") +
           "' --calendars '" + dir_.file(home + "/calendars") + "'";
  }
  void addHome() {
    for (int index = 0; index < 12; ++index) {
      media_.add("Pictures/2021/" + std::to_string(index) + ".jpg",
                 randomContent(20000 + 997 * index, static_cast<uint32_t>(index + 1)));
    }
    media_.add("Movies/trip.mov", randomContent(3 * 1024 * 1024 + 5, 77));
  }
  std::map<std::string, std::string> filesBelow(const std::string& folder) const {
    std::map<std::string, std::string> files;
    const fs::path root = dir_.file(folder);
    if (!fs::exists(root)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      if (!entry.is_regular_file()) continue;
      const auto seconds = std::chrono::floor<std::chrono::seconds>(
          std::chrono::file_clock::to_sys(entry.last_write_time()).time_since_epoch());
      files[entry.path().lexically_relative(root).string()] =
          std::to_string(seconds.count()) + ":" + dir_.read(entry.path().string());
    }
    return files;
  }
  int archivesStored() const {
    int archives = 0;
    for (const auto& entry : fs::recursive_directory_iterator(stored())) {
      archives += entry.path().extension() == ".zip";
    }
    return archives;
  }

  TempDir dir_;
  MediaTree media_{dir_.file("home"), {}};
  std::string collection_;
};

TEST_F(NetworkCliTest, BackupListSecondBackupAndRestoreOverWebDav) {
  addHome();
  const Outcome backup = run("backup --only images,videos --archive-size 100k" + folders("home"));
  ASSERT_EQ(backup.status, 0) << backup.err;
  EXPECT_THAT(backup.out, HasSubstr("0 failed"));
  // Archives are unpacked on this side: none reaches the server.
  EXPECT_EQ(archivesStored(), 0);

  const Outcome list = run("list --json");
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_THAT(list.out, HasSubstr(R"("images":{"bytes":305802,"count":12})"));

  const Outcome again = run("backup --only images,videos" + folders("home"));
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_THAT(again.out, HasSubstr("Nothing new to back up"));

  const Outcome verify = run("verify --read-data");
  EXPECT_EQ(verify.status, 0) << verify.out << verify.err;

  const Outcome restore = run("restore" + folders("home2"));
  ASSERT_EQ(restore.status, 0) << restore.err;
  EXPECT_EQ(filesBelow("home2/Pictures"), filesBelow("home/Pictures"));
  EXPECT_EQ(filesBelow("home2/Movies"), filesBelow("home/Movies"));
  EXPECT_EQ(filesBelow("home2/Pictures").size(), 12u);
}

TEST_F(NetworkCliTest, RefusedCredentialsAndCredentialsInTheUrlAreClearErrors) {
  const Outcome wrong = run("list", "not the password");
  EXPECT_EQ(wrong.status, 1);
  EXPECT_THAT(wrong.err, HasSubstr("refused the credentials (401)"));
  EXPECT_THAT(wrong.err, ::testing::Not(HasSubstr("not the password")));

  const Outcome inUrl = run("list", "s3cr3t pass", "dav://backup:pw@127.0.0.1:1/x");
  EXPECT_EQ(inUrl.status, 1);
  EXPECT_THAT(inUrl.err, HasSubstr("must not carry credentials"));
}

}  // namespace
}  // namespace tessellon
