#include <cstdio>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "media/MediaTestFixture.h"

namespace tessellon {
namespace {

using ::testing::ElementsAre;

class MediaArchiveTest : public MediaTestBase {
 protected:
  // The entry names of a finished archive, as unzip lists them.
  static std::vector<std::string> entries(const std::string& archive) {
    std::vector<std::string> names;
    FILE* listing = ::popen(("unzip -Z1 '" + archive + "'").c_str(), "r");
    char line[4096];
    while (listing && std::fgets(line, sizeof line, listing)) {
      std::string name(line);
      if (!name.empty() && name.back() == '\n') name.pop_back();
      names.push_back(name);
    }
    if (listing) ::pclose(listing);
    return names;
  }
};

TEST_F(MediaArchiveTest, PacksTheFirstReadablePathUnderItsFingerprint) {
  const std::string film = randomContent(600, 1);
  tree_.add("Pictures/Lib.photoslibrary/originals/m.mov", film);
  tree_.add("Movies/real.jpg", randomContent(10, 2));
  services();
  const std::string archive = temp_.path() + "/out.zip";
  auto zip = services_.zip->generateZip(archive);
  // A library file: found under the picture folder although it is a video.
  const MediaItem movie("mov", 600, "Lib.photoslibrary/originals/m.mov", Date{},
                        wholeContentFingerprint(film), {"Lib.photoslibrary/originals/m.mov"});
  EXPECT_THAT(awaitResult(services_.videoService->appendItemFileToBackup(zip, movie)),
              SucceedsWith(Void{}));
  const MediaItem other("jpg", 10, "real.jpg", Date{}, "1.1_f", {"missing.jpg", "real.jpg"});
  EXPECT_THAT(awaitResult(services_.videoService->appendItemFileToBackup(zip, other)),
              SucceedsWith(Void{}));
  ASSERT_TRUE(services_.zip->append(zip, tree_.path("Movies/real.jpg"), "last", true).ok());
  EXPECT_THAT(entries(archive),
              ElementsAre("videos/" + wholeContentFingerprint(film) + ".mov", "videos/1.1_f.jpg",
                          "last"));
}

TEST_F(MediaArchiveTest, ItemWithoutAReadableRegularFileCannotBePacked) {
  tree_.add("outside/secret.jpg", randomContent(10, 1));
  tree_.link("Pictures/link.jpg", tree_.path("outside/secret.jpg"));
  services();
  auto zip = services_.zip->generateZip(temp_.path() + "/out.zip");
  MediaItem item("jpg", 10, "link.jpg", Date{}, "1.1_f", {"missing.jpg", "link.jpg"});
  EXPECT_THAT(awaitResult(services_.imageService->appendItemFileToBackup(zip, item)),
              FailsWith(BackupSDKError::mediaNoVideoData));
}

}  // namespace
}  // namespace tessellon
