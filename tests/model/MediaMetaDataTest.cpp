#include "model/MediaMetaData.h"

#include <algorithm>
#include <random>

#include <gtest/gtest.h>

#include "model/ModelTestSupport.h"

namespace tessellon {
namespace {

constexpr int64_t kT = 1614853230123;

std::shared_ptr<MediaItem> item(int64_t bytes, std::string path,
                                std::optional<std::string> fingerprint = std::nullopt,
                                int64_t modifiedAt = kT) {
  return std::make_shared<MediaItem>("jpg", bytes, path, dateAt(modifiedAt), std::move(fingerprint),
                                     std::vector<std::string>{path});
}

std::vector<std::string> idsOf(const MediaMetaData& metaData) {
  std::vector<std::string> ids;
  for (const auto& entry : metaData.items.value()) ids.push_back(entry->id);
  return ids;
}

TEST(MediaMetaDataTest, SortsBySizeAndFindsTheFirstItemWithAFingerprint) {
  const MediaMetaData metaData(
      {item(5, "a", "f1"), item(3, "b", "f2"), item(5, "c", "f2"), item(1, "d")});
  EXPECT_EQ(idsOf(metaData), (std::vector<std::string>{"d", "b", "a", "c"}));  // stable
  EXPECT_EQ(metaData.count, 4);
  EXPECT_EQ(metaData.bytes, 14);
  EXPECT_EQ(metaData.getMediaItem("f2")->id, "b");
  EXPECT_EQ(metaData.getMediaItem("f3"), nullptr);
  EXPECT_EQ(MediaMetaData::stored(std::nullopt, 3, 30)->getMediaItem("f1"), nullptr);
}

TEST(MediaMetaDataTest, RemovingItemsRecomputesTheCounters) {
  MediaMetaData byFingerprint(
      {item(1, "a", "f1"), item(2, "b", "f2"), item(4, "c", "f1"), item(8, "d")});
  byFingerprint.removeMediaItems({item(99, "other", "f1"), item(99, "no fingerprint")});
  EXPECT_EQ(idsOf(byFingerprint), (std::vector<std::string>{"b", "d"}));
  EXPECT_EQ(byFingerprint.count, 2);
  EXPECT_EQ(byFingerprint.bytes, 10);

  MediaMetaData byEquality({item(1, "a"), item(2, "b"), item(4, "c")});
  byEquality.removeMediaItemsByEquatable({item(2, "b", "f", kT + 500), item(4, "elsewhere")});
  EXPECT_EQ(idsOf(byEquality), (std::vector<std::string>{"a", "c"}));
  EXPECT_EQ(byEquality.count, 2);
  EXPECT_EQ(byEquality.bytes, 5);
}

TEST(MediaMetaDataTest, DifferenceWithoutAStoredListIsEveryLocalItemOnce) {
  const auto local = std::make_shared<MediaMetaData>(
      MediaMetaData::Items{item(3, "c"), item(1, "a"), item(1, "a", std::nullopt, kT + 300)});
  for (const auto& remote :
       {std::shared_ptr<MediaMetaData>(), MediaMetaData::stored(std::nullopt, 2, 2)}) {
    EXPECT_EQ(idsOf(*MediaMetaData::difference(local, remote)),
              (std::vector<std::string>{"a", "c"}));
  }
  EXPECT_EQ(MediaMetaData::difference(nullptr, local), nullptr);
}

// Only a packed item carries a checksum: the scanned item of an unchanged file must still match
// its stored record (or the file would be packed on every run), and the record the next backup
// keeps must be the stored item, checksum and all.
TEST(MediaMetaDataTest, AStoredChecksumNeitherMakesAnUnchangedFileNewNorGetsLost) {
  const auto stored = item(7, "a.jpg", "1.1_a");
  stored->checksum = "xxh3-128:99aa06d3014798d86001c324468d497f";
  const auto local = std::make_shared<MediaMetaData>(MediaMetaData::Items{item(7, "a.jpg")});
  const auto remote = std::make_shared<MediaMetaData>(MediaMetaData::Items{stored});
  EXPECT_EQ(MediaMetaData::difference(local, remote)->items, MediaMetaData::Items{});
  EXPECT_EQ(remote->intersect(*local)->items, MediaMetaData::Items{stored});
}

// Against the definition, on lists dense with lookalikes: few sizes, dates a few seconds apart,
// paths from a small pool, some items without any.
TEST(MediaMetaDataTest, IntersectionAndDifferenceAgreeWithPairwiseEquality) {
  std::mt19937 random(7);
  auto pick = [&random](int count) { return static_cast<int>(random() % count); };
  auto items = [&](int count) {
    MediaMetaData::Items list;
    for (int i = 0; i < count; ++i) {
      std::vector<std::string> paths;
      for (int p = pick(3); p > 0; --p) paths.push_back("p" + std::to_string(pick(40)));
      list.push_back(std::make_shared<MediaItem>("jpg", 1 + pick(3), "i" + std::to_string(i),
                                                 dateAt(kT + pick(4000)), std::nullopt, paths));
    }
    return list;
  };
  // The items of `from` that `keep` accepts, each equal item once, ordered by size.
  auto expected = [](const MediaMetaData::Items& from, auto keep) {
    MediaMetaData::Items kept;
    for (const auto& candidate : from) {
      const bool seen = std::any_of(kept.begin(), kept.end(),
                                    [&](const auto& other) { return *other == *candidate; });
      if (keep(*candidate) && !seen) kept.push_back(candidate);
    }
    std::stable_sort(kept.begin(), kept.end(),
                     [](const auto& a, const auto& b) { return a->bytes < b->bytes; });
    return kept;
  };
  auto anyEqualIn = [](const MediaMetaData::Items& list) {
    return [&list](const MediaItem& wanted) {
      return std::any_of(list.begin(), list.end(),
                         [&](const auto& other) { return *other == wanted; });
    };
  };
  for (int round = 0; round < 20; ++round) {
    const auto local = std::make_shared<MediaMetaData>(items(150));
    const auto remote = std::make_shared<MediaMetaData>(items(150));
    EXPECT_EQ(remote->intersect(*local)->items,
              expected(*remote->items, anyEqualIn(*local->items)));
    const auto notRemote = [&](const MediaItem& item) { return !anyEqualIn(*remote->items)(item); };
    EXPECT_EQ(MediaMetaData::difference(local, remote)->items, expected(*local->items, notRemote));
  }
}

}  // namespace
}  // namespace tessellon
