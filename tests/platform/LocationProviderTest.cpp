#include "platform/locations/LocationProvider.h"

#include <filesystem>
#include <memory>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/files/FileIOService.h"
#include "support/TempDir.h"

namespace tessellon {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(LocationProviderTest, PhotoLibrariesAreFoundAtAnyDepthAndNeverEntered) {
  const TempDir dir;
  dir.write("Pictures/Top.photoslibrary/originals/a.jpg", "a");
  // A library inside a library belongs to the outer one.
  fs::create_directories(dir.file("Pictures/Top.photoslibrary/Inner.photoslibrary"));
  dir.write("Pictures/2019/trip/Deep.photoslibrary/database/x", "x");
  dir.write("Pictures/2019/not-a-library.photoslibrary", "a file");
  dir.write("elsewhere/Linked.photoslibrary/a.jpg", "a");
  fs::create_directory_symlink(dir.file("elsewhere"), dir.file("Pictures/link"));
  fs::create_directory_symlink(dir.file("elsewhere/Linked.photoslibrary"),
                               dir.file("Pictures/Alias.photoslibrary"));
  fs::create_directory_symlink(dir.file("Pictures"), dir.file("pictures-link"));

  const LocationProvider provider(nullptr, std::make_shared<FileIOService>(dir.file("tmp")));
  EXPECT_THAT(provider.getPhotoLibraries(dir.file("Pictures")),
              ElementsAre("2019/trip/Deep.photoslibrary", "Top.photoslibrary"));
  // The folder asked about may itself be a link.
  EXPECT_THAT(provider.getPhotoLibraries(dir.file("pictures-link")),
              ElementsAre("2019/trip/Deep.photoslibrary", "Top.photoslibrary"));
  EXPECT_THAT(provider.getPhotoLibraries(dir.file("missing")), IsEmpty());
}

}  // namespace
}  // namespace tessellon
