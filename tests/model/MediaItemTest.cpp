#include "tessellon/MediaItem.h"

#include <gtest/gtest.h>

#include "model/ModelTestSupport.h"
#include "model/StableHash.h"

namespace tessellon {
namespace {

MediaItem item(int64_t bytes, int64_t modifiedAt, std::vector<std::string> paths,
               std::optional<std::string> fingerprint = std::nullopt,
               std::string extension = "jpg") {
  return MediaItem(std::move(extension), bytes, "id", dateAt(modifiedAt), std::move(fingerprint),
                   std::move(paths));
}

TEST(MediaItemTest, EqualityToleratesSubSecondDatesAndContainedPaths) {
  constexpr int64_t kT = 1614853230123;
  struct Row {
    const char* name;
    MediaItem left;
    MediaItem right;
    bool equal;
  };
  const Row rows[] = {
      {"same", item(10, kT, {"a.jpg"}), item(10, kT, {"a.jpg"}), true},
      {"0.9 s later", item(10, kT, {"a.jpg"}), item(10, kT + 900, {"a.jpg"}), true},
      {"0.999 s earlier", item(10, kT, {"a.jpg"}), item(10, kT - 999, {"a.jpg"}), true},
      {"1.0 s later", item(10, kT, {"a.jpg"}), item(10, kT + 1000, {"a.jpg"}), false},
      {"1.0 s earlier", item(10, kT, {"a.jpg"}), item(10, kT - 1000, {"a.jpg"}), false},
      {"other size", item(10, kT, {"a.jpg"}), item(11, kT, {"a.jpg"}), false},
      {"left paths within right", item(10, kT, {"a.jpg"}), item(10, kT, {"b.jpg", "a.jpg"}), true},
      {"right paths within left", item(10, kT, {"b.jpg", "a.jpg"}), item(10, kT, {"a.jpg"}), true},
      {"overlapping only", item(10, kT, {"a.jpg", "c.jpg"}), item(10, kT, {"a.jpg", "b.jpg"}),
       false},
      {"disjoint", item(10, kT, {"a.jpg"}), item(10, kT, {"b.jpg"}), false},
      {"no paths", item(10, kT, {}), item(10, kT, {"b.jpg"}), true},
      {"paths compare exactly", item(10, kT, {"a.jpg"}), item(10, kT, {"A.jpg"}), false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.left == row.right, row.equal);
    EXPECT_EQ(row.right == row.left, row.equal);
  }
}

// The remote name is fingerprint and extension. The hash names fingerprint cache files, so it
// depends only on size and date and is the same in every process.
TEST(MediaItemTest, RemoteNameAndCacheHash) {
  EXPECT_EQ(item(1, 0, {}, "1.1_abc", "jpg").getRemoteFileName(), "1.1_abc.jpg");
  EXPECT_EQ(item(1, 0, {}, "1.1_abc", "").getRemoteFileName(), "1.1_abc");

  ScopedTimeZone zone("UTC");
  const MediaItem original = item(10, 1000, {"a.jpg"}, "1.1_x");
  EXPECT_EQ(original.hashValue(), item(10, 1000, {"elsewhere/b.jpg"}).hashValue());
  EXPECT_NE(original.hashValue(), item(10, 1001, {"a.jpg"}).hashValue());
  EXPECT_NE(original.hashValue(), item(11, 1000, {"a.jpg"}).hashValue());
  EXPECT_EQ(original.hashValue(), stableHash("101970-01-01T00:00:01.000Z"));
  EXPECT_EQ(original.hashValueAsData(), std::to_string(original.hashValue()));
}

}  // namespace
}  // namespace tessellon
