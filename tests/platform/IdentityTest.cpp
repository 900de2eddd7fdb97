#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "platform/identity/DeviceUID.h"
#include "platform/identity/DeviceUIDService.h"
#include "platform/identity/DirectoryUtilsAdapter.h"
#include "platform/identity/UserDefaultsService.h"
#include "platform/locations/PlatformRoots.h"
#include "support/RecordingLogger.h"
#include "support/TempDir.h"

namespace tessellon {
namespace {

constexpr const char* kMachineId = "0123456789abcdef0123456789abcdef\n";

bool isUpperUUID(const std::string& text) {
  static const std::regex kForm("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}");
  return std::regex_match(text, kForm);
}

class IdentityTest : public ::testing::Test {
 protected:
  std::shared_ptr<UserDefaultsService> defaults() {
    return std::make_shared<UserDefaultsService>(dir.file("state"));
  }
  std::string machineIdFile(const char* content) { return dir.write("machine-id", content); }

  TempDir dir;
};

TEST_F(IdentityTest, MachineIdGivesAStableDerivedIdThatHidesIt) {
  std::string path = machineIdFile(kMachineId);
  auto store = defaults();
  std::string id = DeviceUID::uid(store, path);
  EXPECT_TRUE(isUpperUUID(id)) << id;
  EXPECT_EQ(id[14], '8');  // custom-version UUID
  EXPECT_EQ(store->value("deviceUID"), id);
  EXPECT_EQ(DeviceUID::serialNumber(path), id);
  EXPECT_EQ(id.find("01234567"), std::string::npos);  // the raw machine id does not show

  // The same machine id gives the same id in a fresh account, another one a different id.
  TempDir other;
  EXPECT_EQ(DeviceUID::serialNumber(other.write("m", "0123456789abcdef0123456789abcdef")), id);
  EXPECT_NE(DeviceUID::serialNumber(other.write("n", "fedcba9876543210fedcba9876543210\n")), id);
}

TEST_F(IdentityTest, WithoutAMachineIdARandomUUIDIsStoredOnce) {
  struct Case {
    const char* name;
    std::optional<std::string> content;  // nothing: no file at all
  };
  for (const Case& c : {Case{"missing", std::nullopt}, Case{"blank", "\n"}}) {
    SCOPED_TRACE(c.name);
    TempDir account;
    auto store = std::make_shared<UserDefaultsService>(account.file("state"));
    std::string path = c.content ? account.write("machine-id", *c.content) : account.file("none");
    EXPECT_EQ(DeviceUID::serialNumber(path), std::nullopt);
    std::string first = DeviceUID::uid(store, path);
    EXPECT_TRUE(isUpperUUID(first)) << first;
    EXPECT_EQ(first[14], '4');
    EXPECT_EQ(store->value("deviceUID"), first);
    EXPECT_EQ(DeviceUID::uid(store, path), first);
    // A machine id that shows up later does not change the identifier.
    EXPECT_EQ(DeviceUID::uid(store, account.write("later", kMachineId)), first);
  }
}

// A state folder that cannot be written (a file stands where it belongs) for two runs; the third
// finds it writable again. Only a derived identifier can outlive that: without a machine id the
// third run stores a random one, unique as the host-derived one may not be.
TEST_F(IdentityTest, AnIdentifierThatCannotBeStoredStaysTheSameAndIsStoredByALaterRun) {
  for (const bool withMachineId : {true, false}) {
    SCOPED_TRACE(withMachineId ? "machine id" : "no machine id");
    TempDir account;
    const std::string blocker = account.write("state", "not a folder");
    const std::string path =
        withMachineId ? account.write("machine-id", kMachineId) : account.file("none");
    auto logger = std::make_shared<RecordingLogger>();
    auto run = [&] {
      return DeviceUID::uid(std::make_shared<UserDefaultsService>(blocker + "/defaults"), path,
                            logger);
    };
    const std::string first = run();
    EXPECT_EQ(run(), first);
    EXPECT_EQ(first, withMachineId ? DeviceUID::serialNumber(path) : DeviceUID::hostIdentifier());
    EXPECT_EQ(logger->count(LogLevel::warning, "cannot store the device identifier " + first), 2u);

    std::filesystem::remove(blocker);
    const std::string stored = run();
    if (withMachineId) {
      EXPECT_EQ(stored, first);
    }
    EXPECT_EQ(UserDefaultsService(blocker + "/defaults").value("deviceUID"), stored);
    EXPECT_EQ(run(), stored);
    EXPECT_EQ(logger->count(LogLevel::warning, "cannot store"), 2u);
  }
}

TEST_F(IdentityTest, SaveNeverOverwritesAStoredValue) {
  auto store = defaults();
  DeviceUID early("deviceUID", store, machineIdFile(kMachineId));
  std::string computed = early.uid();
  store->setValue("SET-BY-SOMEONE-ELSE", "deviceUID");
  early.save();
  EXPECT_EQ(store->value("deviceUID"), "SET-BY-SOMEONE-ELSE");
  EXPECT_EQ(early.uid(), computed);  // the instance keeps what it computed
}

TEST_F(IdentityTest, StoredValueWinsAndTheServiceCachesItAtCreation) {
  auto store = defaults();
  store->setValue("STORED-ID", "deviceUID");
  DeviceUIDService service(store, machineIdFile(kMachineId));
  EXPECT_EQ(service.cachedUID(), "STORED-ID");
  store->setValue("CHANGED-BY-HAND", "deviceUID");
  EXPECT_EQ(service.getUID(), "CHANGED-BY-HAND");
  EXPECT_EQ(service.cachedUID(), "STORED-ID");
}

TEST_F(IdentityTest, DefaultsSurviveANewServiceAndKeepAwkwardText) {
  const std::pair<std::string, std::string> entries[] = {
      {"deviceUID", "ABC"},
      {"with=equals", "value=with=equals"},
      {"multi\nline", "one\ntwo\\n three\\"},
  };
  {
    auto store = defaults();
    for (const auto& [key, value] : entries) EXPECT_TRUE(store->setValue(value, key));
  }
  auto reopened = defaults();
  for (const auto& [key, value] : entries) {
    SCOPED_TRACE(key);
    EXPECT_EQ(reopened->value(key), value);
  }
  EXPECT_EQ(reopened->value("absent"), std::nullopt);
}

TEST_F(IdentityTest, DefaultsSkipDamagedLines) {
  std::string state = dir.file("a/b/state");
  dir.write("a/b/state/defaults", "good=1\nno separator\nbad=\\x\ntrailing=\\\n");
  auto store = std::make_shared<UserDefaultsService>(state);
  EXPECT_EQ(store->value("good"), "1");
  EXPECT_EQ(store->value("trailing"), std::nullopt);
}

TEST_F(IdentityTest, DefaultsCreateAPrivateFolder) {
  std::string fresh = dir.file("x/y/state");
  EXPECT_TRUE(std::make_shared<UserDefaultsService>(fresh)->setValue("v", "k"));
  struct stat info {};
  ASSERT_EQ(::stat(fresh.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(IdentityTest, FailedWriteKeepsTheValueInMemory) {
  std::string blocker = dir.write("file", "not a folder");
  UserDefaultsService store(blocker + "/state");
  EXPECT_FALSE(store.setValue("v", "k"));
  EXPECT_EQ(store.value("k"), "v");
}

// The home and the default folders follow an absolute $HOME; a relative or missing one falls back
// to the user database.
TEST(DirectoryUtilsTest, HomeIsAnAbsoluteHomeVariableElseTheUserDatabase) {
  const char* saved = std::getenv("HOME");
  const std::string previous = saved ? saved : "";
  passwd* entry = ::getpwuid(::getuid());
  ASSERT_NE(entry, nullptr);
  std::string database = entry->pw_dir;
  while (database.size() > 1 && database.back() == '/') database.pop_back();

  ::setenv("HOME", "/sandbox/home/", 1);
  const std::string set = DirectoryUtilsAdapter().getRealHomeDirectory();
  const PlatformRoots roots = PlatformRoots::fromOptions(BackupSDKOptions{});
  ::setenv("HOME", "relative/home", 1);
  const std::string relative = DirectoryUtilsAdapter().getRealHomeDirectory();
  ::unsetenv("HOME");
  const std::string unset = DirectoryUtilsAdapter().getRealHomeDirectory();
  saved ? ::setenv("HOME", previous.c_str(), 1) : ::unsetenv("HOME");

  EXPECT_EQ(set, "/sandbox/home");
  EXPECT_EQ(roots.pictures, "/sandbox/home/Pictures");
  EXPECT_EQ(roots.contacts, "/sandbox/home/.local/share/contacts");
  EXPECT_EQ(relative, database);
  EXPECT_EQ(unset, database);
}

}  // namespace
}  // namespace tessellon
