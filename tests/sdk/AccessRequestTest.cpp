#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/files/FileIOService.h"
#include "platform/locations/LocationProvider.h"
#include "platform/locations/PHPhotoLibraryWrapper.h"
#include "sdk/AccessRequestFactory.h"
#include "sdk/FolderBasedAccessRequest.h"
#include "sdk/IoC.h"
#include "sdk/PhotoLibraryAccessRequest.h"
#include "support/AwaitResult.h"
#include "support/ErrorMatchers.h"
#include "support/TempDir.h"

namespace tessellon {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

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
  ScriptedPhotoLibrary(int status, PHAuthorizationStatus answer) : status_(status), answer_(answer) {}
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

// Counts the checks that reach it and answers with success.
class CountingRequest final : public AccessRequestProtocol {
 public:
  Future<Void> checkAccess(std::shared_ptr<CancelToken>) override {
    ++checks;
    return Future<Void>::success(Void{});
  }
  int checks = 0;
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
      {"a later kind (limited)", 4, S::authorized, BackupSDKError::mediaUnknownPhotoLibraryAccess, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto library = std::make_shared<ScriptedPhotoLibrary>(c.status, c.answer);
    auto folders = std::make_shared<CountingRequest>();
    const auto result = PhotoLibraryAccessRequest(library, folders).checkAccess(nullptr);
    if (c.error) {
      EXPECT_THAT(result, FailsWith(*c.error));
    } else {
      EXPECT_THAT(result, SucceedsWith(Void{}));
    }
    EXPECT_EQ(folders->checks, c.error ? 0 : 1);
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
  // The host's own folders replace the home's.
  auto chosen = std::make_shared<LocationProvider>(std::make_shared<FixedHome>(dir_.file("home")),
                                                   files_, dir_.file("home/Movies"),
                                                   dir_.file("home/Movies"));
  EXPECT_EQ(chosen->localImageDirectory(), dir_.file("home/Movies"));
  EXPECT_THAT(FolderBasedAccessRequest(files_, chosen).checkAccess(nullptr), SucceedsWith(Void{}));
}

TEST_F(AccessRequestTest, ACancelledTokenWinsOverEveryOutcome) {
  auto token = std::make_shared<CancelToken>();
  (void)token->cancel();
  auto folders = std::make_shared<CountingRequest>();
  auto library = std::make_shared<ScriptedPhotoLibrary>(2, PHAuthorizationStatus::denied);
  EXPECT_THAT(PhotoLibraryAccessRequest(library, folders).checkAccess(token), IsCancelled());
  EXPECT_THAT(FolderBasedAccessRequest(files_, provider()).checkAccess(token), IsCancelled());
}

TEST_F(AccessRequestTest, FactoryBuildsTheWholeCheckFromTheContainer) {
  IoC::reset();
  (void)IoC::registerSingleton<FileIOServiceProtocol>(files_);
  (void)IoC::registerSingleton<LocationProviderProtocol>(provider());
  (void)IoC::registerSingleton<PHPhotoLibraryWrapperProtocol>(
      std::make_shared<PHPhotoLibraryWrapper>());
  AccessRequestFactory factory;
  auto first = factory.createRequest();
  EXPECT_NE(first, factory.createRequest());
  EXPECT_THAT(first->checkAccess(nullptr), SucceedsWith(Void{}));
  std::filesystem::remove_all(dir_.file("home/Movies"));
  EXPECT_THAT(first->checkAccess(nullptr), FailsWith(BackupSDKError::mediaNoAccessToPath));
  IoC::reset();
}

TEST_F(AccessRequestTest, PhotoLibrariesAreTheBundlesNotTheirInsides) {
  dir_.write("home/Pictures/Photos Library.photoslibrary/originals/0/IMG_1.JPG", "x");
  dir_.write("home/Pictures/old/Family.photoslibrary/database/x", "x");
  dir_.write("home/Pictures/not.photoslibrary.txt", "x");
  dir_.write("home/Pictures/upper.PHOTOSLIBRARY/x", "x");
  EXPECT_THAT(provider()->getPhotoLibraries(dir_.file("home/Pictures")),
              ElementsAre("Photos Library.photoslibrary", "old/Family.photoslibrary"));
  EXPECT_THAT(provider()->getPhotoLibraries(dir_.file("missing")), IsEmpty());
  EXPECT_EQ(provider()->localVideoDirectory(), dir_.file("home/Movies"));
}

}  // namespace
}  // namespace tessellon
