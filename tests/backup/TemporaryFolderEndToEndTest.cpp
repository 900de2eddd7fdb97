// The library's private temporary folder through the facade: every operation leaves only the
// fingerprint cache in $TMPDIR, and none starts in a folder that is not a private one of ours.

#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tessellon/BackupSDK.h"

#include "delegates/LocalFolderDelegate.h"
#include "model/HostBackup.h"
#include "support/BackgroundQueue.h"
#include "support/ErrorMatchers.h"
#include "support/GeneratedHome.h"
#include "support/MediaTree.h"

namespace tessellon {
namespace {

namespace fs = std::filesystem;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

template <class Value>
struct Outcome {
  Value value;
  std::optional<Error> error;
};

class TemporaryFolderEndToEndTest : public ::testing::Test {
 protected:
  TemporaryFolderEndToEndTest() {
    tree_.add("Pictures/2019/beach.jpg", randomContent(3000, 1));
    tree_.add("Movies/holiday.mp4", randomContent(20000, 7));
    home_.write("contacts/default/anna.vcf",
                "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:anna\r\nN:Berg;Anna;;;\r\nFN:Anna Berg\r\n"
                "END:VCARD\r\n");
    if (const char* saved = std::getenv("TMPDIR")) savedTmp_ = saved;
    // The facade's default folder and the folder remote's downloads both come from $TMPDIR.
    ::setenv("TMPDIR", tmp_.path().c_str(), 1);
    remote_ = std::make_shared<hosts::LocalFolderDelegate>(remoteRoot_.path());
  }
  ~TemporaryFolderEndToEndTest() override {
    sdk_.reset();
    EXPECT_TRUE(flushBackgroundQueue());
    savedTmp_ ? ::setenv("TMPDIR", savedTmp_->c_str(), 1) : ::unsetenv("TMPDIR");
  }

  // Made on first use: making the facade already makes its folders.
  BackupSDK& sdk() {
    if (!sdk_) {
      BackupSDKOptions options = homeOptions(home_);
      options.temporaryDirectory.reset();
      sdk_ = std::make_unique<BackupSDK>(remote_, nullptr, options);
    }
    return *sdk_;
  }
  std::string privateFolder() const { return tmp_.file("tessellon-" + std::to_string(::getuid())); }
  // Every path below $TMPDIR, relative to it, but the private folder and its fingerprint cache.
  std::vector<std::string> leftovers() const {
    std::vector<std::string> found;
    const std::string cache = fs::path(privateFolder()).filename().string() + "/cache";
    // Lexical paths: the cache may be renaming a file of its own while this walks.
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(tmp_.path(), error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
      const fs::directory_entry& entry = *it;
      const std::string path = entry.path().lexically_relative(tmp_.path()).string();
      if (entry.path() != privateFolder() && !path.starts_with(cache)) found.push_back(path);
    }
    return found;
  }

  template <class Value, class Start>
  Outcome<Value> run(Start start) {
    std::promise<Outcome<Value>> done;
    start([&](Value value, std::optional<Error> error) {
      done.set_value({std::move(value), std::move(error)});
    });
    auto future = done.get_future();
    EXPECT_EQ(future.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    return future.get();
  }
  const BackupSettings settings_{"laptop", true, false, true, true, false};
  Outcome<std::shared_ptr<Backup>> preview() {
    return run<std::shared_ptr<Backup>>(
        [&](auto done) { sdk().startPreview(settings_, nullptr, done); });
  }
  Outcome<std::shared_ptr<ProcessReport>> backup() {
    return run<std::shared_ptr<ProcessReport>>(
        [&](auto done) { sdk().startBackup(settings_, nullptr, done); });
  }
  Outcome<std::optional<std::vector<std::shared_ptr<Backup>>>> list() {
    return run<std::optional<std::vector<std::shared_ptr<Backup>>>>(
        [&](auto done) { sdk().getAvailableBackups(done); });
  }
  Outcome<std::shared_ptr<ProcessReport>> restore(std::shared_ptr<Backup> backup) {
    return run<std::shared_ptr<ProcessReport>>([&](auto done) {
      sdk().startRestore(backup, Settings(true, false, true, true), nullptr, done);
    });
  }

  TempDir tmp_;
  TempDir home_;
  TempDir remoteRoot_;
  MediaTree tree_{home_.path(), {}};
  std::optional<std::string> savedTmp_;
  std::shared_ptr<hosts::LocalFolderDelegate> remote_;
  std::unique_ptr<BackupSDK> sdk_;
};

TEST_F(TemporaryFolderEndToEndTest, EveryOperationLeavesOnlyTheFingerprintCache) {
  // What a killed run left: its archive, the partial file of the next, a document, a download.
  for (const char* name :
       {"MAC1.zip", "MAC1.zip.partial-Ab12Cd", "images.json", "download-0a1b/contacts.json"}) {
    tmp_.write(fs::path(privateFolder()).filename().string() + "/" + name, "personal");
  }
  ::chmod(privateFolder().c_str(), 0700);

  const auto previewed = preview();
  ASSERT_FALSE(previewed.error) << describe(*previewed.error);
  EXPECT_THAT(leftovers(), IsEmpty());

  const auto backedUp = backup();
  ASSERT_FALSE(backedUp.error) << describe(*backedUp.error);
  EXPECT_THAT(leftovers(), IsEmpty());
  EXPECT_TRUE(fs::is_directory(privateFolder() + "/cache"));

  const auto listed = list();
  ASSERT_TRUE(listed.value && listed.value->size() == 1u);
  EXPECT_THAT(leftovers(), IsEmpty());

  fs::remove(home_.file("Pictures/2019/beach.jpg"));  // downloaded again by the restore
  const auto restored = restore(listed.value->front());
  ASSERT_FALSE(restored.error) << describe(*restored.error);
  EXPECT_EQ(home_.read("Pictures/2019/beach.jpg"), randomContent(3000, 1));
  EXPECT_THAT(leftovers(), IsEmpty());
}

TEST_F(TemporaryFolderEndToEndTest, NoOperationStartsInAFolderThatIsNotAPrivateOneOfOurs) {
  const std::string attacker = tmp_.file("attacker");
  struct Case {
    const char* what;
    std::function<void()> plant;
    bool needsRoot;
  } cases[] = {
      {"a link planted at its name",
       [&] { fs::create_directory_symlink(attacker, privateFolder()); }, false},
      {"another user's folder, open to all",
       [&] {
         fs::create_directory(privateFolder());
         EXPECT_EQ(::chown(privateFolder().c_str(), 65534, 65534), 0);
         EXPECT_EQ(::chmod(privateFolder().c_str(), 0777), 0);
       },
       true},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    if (test.needsRoot && ::geteuid() != 0) continue;  // giving a folder away needs root
    fs::create_directory(attacker);
    test.plant();

    const std::vector<std::optional<Error>> errors = {
        preview().error, backup().error, list().error,
        restore(hostBackup(std::make_shared<BackupRecord>("MAC1"))).error};

    for (const auto& error : errors) {
      EXPECT_THAT(error, HasCode(BackupSDKError::fileIOFailedToCreateDirectory));
      EXPECT_THAT(error ? error->message : "",
                  AllOf(HasSubstr(privateFolder()), HasSubstr("not a private folder of ours")));
    }
    EXPECT_TRUE(fs::is_empty(attacker));
    if (!fs::is_symlink(privateFolder())) {
      EXPECT_TRUE(fs::is_empty(privateFolder()));
    }
    EXPECT_TRUE(fs::is_empty(remoteRoot_.path()));
    sdk_.reset();
    fs::remove_all(privateFolder());
    fs::remove_all(attacker);
  }
}

}  // namespace
}  // namespace tessellon
