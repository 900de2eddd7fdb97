#include "media/DuplicateCollection.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "model/StableHash.h"

namespace tessellon {
namespace {

using std::chrono::milliseconds;

std::shared_ptr<MediaItem> item(std::string id, int64_t bytes, int64_t dateMs,
                                std::string extension = "jpg") {
  return std::make_shared<MediaItem>(std::move(extension), bytes, id, Date(milliseconds(dateMs)),
                                     std::nullopt, std::vector<std::string>{id});
}

TEST(DuplicateCollectionTest, LaterLookalikesAreDuplicatesAndTheFirstNeverIs) {
  struct Row {
    const char* name;
    std::vector<std::shared_ptr<MediaItem>> items;
    DuplicateInfo expected;
  };
  const std::vector<Row> rows = {
      {"three copies",
       {item("a/p", 10, 5000), item("b/p", 10, 5000), item("c/p", 10, 5000)},
       {20, 2}},
      {"equal size, date and extension", {item("x", 7, 1), item("y", 7, 1)}, {7, 1}},
      {"dates a millisecond apart", {item("x", 7, 1000), item("y", 7, 1001)}, {0, 0}},
      {"other extension", {item("x", 7, 1, "jpg"), item("y", 7, 1, "png")}, {0, 0}},
      {"other size", {item("x", 7, 1), item("y", 8, 1)}, {0, 0}},
      {"nothing", {}, {0, 0}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    DuplicateCollection collection(nullptr);
    for (const auto& entry : row.items) collection.addItem(entry);
    EXPECT_EQ(collection.getDuplicateInformation(row.items), row.expected);
  }
  EXPECT_EQ(DuplicateCollection::identityKey(*item("x", 7, -1500, "heic")),
            stableHash("7 -1500 heic"));
}

TEST(DuplicateCollectionTest, ImageAndVideoScansShareOneCollectionUntilReset) {
  DuplicateCollection collection(nullptr);
  const auto image = item("Pictures/p.jpg", 10, 5);
  const auto video = item("Movies/p.mov", 10, 5, "mov");
  collection.addItem(item("first.mov", 10, 5, "mov"));
  collection.addItem(image);
  collection.addItem(video);
  EXPECT_EQ(collection.getDuplicateInformation({image, video}), (DuplicateInfo{10, 1}));

  collection.reset();
  collection.addItem(video);
  EXPECT_EQ(collection.getDuplicateInformation({video}), (DuplicateInfo{0, 0}));
}

}  // namespace
}  // namespace tessellon
