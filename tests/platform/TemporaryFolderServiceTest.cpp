#include "platform/files/TemporaryFolderService.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <filesystem>
#include <set>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace tessellon {
namespace {

namespace fs = std::filesystem;

// What a killed run leaves beside the cache, and a file that is not the library's at all.
const std::set<std::string> kRunFiles = {"MAC1.zip",
                                         "MAC1.zip.partial-a1B2c3",
                                         "images.json",
                                         ".backup.json.tmp-4711",
                                         "download-00ff/backup.json",
                                         "download-x1Y2z3"};
const std::set<std::string> kKept = {"cache/hash_1", "notes.txt"};

class TemporaryFolderServiceTest : public ::testing::Test {
 protected:
  std::string file(const std::string& relative) const { return dir_.file("tmp/" + relative); }
  void plant() {
    for (const auto& name : everything()) dir_.write("tmp/" + name, "personal");
    ::chmod(file("").c_str(), 0700);
  }
  // Every file below the folder, relative to it.
  std::set<std::string> files() const {
    std::set<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(file(""))) {
      if (!entry.is_directory()) names.insert(fs::relative(entry.path(), file("")).string());
    }
    return names;
  }
  std::set<std::string> everything() const {
    std::set<std::string> all = kRunFiles;
    all.insert(kKept.begin(), kKept.end());
    return all;
  }

  TempDir dir_;
  TemporaryFolderService service_{dir_.file("tmp")};
};

TEST_F(TemporaryFolderServiceTest, RunFilesGoAtTheFirstAcquireAndWhenTheLastUserReleases) {
  plant();
  ASSERT_TRUE(service_.acquire().ok());
  EXPECT_EQ(files(), kKept);  // a killed run's archive, documents, downloads and the host's
  EXPECT_FALSE(fs::exists(file("download-00ff")));

  // A listing beside an operation: files of the run stay until both have ended.
  dir_.write("tmp/backup.json", "run");
  dir_.write("tmp/download-0a/contacts.json", "listing");
  ASSERT_TRUE(service_.acquire().ok());
  service_.release();
  EXPECT_TRUE(fs::exists(file("download-0a/contacts.json")));
  EXPECT_TRUE(fs::exists(file("backup.json")));
  service_.release();
  EXPECT_EQ(files(), kKept);
}

TEST_F(TemporaryFolderServiceTest, AnotherProcessUsingTheFolderKeepsItsFiles) {
  plant();
  // flock locks belong to an open file description: a second open stands for another process.
  const int other = ::open(file("").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::flock(other, LOCK_SH), 0);

  ASSERT_TRUE(service_.acquire().ok());
  service_.release();
  EXPECT_EQ(files(), everything());

  ::close(other);
  ASSERT_TRUE(service_.acquire().ok());
  EXPECT_EQ(files(), kKept);
  service_.release();
}

}  // namespace
}  // namespace tessellon
