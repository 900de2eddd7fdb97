#include "media/PathUtils.h"

#include <optional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "media/PathUtil.h"
#include "model/StableHash.h"

namespace tessellon {
namespace {

using Optional = std::optional<std::string>;

TEST(PathUtilsTest, CombinePath) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"/Users/anna/", "Pictures", "/2020/a.jpg"}, "/Users/anna/Pictures/2020/a.jpg"},
      {{"Users/anna", "Pictures"}, "Users/anna/Pictures"},
      {{"//a//", "b//"}, "/a/b"},
      {{"a", "", "b"}, "a//b"},
      {{"/"}, "/"},
      {{}, ""},
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
      {"x/.DS_Store", ".DS_Store", true},
      {"x/my.DS_Store.txt", ".DS_Store", false},
      {"/a/b/c/d", "b/c", true},
      {"/a/b/c/d", "/b/c/", true},
      {"/a//b/", "a/b", true},
      {"/a/b/c", "a/c", false},
      {"a", "a/b", false},
      {"/a/b", "", false},
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
      {"archive.tar.gz", "archive.tar.gz", "gz", "archive.tar"},
      {"/Users/anna/Pictures/a.JPG", "a.JPG", "JPG", "/Users/anna/Pictures/a"},
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
    EXPECT_EQ(PathUtil().getParentDirectory(path), expected);
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

}  // namespace
}  // namespace tessellon
