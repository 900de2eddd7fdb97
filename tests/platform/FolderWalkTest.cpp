#include "platform/files/FolderWalk.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/files/PosixError.h"

namespace tessellon::posix {
namespace {

// A folder tree in memory: each folder's entries by its relative path ("" the root).
struct Tree {
  std::map<std::string, std::vector<ListedItem>> folders;
  std::optional<std::string> unlistable;  // a folder whose listing fails

  static Tree random(unsigned seed) {
    std::mt19937 random(seed);
    Tree tree;
    std::function<void(const std::string&, int)> grow = [&](const std::string& folder, int depth) {
      std::vector<ListedItem>& entries = tree.folders[folder];
      const int count = static_cast<int>(random() % 12);
      for (int n = 0; n < count; ++n) {
        const std::string name = (folder.empty() ? "" : folder + "/") + "e" + std::to_string(n);
        const bool isFolder = depth < 4 && random() % 3 == 0;
        entries.push_back({name, FileAttributes{isFolder ? FileAttributes::Type::directory
                                                         : FileAttributes::Type::regular,
                                                0,
                                                {},
                                                {}}});
        if (isFolder) grow(name, depth + 1);
      }
    };
    grow("", 0);
    for (const auto& [folder, entries] : tree.folders) {
      if (!folder.empty() && random() % 5 == 0) tree.unlistable = folder;
    }
    return tree;
  }

  // `count` folders of one file each.
  static Tree wide(int count) {
    Tree tree;
    for (int n = 0; n < count; ++n) {
      const std::string name = "d" + std::to_string(1000 + n);
      tree.folders[""].push_back(
          {name, FileAttributes{FileAttributes::Type::directory, 0, {}, {}}});
      tree.folders[name] = {{name + "/f", FileAttributes{}}};
    }
    return tree;
  }

  // The listing a walk expects: the first entry to visit last.
  FolderWalk::Listing list(const std::string& folder) const {
    if (folder == unlistable) return posixError("list " + folder, EACCES);
    std::vector<ListedItem> entries = folders.at(folder);
    std::sort(entries.begin(), entries.end(),
              [](const ListedItem& a, const ListedItem& b) { return a.relative > b.relative; });
    return entries;
  }

  // Pre-order, each folder's entries by name; an unlistable folder is visited, not entered.
  void preOrder(const std::string& folder, std::vector<std::string>& out) const {
    if (folder == unlistable) return;
    std::vector<ListedItem> entries = folders.at(folder);
    std::sort(entries.begin(), entries.end(),
              [](const ListedItem& a, const ListedItem& b) { return a.relative < b.relative; });
    for (const ListedItem& entry : entries) {
      out.push_back(entry.relative);
      if (entry.attributes->type == FileAttributes::Type::directory) preOrder(entry.relative, out);
    }
  }
};

// Listings take a few microseconds each, varied, so the two threads interleave differently.
void pause(const std::string& folder) {
  std::this_thread::sleep_for(std::chrono::microseconds(std::hash<std::string>()(folder) % 50));
}

TEST(FolderWalkTest, VisitsEveryTreeInPreOrderOnTheCallingThreadWhoeverListsIt) {
  for (unsigned seed = 1; seed <= 40; ++seed) {
    const Tree tree = Tree::random(seed);
    std::vector<std::string> expected;
    tree.preOrder("", expected);
    std::map<std::string, int> expectedErrors;
    if (tree.unlistable) expectedErrors[*tree.unlistable] = EACCES;
    const auto caller = std::this_thread::get_id();
    std::vector<std::string> visited;
    std::map<std::string, int> listingErrors;
    bool visitedElsewhere = false;
    {
      FolderWalk walk([&tree](const std::string& folder) {
        pause(folder);
        return tree.list(folder);
      });
      ASSERT_TRUE(walk.run([&](ListedItem&& item) {
                        visitedElsewhere |= std::this_thread::get_id() != caller;
                        if (item.listingError != 0) {
                          listingErrors[item.relative] = item.listingError;
                        }
                        visited.push_back(std::move(item.relative));
                        return true;
                      })
                      .ok());
    }
    EXPECT_EQ(visited, expected) << "seed " << seed;
    // The folder that cannot be listed is handed over with the reason, so a caller can name it.
    EXPECT_EQ(listingErrors, expectedErrors) << "seed " << seed;
    EXPECT_FALSE(visitedElsewhere);
  }
}

TEST(FolderWalkTest, AWideTreeIsListedPartlyByTheHelper) {
  const Tree tree = Tree::wide(200);
  const auto caller = std::this_thread::get_id();
  std::atomic<int> listedElsewhere{0};
  size_t visited = 0;
  FolderWalk walk([&](const std::string& folder) {
    if (std::this_thread::get_id() != caller) ++listedElsewhere;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    return tree.list(folder);
  });
  ASSERT_TRUE(walk.run([&](ListedItem&&) { return ++visited > 0; }).ok());
  EXPECT_EQ(visited, 400u);
  EXPECT_GT(listedElsewhere.load(), 0);
}

TEST(FolderWalkTest, AnEarlyStopLeavesNoListingRunning) {
  const Tree tree = Tree::wide(200);
  std::atomic<int> calls{0};
  int seen = 0;
  {
    FolderWalk walk([&](const std::string& folder) {
      ++calls;
      pause(folder);
      return tree.list(folder);
    });
    ASSERT_TRUE(walk.run([&seen](ListedItem&&) { return ++seen < 100; }).ok());
  }
  EXPECT_EQ(seen, 100);
  const int afterWalk = calls.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(calls.load(), afterWalk);  // the lister (and what it refers to) is no longer used
}

TEST(FolderWalkTest, AnUnlistableRootFails) {
  FolderWalk failing([](const std::string& folder) -> FolderWalk::Listing {
    return posixError("list " + folder, EACCES);
  });
  const Result<void> result = failing.run([](ListedItem&&) { return true; });
  ASSERT_FALSE(result.ok());
}

}  // namespace
}  // namespace tessellon::posix
