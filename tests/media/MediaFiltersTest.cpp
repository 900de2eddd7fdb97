#include "media/discovery/FileExtensionFilter.h"
#include "media/discovery/PathValidator.h"
#include "media/discovery/Utf8.h"
#include "model/Utf8.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/files/FileIOService.h"
#include "support/MediaTree.h"
#include "support/TempDir.h"

namespace tessellon {
namespace {

using ::testing::ElementsAre;

std::vector<PathData> pathsOf(std::initializer_list<const char*> subPaths) {
  std::vector<PathData> paths;
  for (const char* subPath : subPaths) paths.push_back({std::string("/p/") + subPath, subPath});
  return paths;
}

std::vector<std::string> subPaths(const std::vector<PathData>& paths) {
  std::vector<std::string> result;
  for (const PathData& path : paths) result.push_back(path.subPath);
  return result;
}

TEST(FileExtensionFilterTest, SortsByExtensionIgnoringCaseAndKeepsOrder) {
  const FileExtensionFilter filter;
  const auto paths = pathsOf({"IMG_1.JPG", "movie.MOV", "noextension", "a.tar.png", "x.HeIc",
                              "clip.mp4", "dir.jpg/readme", "jpg", ".png"});
  EXPECT_THAT(subPaths(filter.onlyLeaveImages(paths)),
              ElementsAre("IMG_1.JPG", "a.tar.png", "x.HeIc", ".png"));
  EXPECT_THAT(subPaths(filter.onlyLeaveVideos(paths)), ElementsAre("movie.MOV", "clip.mp4"));
  EXPECT_EQ(filter.imageFormats.size(), 42u);
  EXPECT_EQ(filter.videoFormats.size(), 23u);
}

TEST(FileExtensionFilterTest, KeepsPhotoLibraryInternalsOut) {
  const FileExtensionFilter filter;
  const auto paths = pathsOf({"L.photoslibrary/resources/t.jpg", "L.photoslibrary/originals/o.jpg",
                              "plain/a.jpg", "resources/b.jpg"});
  EXPECT_THAT(subPaths(filter.removeThumbnails(paths)),
              ElementsAre("L.photoslibrary/originals/o.jpg", "plain/a.jpg", "resources/b.jpg"));
  EXPECT_THAT(subPaths(filter.removePhotoLibraryPaths(paths)),
              ElementsAre("plain/a.jpg", "resources/b.jpg"));
}

TEST(PathValidatorTest, RejectsFolderMetadataFoldersAndNamesThatAreNoUrl) {
  TempDir temp;
  MediaTree tree(temp.path(), {{"a.jpg", "x"}, {"my.DS_Store.txt", "x"}, {"sub/b.jpg", "x"}});
  tree.link("folder link", temp.path() + "/sub");
  PathValidator validator(std::make_shared<FileIOService>(temp.path() + "/tmp"));
  const struct {
    std::string path;
    bool valid;
  } rows[] = {
      {tree.path("a.jpg"), true},
      {tree.path("my.DS_Store.txt"), true},
      {tree.path("x/.DS_Store"), false},
      {tree.path(".localized/a.jpg"), false},
      {tree.path("sub"), false},
      {tree.path("folder link"), true},  // not entered by the scan, and no regular file
      {tree.path("missing.jpg"), true},
      {tree.path("caf\xc3\xa9.jpg"), true},
      {tree.path("caf\xe9.jpg"), false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path);
    EXPECT_EQ(validator.isValid(row.path), row.valid);
  }
}

TEST(Utf8Test, AcceptsWellFormedTextOnly) {
  const struct {
    const char* text;
    bool valid;
  } rows[] = {
      {"plain", true},         {"\xc3\xa9", true},         {"\xe2\x98\x80", true},
      {"\xf0\x9f\x93\xb7", true}, {"\xff", false},          {"\xc3", false},
      {"\xc0\xaf", false},     {"\xed\xa0\x80", false},    {"\xf4\x90\x80\x80", false},
      {"\xe2\x98", false},
      // Past the eight-byte ASCII blocks: a bad byte after them, inside, or cut short at the end.
      {"0123456789abcdef\xff", false}, {"0123456789abcdef\xc3\xa9 and then ascii again", true},
      {"01234567\xc3", false},          {"0123\xed\xa0\x80" "0123456789", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(escapedForLog(row.text));
    EXPECT_EQ(isValidUtf8(row.text), row.valid);
  }
  EXPECT_EQ(escapedForLog("a\xff b\n"), "a\\xFF b\\x0A");
}

}  // namespace
}  // namespace tessellon
