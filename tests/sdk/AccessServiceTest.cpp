#include "sdk/AccessService.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/ErrorMatchers.h"

namespace tessellon {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

using Calls = std::shared_ptr<std::vector<std::string>>;

Future<Void> answer(bool granted, BackupSDKError refusal) {
  return granted ? Future<Void>::success(Void{}) : Future<Void>::fail(makeError(refusal, "no"));
}

class FakeContacts final : public ContactRepositoryProtocol {
 public:
  FakeContacts(Calls calls, bool granted) : calls_(std::move(calls)), granted_(granted) {}
  Future<Void> requestAccess() override {
    calls_->push_back("contacts");
    // The store's own code does not matter: a refusal is always 201.
    return answer(granted_, BackupSDKError::unknownError);
  }
  Result<std::vector<std::shared_ptr<Contact>>> getExistingContacts() override {
    return std::vector<std::shared_ptr<Contact>>{};
  }
  ContactSaveRequest& saveRequest() override { return request_; }
  Result<void> execute() override { return {}; }

 private:
  Calls calls_;
  bool granted_;
  ContactSaveRequest request_;
};

class FakeCalendars final : public CalendarRepositoryProtocol {
 public:
  FakeCalendars(Calls calls, bool granted) : calls_(std::move(calls)), granted_(granted) {}
  Future<Void> checkAccess(std::shared_ptr<CancelToken>) override {
    calls_->push_back("calendars");
    return answer(granted_, BackupSDKError::calendarsAccessDenied);
  }
  Future<std::vector<std::shared_ptr<CalendarEntry>>> getCalendarEntries() override {
    return Future<std::vector<std::shared_ptr<CalendarEntry>>>::success({});
  }
  Future<std::shared_ptr<ItemsMetaData<CalendarEntry>>> getCalendarsMetaData() override {
    return Future<std::shared_ptr<ItemsMetaData<CalendarEntry>>>::success(nullptr);
  }
  Future<Void> createCalendarEntry(const std::shared_ptr<CalendarEntry>&) override {
    return Future<Void>::success(Void{});
  }

 private:
  Calls calls_;
  bool granted_;
};

class FakeMedia final : public MediaRepositoryProtocol, public AccessRequestFactoryProtocol {
 public:
  class Request final : public AccessRequestProtocol {
   public:
    Request(Calls calls, bool granted) : calls_(std::move(calls)), granted_(granted) {}
    Future<Void> checkAccess(std::shared_ptr<CancelToken> token) override {
      calls_->push_back("media");
      if (token && token->isCanceled()) return Future<Void>::cancelled();
      return answer(granted_, BackupSDKError::mediaNoAccessToPath);
    }

   private:
    Calls calls_;
    bool granted_;
  };

  FakeMedia(Calls calls, bool granted) : calls_(std::move(calls)), granted_(granted) {}
  std::shared_ptr<ImageRepositoryProtocol> imageRepository() const override { return nullptr; }
  std::shared_ptr<VideoRepositoryProtocol> videoRepository() const override { return nullptr; }
  std::shared_ptr<AccessRequestFactoryProtocol> accessRequestFactory() const override {
    return std::const_pointer_cast<FakeMedia>(self_.lock());
  }
  Future<bool> exists(const MediaItem&) override { return Future<bool>::success(false); }
  std::shared_ptr<AccessRequestProtocol> createRequest() override {
    return std::make_shared<Request>(calls_, granted_);
  }
  std::weak_ptr<FakeMedia> self_;

 private:
  Calls calls_;
  bool granted_;
};

struct Grants {
  bool contacts = true, calendars = true, media = true;
};

std::pair<FutureResult<Void>, std::vector<std::string>> check(
    const Settings& settings, Grants grants, std::shared_ptr<CancelToken> token = nullptr) {
  auto calls = std::make_shared<std::vector<std::string>>();
  auto media = std::make_shared<FakeMedia>(calls, grants.media);
  media->self_ = media;
  AccessService service(std::make_shared<FakeContacts>(calls, grants.contacts),
                        std::make_shared<FakeCalendars>(calls, grants.calendars), media);
  auto result = service.checkAccess(settings, token).waitUntilCompleted();
  return {result, *calls};
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

}  // namespace
}  // namespace tessellon
