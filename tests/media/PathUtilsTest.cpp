#include "core/PathUtils.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "media/discovery/FileExtensionFilter.h"
#include "media/discovery/PathValidator.h"
#include "media/discovery/Utf8.h"
#include "model/StableHash.h"
#include "platform/files/FileIOService.h"
#include "platform/text/Utf8.h"
#include "support/MediaTree.h"
#include "support/TempDir.h"

namespace tessellon {
namespace {

using Optional = std::optional<std::string>;

TEST(PathUtilsTest, CombinePath) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"/Users/anna/", "Pictures", "/2020/a.jpg"}, "/Users/anna/Pictures/2020/a.jpg"},
      {{"//a//", "b//"}, "/a/b"},
      {{"a", "", "b"}, "a//b"},
      {{"/"}, "/"},
  };
  for (const auto& [parts, expected] : cases) {
    SCOPED_TRACE(::testing::PrintToString(parts));
    EXPECT_EQ(PathUtils::combinePath(parts), expected);
  }
}

TEST(PathUtilsTest, SubPaths) {
  const struct {
    std::string path, parent;
    Optional subPath;
  } below[] = {
      {"/a/b/c", "/a/b", "/c"},        {"/a/b/c", "/a/b/", "c"},
      {"/a/bc", "/a/b", std::nullopt}, {"/x/b/c", "/a/b", std::nullopt},
      {"/a/b", "/a/b", std::nullopt},  {"/a/b", "/a/b/c", std::nullopt},
  };
  for (const auto& row : below) {
    SCOPED_TRACE(row.path + " under " + row.parent);
    EXPECT_EQ(PathUtils::getSubPath(row.path, row.parent), row.subPath);
  }
  const struct {
    std::string path, subPath;
    bool contained;
  } within[] = {
      {"x/.DS_Store", ".DS_Store", true}, {"x/my.DS_Store.txt", ".DS_Store", false},
      {"/a/b/c/d", "/b/c/", true},        {"/a//b/", "a/b", true},
      {"/a/b/c", "a/c", false},           {"/a/b", "", false},
  };
  for (const auto& row : within) {
    SCOPED_TRACE(row.path + " contains " + row.subPath);
    EXPECT_EQ(PathUtils::containsSubPath(row.path, row.subPath), row.contained);
  }
}

TEST(PathUtilsTest, NamesAndExtensions) {
  const struct {
    std::string input;
    Optional fileName;
    std::string extension, withoutExtension;
  } cases[] = {
      {"/Users/anna/Pictures/a.tar.JPG", "a.tar.JPG", "JPG", "/Users/anna/Pictures/a.tar"},
      {" \t/a/b.jpg\n", "b.jpg", "jpg\n", " \t/a/b"},
      {"noextension", "noextension", "", "noextension"},
      {".DS_Store", ".DS_Store", "DS_Store", ""},
      {"trailing.", "trailing.", "", "trailing"},
      {"/a/folder/", "", "", "/a/folder/"},
      {" \n", std::nullopt, "", " \n"},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE("\"" + row.input + "\"");
    EXPECT_EQ(PathUtils::getFileName(row.input), row.fileName);
    EXPECT_EQ(PathUtils::getFileExtension(row.input), row.extension);
    EXPECT_EQ(PathUtils::withoutExtension(row.input), row.withoutExtension);
  }
}

TEST(PathUtilsTest, ParentDirectory) {
  const std::pair<std::string, Optional> cases[] = {
      {"/a/b/c", "/a/b"},  {"/a/b/", "/a"},     {"a/b//", "a"},     {"/a", ""},
      {"a", std::nullopt}, {"/", std::nullopt}, {"", std::nullopt},
  };
  for (const auto& [path, expected] : cases) {
    SCOPED_TRACE(path);
    EXPECT_EQ(PathUtils::getParentDirectory(path), expected);
  }
}

TEST(PathUtilsTest, TempFileNamesAreFreshUuidsInTheFolder) {
  const std::string uuid = "[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}";
  const std::string first = PathUtils::createTempFileName("/tmp/tessellon-0/");
  EXPECT_THAT(first, ::testing::MatchesRegex("/tmp/tessellon-0/" + uuid));
  EXPECT_THAT(PathUtils::createTempFileName("/tmp/x"), ::testing::MatchesRegex("/tmp/x/" + uuid));
  EXPECT_NE(PathUtils::createTempFileName("/tmp/tessellon-0/"), first);
}

// Published FNV-1a vectors: a different function would orphan every stored cache key.
TEST(StableHashTest, IsSixtyFourBitFnv1a) {
  static_assert(stableHash("") == 0xcbf29ce484222325ULL);
  EXPECT_EQ(stableHash("a"), 0xaf63dc4c8601ec8cULL);
  EXPECT_EQ(stableHash("foobar"), 0x85944171f73967e8ULL);
}

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
      {"plain", true},
      {"\xc3\xa9", true},
      {"\xe2\x98\x80", true},
      {"\xf0\x9f\x93\xb7", true},
      {"\xff", false},
      {"\xc3", false},
      {"\xc0\xaf", false},
      {"\xed\xa0\x80", false},
      {"\xf4\x90\x80\x80", false},
      {"\xe2\x98", false},
      // Past the eight-byte ASCII blocks: a bad byte after them, inside, or cut short at the end.
      {"0123456789abcdef\xff", false},
      {"0123456789abcdef\xc3\xa9 and then ascii again", true},
      {"01234567\xc3", false},
      {"0123\xed\xa0\x80"
       "0123456789",
       false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(escapedForLog(row.text));
    EXPECT_EQ(isValidUtf8(row.text), row.valid);
  }
  EXPECT_EQ(escapedForLog("a\xff b\n"), "a\\xFF b\\x0A");
}

}  // namespace
}  // namespace tessellon
