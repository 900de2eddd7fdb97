// End to end through the `tessellon` command against real network servers on loopback.

#include <sys/wait.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "delegates/S3Store.h"
#include "support/ApacheDavServer.h"
#include "support/CephGateway.h"
#include "support/LoopbackPort.h"
#include "support/MediaTree.h"
#include "support/TempDir.h"
#include "support/UtcText.h"

namespace tessellon {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

// The command with `arguments`, its folders in `dir`; the credentials come from this process's
// environment.
Outcome runCli(const TempDir& dir, const std::string& arguments) {
  const std::string command = "env TMPDIR='" + dir.file("tmp") + "' XDG_CONFIG_HOME='" +
                              dir.file("config") + "' XDG_DATA_HOME='" + dir.file("data") +
                              "' '" TESSELLON_CLI_PATH "' " + arguments + " >'" + dir.file("out") +
                              "' 2>'" + dir.file("err") + "' </dev/null";
  const int raw = std::system(command.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, dir.read("out"), dir.read("err")};
}

// A WebDAV server that asks for a password, shared by the tests of this program.
ApacheDavServer& davServer() {
  static ApacheDavServer server{
      (clearAwsEnvironment(), ApacheDavServer::Options{"backup", "s3cr3t pass", std::nullopt})};
  return server;
}

CephGateway& gateway() {
  static CephGateway gateway;
  return gateway;
}

enum class Kind { webDav, s3 };

// The command against each kind of network remote; credentials reach it through the
// environment only.
class NetworkCliTest : public ::testing::TestWithParam<Kind> {
 protected:
  void SetUp() override {
    static int next = 0;
    name_ = "c" + std::to_string(::getpid()) + "-" + std::to_string(next++);
    if (GetParam() == Kind::webDav) {
      ASSERT_TRUE(fs::create_directory(davServer().davRoot() + "/" + name_));
      ASSERT_EQ(std::system(("chown www-data: '" + davServer().davRoot() + "/" + name_ +
                             "' 2>/dev/null || true")
                                .c_str()),
                0);
      ::setenv("TESSELLON_WEBDAV_USER", "backup", 1);
      ::setenv("TESSELLON_WEBDAV_PASSWORD", "s3cr3t pass", 1);
    } else {
      ASSERT_TRUE(gateway().running());
      hosts::StoreAnswer answer = hosts::StoreAnswer::done;
      ASSERT_EQ(bucket().makeBucket(answer), std::nullopt);
      ::setenv("AWS_ACCESS_KEY_ID", gateway().accessKey().c_str(), 1);
      ::setenv("AWS_SECRET_ACCESS_KEY", gateway().secretKey().c_str(), 1);
      ::setenv("AWS_ENDPOINT_URL", gateway().endpoint().c_str(), 1);
    }
  }
  void TearDown() override {
    for (const char* name : {"TESSELLON_WEBDAV_USER", "TESSELLON_WEBDAV_PASSWORD",
                             "AWS_ACCESS_KEY_ID", "AWS_SECRET_ACCESS_KEY", "AWS_ENDPOINT_URL"}) {
      ::unsetenv(name);
    }
  }

  hosts::S3Store bucket() const {
    hosts::S3Store::Location location;
    location.endpoint = gateway().endpoint();
    location.bucket = name_;
    hosts::HttpOptions options;
    options.user = gateway().accessKey();
    options.password = gateway().secretKey();
    return hosts::S3Store(location, options);
  }
  std::string remote() const {
    if (GetParam() == Kind::s3) return "s3://" + name_ + "/backups";
    return "dav://127.0.0.1:" + std::to_string(davServer().port()) + "/" + name_;
  }

  Outcome run(const std::string& arguments, const std::string& remoteUrl = "") {
    return runCli(dir_,
                  arguments + " --remote '" + (remoteUrl.empty() ? remote() : remoteUrl) + "'");
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
  // Archives on the server: the command unpacks them on this side, so there must be none.
  int archivesStored() const {
    int archives = 0;
    if (GetParam() == Kind::webDav) {
      for (const auto& entry :
           fs::recursive_directory_iterator(davServer().davRoot() + "/" + name_)) {
        archives += entry.path().extension() == ".zip";
      }
      return archives;
    }
    hosts::S3Store store = bucket();
    std::vector<std::string> folders{"backups"};
    while (!folders.empty()) {
      std::vector<hosts::StoredMember> members;
      hosts::StoreAnswer answer = hosts::StoreAnswer::done;
      EXPECT_EQ(store.list(folders.back(), members, answer), std::nullopt);
      folders.pop_back();
      for (const auto& member : members) {
        if (member.folder) folders.push_back(member.key);
        archives += member.key.ends_with(".zip");
      }
    }
    return archives;
  }

  TempDir dir_;
  MediaTree media_{dir_.file("home"), {}};
  std::string name_;
};

TEST_P(NetworkCliTest, BackupListSecondBackupAndRestore) {
  addHome();
  const Outcome backup = run("backup --only images,videos --archive-size 100k" + folders("home"));
  ASSERT_EQ(backup.status, 0) << backup.err;
  EXPECT_THAT(backup.out, HasSubstr("  images     new 12, unchanged 0, removed 0, failed 0"));
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

// The server moves what a pruning backup removes into the history, and restores read it back.
TEST_P(NetworkCliTest, PicturesPrunedComeBackAsOfADateBeforeThePrune) {
  addHome();
  const Outcome backup = run("backup --only images" + folders("home"));
  ASSERT_EQ(backup.status, 0) << backup.err;
  const auto pictures = filesBelow("home/Pictures");
  const std::string beforePrune = momentBetweenRuns();
  for (const char* gone : {"0", "1", "2"}) {
    fs::remove(dir_.file("home/Pictures/2021/" + std::string(gone) + ".jpg"));
  }
  const Outcome pruned = run("backup --only images --prune" + folders("home"));
  ASSERT_EQ(pruned.status, 0) << pruned.err;
  EXPECT_THAT(pruned.out, HasSubstr("removed 3"));

  const Outcome history = run("history --json");
  ASSERT_EQ(history.status, 0) << history.err;
  EXPECT_THAT(history.out, HasSubstr(R"("states":[{"bytes":)"));
  const Outcome asOf = run("restore --as-of " + beforePrune + folders("then"));
  ASSERT_EQ(asOf.status, 0) << asOf.err;
  EXPECT_EQ(filesBelow("then/Pictures"), pictures);
  ASSERT_EQ(run("restore" + folders("now")).status, 0);
  EXPECT_EQ(filesBelow("now/Pictures").size(), 9u);
}

TEST_P(NetworkCliTest, AMissingRemoteIsRefusedAndOnlyInitMakesIt) {
  const std::string missing =
      GetParam() == Kind::s3
          ? "s3://" + name_ + "-none/backups"
          : "dav://127.0.0.1:" + std::to_string(davServer().port()) + "/" + name_ + "-new/backups";
  for (const char* verb : {"list", "verify"}) {
    const Outcome refused = run(verb, missing);
    EXPECT_EQ(refused.status, 1) << verb;
    EXPECT_THAT(refused.err, HasSubstr("there is no remote at " + missing)) << verb;
    EXPECT_THAT(refused.err, HasSubstr("'tessellon init --remote " + missing + "'")) << verb;
  }
  const Outcome init = run("init", missing);
  if (GetParam() == Kind::s3) {
    // A bucket is the provider's to make.
    EXPECT_EQ(init.status, 1);
    EXPECT_THAT(init.err, HasSubstr("create it with the server's own tools"));
    return;
  }
  ASSERT_EQ(init.status, 0) << init.err;
  EXPECT_THAT(init.out, HasSubstr("Created the remote " + missing));
  EXPECT_THAT(run("init", missing).out, HasSubstr("is there already"));
  const Outcome list = run("list", missing);
  EXPECT_EQ(list.status, 0) << list.err;
  EXPECT_THAT(list.out, HasSubstr("No backups"));
}

TEST_P(NetworkCliTest, RefusedCredentialsAreAClearErrorThatShowsNoSecret) {
  const char* secret =
      GetParam() == Kind::webDav ? "TESSELLON_WEBDAV_PASSWORD" : "AWS_SECRET_ACCESS_KEY";
  ::setenv(secret, "not the password", 1);
  const Outcome wrong = run("list");
  EXPECT_EQ(wrong.status, 1);
  EXPECT_THAT(wrong.err, HasSubstr(GetParam() == Kind::webDav ? "refused the credentials (401)"
                                                              : "check the credentials"));
  EXPECT_THAT(wrong.err, ::testing::Not(HasSubstr("not the password")));
}

TEST_P(NetworkCliTest, CredentialsInTheUrlAreRefused) {
  const Outcome inUrl = run("list", GetParam() == Kind::webDav ? "dav://backup:pw@127.0.0.1:1/x"
                                                               : "s3://key:secret@bucket/x");
  EXPECT_EQ(inUrl.status, 1);
  EXPECT_THAT(inUrl.err, HasSubstr("must not carry credentials"));
}

// An HTTPS WebDAV server with a throwaway CA: the CA file makes it trusted, another CA is a
// clear TLS error, and skipping the check works but says so.
TEST(HttpsCliTest, TheCaFileIsTrustedAnotherCaRefusedAndInsecureWarned) {
  ApacheDavServer server{(clearAwsEnvironment(), ApacheDavServer::Options{{}, "", {}, true})};
  TempDir dir;
  const std::string remote = "davs://127.0.0.1:" + std::to_string(server.port()) + "/";
  auto run = [&](const std::string& arguments) {
    return runCli(dir, "list --remote '" + remote + "' " + arguments);
  };

  const Outcome trusted = run("--ca-file '" + server.caFile() + "'");
  EXPECT_EQ(trusted.status, 0) << trusted.err;
  EXPECT_THAT(trusted.err, ::testing::Not(HasSubstr("warning")));

  const Outcome refused = run("--ca-file '" + server.otherCaFile() + "'");
  EXPECT_EQ(refused.status, 1);
  EXPECT_THAT(refused.err, HasSubstr("TLS: the server's certificate is not trusted"));

  const Outcome insecure = run("--insecure");
  EXPECT_EQ(insecure.status, 0) << insecure.err;
  EXPECT_THAT(insecure.err, HasSubstr("warning: --insecure"));
}

INSTANTIATE_TEST_SUITE_P(Remotes, NetworkCliTest, ::testing::Values(Kind::webDav, Kind::s3),
                         [](const auto& param) {
                           return std::string(param.param == Kind::webDav ? "WebDav" : "S3");
                         });

}  // namespace
}  // namespace tessellon
