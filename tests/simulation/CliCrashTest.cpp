// The `tessellon` command killed at random moments of a backup: the next backup and a restore
// must lose nothing, damage nothing and leave nothing behind.

#include <signal.h>
#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "simulation/ActionGenerator.h"
#include "simulation/HomeModel.h"
#include "simulation/RemoteRecord.h"
#include "support/CliProcess.h"
#include "support/TempDir.h"

namespace tessellon::simulation {
namespace {

namespace fs = std::filesystem;
using ::testing::AnyOf;
using ::testing::IsEmpty;

constexpr int kKills = 20;

class CliCrashTest : public ::testing::Test {
 protected:
  // `tessellon <arguments>` in the sandbox; killed by SIGKILL after `killAfter` when given.
  int run(std::vector<std::string> arguments,
          std::optional<std::chrono::microseconds> killAfter = std::nullopt) {
    arguments.insert(arguments.end(),
                     {"--remote", dir_.file(remote_), "--pictures", dir_.file(home_ + "/Pictures"),
                      "--movies", dir_.file(home_ + "/Movies"), "--only", "images,videos"});
    fs::create_directories(dir_.file("tmp"));
    fs::create_directories(dir_.file(remote_));  // as 'tessellon init' leaves it
    CliProcess cli(TESSELLON_CLI_PATH, arguments,
                   {{"TMPDIR", dir_.file("tmp")},
                    {"XDG_CONFIG_HOME", dir_.file("config")},
                    {"XDG_DATA_HOME", dir_.file("data")},
                    {"HOME", dir_.file("home")}},
                   dir_.file("cli.log"));
    if (killAfter) {
      // The crash moment itself, not a wait for something to finish.
      std::this_thread::sleep_for(*killAfter);
      cli.kill(SIGKILL);
    }
    return cli.wait();
  }
  std::string log() const { return dir_.read("cli.log"); }

  // Files below the device folder that its record does not reference, and any other entry of
  // the remote.
  std::vector<std::string> strayRemoteFiles() const {
    std::vector<std::string> strays;
    for (const auto& device : fs::directory_iterator(dir_.file("remote"))) {
      std::vector<std::string> problems;
      const auto record = RemoteRecord::read(device.path().string(), problems);
      if (!record) {
        strays.push_back(device.path().filename().string());
        continue;
      }
      const std::set<std::string> referenced = record->referencedFiles();
      for (const auto& entry : fs::recursive_directory_iterator(device.path())) {
        const std::string relative = fs::relative(entry.path(), device.path()).string();
        if (entry.is_directory() || referenced.count(relative)) continue;
        // The history keeps what killed runs replaced: records and media, nothing half-written.
        const std::string name = entry.path().filename().string();
        const std::string state = entry.path().parent_path().parent_path().filename().string();
        if (relative.starts_with(".history/") && name[0] != '.' &&
            (name.ends_with(".json") || state.size() == 20)) {
          continue;
        }
        strays.push_back(relative);
      }
    }
    return strays;
  }

  // Files below `folder` but the library's hash cache, which is meant to outlive a run.
  std::vector<std::string> filesLeftIn(const std::string& folder) const {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir_.file(folder))) {
      if (!entry.is_directory() && entry.path().parent_path().filename() != "cache") {
        files.push_back(fs::relative(entry.path(), dir_.file(folder)).string());
      }
    }
    return files;
  }

  TempDir dir_;
  std::string home_ = "home";
  std::string remote_ = "remote";
};

TEST_F(CliCrashTest, KilledBackupsLoseNothingDamageNothingAndLeaveNothingBehind) {
  // About 3 MB in archives of 64 KiB: dozens of uploads, so the kills land all over a run.
  HomeModel home(dir_.file("home"));
  ActionGenerator generator(/*seed=*/20);
  for (int i = 0; i < 48; ++i) {
    Action file = generator.newFile(i < 42 ? "Pictures" : "Movies");
    file.size = i < 42 ? 30000 + file.size * 2 : 250000;
    home.apply(file);
  }

  // One undisturbed run to a scratch remote bounds the kill moments.
  remote_ = "scratch";
  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(run({"backup", "-q", "--archive-size", "64K"}), 0) << log();
  const auto runTime = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - started);
  fs::remove_all(dir_.file("scratch"));
  remote_ = "remote";

  std::mt19937 random(20);
  for (int kill = 0; kill < kKills; ++kill) {
    const std::chrono::microseconds moment(
        std::uniform_int_distribution<int64_t>(0, runTime.count())(random));
    EXPECT_THAT(run({"backup", "-q", "--archive-size", "64K"}, moment), AnyOf(0, 128 + SIGKILL))
        << log();
  }
  ASSERT_EQ(run({"backup", "-q", "--archive-size", "64K"}), 0) << log();
  home_ = "restored";
  ASSERT_EQ(run({"restore", "-q"}), 0) << log();

  const Tree restored = HomeModel::read(dir_.file("restored"));
  for (const auto& [path, file] : home.files()) {
    const auto found = restored.find(path);
    if (found == restored.end()) {
      ADD_FAILURE() << path << " was lost";
    } else {
      EXPECT_TRUE(found->second.content == file.content) << path << " was damaged";
      EXPECT_EQ(found->second.mtimeMs, file.mtimeMs) << path;
    }
  }
  EXPECT_EQ(restored.size(), home.files().size());
  EXPECT_THAT(strayRemoteFiles(), IsEmpty());
  EXPECT_THAT(filesLeftIn("tmp"), IsEmpty());
}

}  // namespace
}  // namespace tessellon::simulation
