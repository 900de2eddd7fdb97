#include "model/MediaItem.h"

#include <gtest/gtest.h>

#include "model/ModelTestSupport.h"
#include "model/StableHash.h"

namespace tessellon {
namespace {

MediaItem item(int64_t bytes, int64_t modifiedAt, std::vector<std::string> paths,
               std::optional<std::string> fingerprint = std::nullopt) {
  return MediaItem("jpg", bytes, "id", dateAt(modifiedAt), std::move(fingerprint),
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
      {"0.999 s earlier", item(10, kT, {"a.jpg"}), item(10, kT - 999, {"a.jpg"}), true},
      {"1.0 s later", item(10, kT, {"a.jpg"}), item(10, kT + 1000, {"a.jpg"}), false},
      {"other size", item(10, kT, {"a.jpg"}), item(11, kT, {"a.jpg"}), false},
      {"left paths within right", item(10, kT, {"a.jpg"}), item(10, kT, {"b.jpg", "a.jpg"}), true},
      {"overlapping only", item(10, kT, {"a.jpg", "c.jpg"}), item(10, kT, {"a.jpg", "b.jpg"}),
       false},
      {"no paths", item(10, kT, {}), item(10, kT, {"b.jpg"}), true},
      {"paths compare exactly", item(10, kT, {"a.jpg"}), item(10, kT, {"A.jpg"}), false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.left == row.right, row.equal);
    EXPECT_EQ(row.right == row.left, row.equal);
  }
}

// The hash names fingerprint cache files: it depends only on size and date, in every process.
// Remote names are checked with the archives a backup builds.
TEST(MediaItemTest, CacheHash) {
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
