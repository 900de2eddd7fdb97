#include "sdk/AccessService.h"

#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/access/FolderBasedAccessRequest.h"
#include "platform/access/PhotoLibraryAccessRequest.h"
#include "platform/files/FileIOService.h"
#include "platform/locations/LocationProvider.h"
#include "support/ErrorMatchers.h"
#include "support/TempDir.h"

namespace tessellon {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct Grants {
  bool contacts = true, calendars = true, media = true;
};

// The stores of the three groups, each granting or refusing as the test says and noting the ask.
class FakeStores final : public ContactRepositoryProtocol,
                         public CalendarRepositoryProtocol,
                         public MediaRepositoryProtocol,
                         public AccessRequestFactoryProtocol,
                         public std::enable_shared_from_this<FakeStores> {
 public:
  // The media check (folders and photo library).
  struct Request final : AccessRequestProtocol {
    explicit Request(FakeStores& owner) : stores(owner) {}
    Future<Void> checkAccess(std::shared_ptr<CancelToken> token) override {
      stores.asked.push_back("media");
      if (token && token->isCanceled()) return Future<Void>::cancelled();
      return answer(stores.grants.media, BackupSDKError::mediaNoAccessToPath);
    }
    FakeStores& stores;
  };

  explicit FakeStores(Grants granted = {}) : grants(granted) {}
  static Future<Void> answer(bool granted, BackupSDKError refusal) {
    return granted ? Future<Void>::success(Void{}) : Future<Void>::fail(makeError(refusal, "no"));
  }

  Future<Void> requestAccess() override {
    asked.push_back("contacts");
    // The store's own code does not matter: a refusal is always 201.
    return answer(grants.contacts, BackupSDKError::unknownError);
  }
  Result<std::vector<std::shared_ptr<Contact>>> getExistingContacts() override {
    return std::vector<std::shared_ptr<Contact>>{};
  }
  Result<void> createStore() override { return {}; }
  std::vector<SkippedItem> skippedItems() const override { return {}; }
  std::shared_ptr<Contact> storedForm(const Contact& contact) const override {
    return std::make_shared<Contact>(contact);
  }
  ContactSaveRequest& saveRequest() override { return request_; }
  Result<void> execute() override { return {}; }

  Future<Void> checkAccess(std::shared_ptr<CancelToken>) override {
    asked.push_back("calendars");
    return answer(grants.calendars, BackupSDKError::calendarsAccessDenied);
  }
  Future<std::vector<std::shared_ptr<CalendarEntry>>> getCalendarEntries() override {
    return Future<std::vector<std::shared_ptr<CalendarEntry>>>::success({});
  }
  CalendarEvent storedForm(const CalendarEvent& event) const override { return event; }
  std::optional<std::string> sourceKey(const CalendarEvent&) const override { return std::nullopt; }
  bool readsRule(const std::string&) const override { return true; }
  Future<Void> createCalendarEntry(const std::shared_ptr<CalendarEntry>&) override {
    return Future<Void>::success(Void{});
  }

  std::shared_ptr<MediaItemRepository> imageRepository() const override { return nullptr; }
  std::shared_ptr<MediaItemRepository> videoRepository() const override { return nullptr; }
  std::shared_ptr<AccessRequestFactoryProtocol> accessRequestFactory() const override {
    return std::const_pointer_cast<FakeStores>(shared_from_this());
  }
  Future<bool> exists(const MediaItem&) override { return Future<bool>::success(false); }
  std::shared_ptr<AccessRequestProtocol> createRequest(AccessPurpose) override {
    return std::make_shared<Request>(*this);
  }

  Grants grants;
  std::vector<std::string> asked;

 private:
  ContactSaveRequest request_;
};

std::pair<FutureResult<Void>, std::vector<std::string>> check(
    const Settings& settings, Grants grants, std::shared_ptr<CancelToken> token = nullptr) {
  auto stores = std::make_shared<FakeStores>(grants);
  auto result =
      AccessService(stores, stores, stores).checkAccess(settings, AccessPurpose::backup, token);
  return {result.waitUntilCompleted(), stores->asked};
}

TEST(AccessServiceTest, GroupsAreAskedInOrderUntilTheFirstRefusal) {
  const Settings all(true, true, true, true);
  auto [granted, askedAll] = check(all, {});
  EXPECT_THAT(granted, SucceedsWith(Void{}));
  EXPECT_THAT(askedAll, ElementsAre("contacts", "calendars", "media"));

  auto [noContacts, askedContacts] = check(all, {.contacts = false});
  EXPECT_THAT(noContacts, FailsWith(BackupSDKError::contactsAccessDenied));
  EXPECT_THAT(askedContacts, ElementsAre("contacts"));

  auto [noCalendars, askedCalendars] = check(all, {.calendars = false});
  EXPECT_THAT(noCalendars, FailsWith(BackupSDKError::calendarsAccessDenied));
  EXPECT_THAT(askedCalendars, ElementsAre("contacts", "calendars"));

  auto [noMedia, askedMedia] = check(Settings(false, false, true, false), {.media = false});
  EXPECT_THAT(noMedia, FailsWith(BackupSDKError::mediaNoAccessToPath));
  EXPECT_THAT(askedMedia, ElementsAre("media"));

  auto [nothing, askedNothing] = check(Settings(false, false, false, false), {false, false, false});
  EXPECT_THAT(nothing, SucceedsWith(Void{}));
  EXPECT_THAT(askedNothing, IsEmpty());
}

TEST(AccessServiceTest, ACancelledTokenEndsTheCheckCancelled) {
  auto token = std::make_shared<CancelToken>();
  (void)token->cancel();
  auto [contacts, asked] = check(Settings(true, false, false, false), {}, token);
  EXPECT_TRUE(contacts.isCancelled());
  auto [media, askedMedia] = check(Settings(false, false, false, true), {}, token);
  EXPECT_TRUE(media.isCancelled());
}

class FixedHome final : public DirectoryUtilsProtocol {
 public:
  explicit FixedHome(std::string home) : home_(std::move(home)) {}
  std::string getRealHomeDirectory() const override { return home_; }

 private:
  std::string home_;
};

// A photo library whose status and prompt answer the test chooses.
class ScriptedPhotoLibrary final : public PHPhotoLibraryWrapperProtocol {
 public:
  ScriptedPhotoLibrary(int status, PHAuthorizationStatus answer)
      : status_(status), answer_(answer) {}
  PHAuthorizationStatus authorizationStatus() override {
    return static_cast<PHAuthorizationStatus>(status_);
  }
  Future<PHAuthorizationStatus> requestAuthorization() override {
    ++prompts;
    return Future<PHAuthorizationStatus>::success(answer_);
  }
  int prompts = 0;

 private:
  int status_;
  PHAuthorizationStatus answer_;
};

class AccessRequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.write("home/Pictures/a.jpg", "x");
    dir_.write("home/Movies/b.mov", "x");
  }
  std::shared_ptr<LocationProvider> provider() const {
    return std::make_shared<LocationProvider>(std::make_shared<FixedHome>(dir_.file("home")),
                                              files_);
  }

  TempDir dir_;
  std::shared_ptr<FileIOService> files_ = std::make_shared<FileIOService>(dir_.file("tmp"));
};

TEST_F(AccessRequestTest, PhotoLibraryStatusDecidesBeforeTheFolderCheck) {
  using S = PHAuthorizationStatus;
  struct Case {
    const char* name;
    int status;
    S answer;
    std::optional<BackupSDKError> error;  // nothing: success
    int prompts;
  } cases[] = {
      {"authorized", 3, S::denied, std::nullopt, 0},
      {"restricted", 1, S::authorized, BackupSDKError::mediaNoPhotoLibraryAccess, 0},
      {"denied", 2, S::authorized, BackupSDKError::mediaNoPhotoLibraryAccess, 0},
      {"undecided, then granted", 0, S::authorized, std::nullopt, 1},
      {"undecided, then refused", 0, S::denied, BackupSDKError::mediaNoPhotoLibraryAccess, 1},
      {"a later kind (limited)", 4, S::authorized, BackupSDKError::mediaUnknownPhotoLibraryAccess,
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto library = std::make_shared<ScriptedPhotoLibrary>(c.status, c.answer);
    FakeStores stores;
    const auto result =
        PhotoLibraryAccessRequest(library, std::make_shared<FakeStores::Request>(stores))
            .checkAccess(nullptr);
    if (c.error) {
      EXPECT_THAT(result, FailsWith(*c.error));
    } else {
      EXPECT_THAT(result, SucceedsWith(Void{}));
    }
    EXPECT_EQ(stores.asked.size(), c.error ? 0u : 1u);
    EXPECT_EQ(library->prompts, c.prompts);
  }
}

TEST_F(AccessRequestTest, BothMediaFoldersMustBeReadable) {
  EXPECT_THAT(FolderBasedAccessRequest(files_, provider()).checkAccess(nullptr),
              SucceedsWith(Void{}));

  // Videos alone still need the picture folder (photo libraries live there).
  std::filesystem::remove_all(dir_.file("home/Pictures"));
  EXPECT_THAT(FolderBasedAccessRequest(files_, provider()).checkAccess(nullptr),
              FailsWith(BackupSDKError::mediaNoAccessToPath));
  // A restore makes the missing folder itself, after every check; the check makes nothing.
  EXPECT_THAT(
      FolderBasedAccessRequest(files_, provider(), AccessPurpose::restore).checkAccess(nullptr),
      SucceedsWith(Void{}));
  EXPECT_FALSE(std::filesystem::exists(dir_.file("home/Pictures")));
  // The host's own folders replace the home's.
  auto chosen =
      std::make_shared<LocationProvider>(std::make_shared<FixedHome>(dir_.file("home")), files_,
                                         dir_.file("home/Movies"), dir_.file("home/Movies"));
  EXPECT_EQ(chosen->localImageDirectory(), dir_.file("home/Movies"));
  EXPECT_THAT(FolderBasedAccessRequest(files_, chosen).checkAccess(nullptr), SucceedsWith(Void{}));
}

TEST_F(AccessRequestTest, ACancelledTokenWinsOverEveryOutcome) {
  auto token = std::make_shared<CancelToken>();
  (void)token->cancel();
  FakeStores stores;
  auto library = std::make_shared<ScriptedPhotoLibrary>(2, PHAuthorizationStatus::denied);
  EXPECT_THAT(PhotoLibraryAccessRequest(library, std::make_shared<FakeStores::Request>(stores))
                  .checkAccess(token),
              IsCancelled());
  EXPECT_THAT(FolderBasedAccessRequest(files_, provider()).checkAccess(token), IsCancelled());
}

}  // namespace
}  // namespace tessellon
