#include "tessellon/ProcessReport.h"

#include <gtest/gtest.h>

#include "tessellon/FileStatus.h"

#include "model/SkippedItems.h"
#include "model/json/Json.h"
#include "model/json/ReportJson.h"

namespace tessellon {
namespace {

std::shared_ptr<ReportSection> section(int64_t successBytes) {
  return std::make_shared<ReportSection>(2, 1, successBytes, 0);
}

// The CLI prints this text at the end of a run.
TEST(ProcessReportTest, DescribesThePresentSectionsInFixedOrder) {
  EXPECT_EQ(ProcessReport().description(), "\n");
  ProcessReport report;
  report.contacts = std::make_shared<ReportSection>(3, 1, 1234567, 0);
  EXPECT_EQ(report.description(),
            "\nContacts\n"
            "- Count (all): 4\n"
            "- Count (success): 3\n"
            "- Count (failed): 1\n"
            "- MegaBytes (all): 1.23\n"
            "- MegaBytes (success): 1.23\n"
            "- MegaBytes (failed): 0.0\n\n");

  report.images = section(1);
  report.videos = section(1);
  report.calendars = section(1);
  const std::string text = report.description();
  const size_t images = text.find("\nImages\n");
  ASSERT_NE(images, std::string::npos);
  EXPECT_LT(text.find("\nContacts\n"), text.find("\nCalendars\n"));
  EXPECT_LT(text.find("\nCalendars\n"), text.find("\nVideos\n"));
  EXPECT_LT(text.find("\nVideos\n"), images);
}

TEST(ProcessReportTest, MegabytesAreDecimalAndRoundedToTwoPlaces) {
  const std::pair<int64_t, const char*> rows[] = {
      {1235000, "1.24"}, {1500000, "1.5"}, {5000, "0.01"},
      {4999, "0.0"},     {1000000, "1.0"}, {9000000000000, "9000000.0"},
      {1048576, "1.05"},
  };
  for (const auto& [bytes, megabytes] : rows) {
    SCOPED_TRACE(bytes);
    ProcessReport report;
    report.images = section(bytes);
    const std::string expected = std::string("- MegaBytes (success): ") + megabytes + "\n";
    EXPECT_NE(report.description().find(expected), std::string::npos) << report.description();
  }
}

TEST(ProcessReportTest, JsonLeavesOutTotalsAndAbsentSections) {
  ProcessReport report;
  report.images = std::make_shared<RestoreMediaReportSection>(2, 1, 20, 10, 4, 1);
  report.images->failedItems = {{"2019/a.jpg", "damaged"}};
  report.contacts = std::make_shared<ReportSection>(5, 0, 500, 0);
  EXPECT_EQ(Json::parse(jsonString(report)), Json::parse(R"({
      "images": {"success": 2, "failed": 1, "successBytes": 20, "failedBytes": 10,
                 "successPaths": 4, "failedPaths": 1,
                 "failedItems": [{"path": "2019/a.jpg", "reason": "damaged"}]},
      "contacts": {"success": 5, "failed": 0, "successBytes": 500, "failedBytes": 0}})"));
  EXPECT_EQ(Json::parse(jsonString(FileStatus{3, 1, 300, 100})),
            Json::parse(R"({"overall": 3, "processed": 1, "overallBytes": 300,
                            "processedBytes": 100})"));
}

// Skipped files show only where there are some, so every other report reads as before.
TEST(ProcessReportTest, SkippedFilesAddALineTheirCountAndTheirPaths) {
  ProcessReport report;
  report.images = std::make_shared<ReportSection>(3, 1, 1234567, 0);
  report.images->skipped = 2;
  report.images->skippedPaths = {"/p/closed", "/p/bad\xff.jpg"};
  EXPECT_EQ(report.description(),
            "\nImages\n"
            "- Count (all): 4\n"
            "- Count (success): 3\n"
            "- Count (failed): 1\n"
            "- Count (skipped): 2\n"
            "- MegaBytes (all): 1.23\n"
            "- MegaBytes (success): 1.23\n"
            "- MegaBytes (failed): 0.0\n\n");
  EXPECT_EQ(report.images->description(),
            "overall=4 success=3 failed=1 overallBytes=1234567 successBytes=1234567 "
            "failedBytes=0 skipped=2");
  // A name that is not UTF-8 does not cost the document: its bad byte becomes U+FFFD.
  EXPECT_EQ(Json::parse(jsonString(report)), Json::parse(R"({
      "images": {"success": 3, "failed": 1, "successBytes": 1234567, "failedBytes": 0,
                 "skipped": 2, "skippedPaths": ["/p/closed", "/p/bad\ufffd.jpg"]}})"));
}

TEST(ProcessReportTest, AddSkippedItemsCountsEachPathOnceInItsCategorysSection) {
  using Category = SkippedItem::Category;
  ProcessReport report;
  report.images = std::make_shared<RestoreMediaReportSection>(2, 1, 20, 10, 4, 1);
  const std::shared_ptr<ReportSection> before = report.images;
  const std::vector<SkippedItem> scan = {
      {Category::images, "/p/closed", "unreadable folder"},
      {Category::videos, "/m/gone.mov", "vanished"},
      {Category::images, "/p/bad\xff.jpg", "not UTF-8"},
  };
  addSkippedItems(report, scan);
  addSkippedItems(report, {scan[0], {Category::images, "/p/long", "path too long"}});

  // The run's counts stay, the section keeps its kind, the holder of the old one sees no change.
  RestoreMediaReportSection images(2, 1, 20, 10, 4, 1);
  images.skipped = 3;
  images.skippedPaths = {"/p/closed", "/p/bad\xff.jpg", "/p/long"};
  ASSERT_NE(report.images, nullptr);
  EXPECT_EQ(*report.images, images);
  EXPECT_EQ(before->skipped, 0);
  // A category the run had no items in gets a section of its own.
  ReportSection videos;
  videos.skipped = 1;
  videos.skippedPaths = {"/m/gone.mov"};
  ASSERT_NE(report.videos, nullptr);
  EXPECT_EQ(*report.videos, videos);
  EXPECT_EQ(report.contacts, nullptr);
}

}  // namespace
}  // namespace tessellon
