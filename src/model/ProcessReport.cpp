#include "tessellon/ProcessReport.h"

#include <charconv>
#include <cmath>

namespace tessellon {
namespace {

// Decimal megabytes rounded to two places (halves away from zero), in the
// shortest form that reads back, always with a fraction: "0.0", "1.5", "12.34".
std::string megabytes(int64_t bytes) {
  const double value = std::round(static_cast<double>(bytes) / 1'000'000.0 * 100.0) / 100.0;
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
  std::string text(buffer, result.ptr);
  if (text.find('.') == std::string::npos) text += ".0";
  return text;
}

void appendBlock(std::string& text, const char* title, const ReportSection& section) {
  text += title;
  text += "\n- Count (all): " + std::to_string(section.overall) + "\n";
  text += "- Count (success): " + std::to_string(section.success) + "\n";
  text += "- Count (failed): " + std::to_string(section.failed) + "\n";
  if (section.skipped != 0) text += "- Count (skipped): " + std::to_string(section.skipped) + "\n";
  text += "- MegaBytes (all): " + megabytes(section.overallBytes) + "\n";
  text += "- MegaBytes (success): " + megabytes(section.successBytes) + "\n";
  text += "- MegaBytes (failed): " + megabytes(section.failedBytes) + "\n\n";
}

bool sameSection(const std::shared_ptr<ReportSection>& left,
                 const std::shared_ptr<ReportSection>& right) {
  if (!left || !right) return !left && !right;
  return *left == *right;
}

}  // namespace

std::string ReportSection::description() const {
  return "overall=" + std::to_string(overall) + " success=" + std::to_string(success) +
         " failed=" + std::to_string(failed) + " overallBytes=" + std::to_string(overallBytes) +
         " successBytes=" + std::to_string(successBytes) +
         " failedBytes=" + std::to_string(failedBytes) +
         (skipped != 0 ? " skipped=" + std::to_string(skipped) : std::string());
}

bool operator==(const ReportSection& left, const ReportSection& right) {
  if (left.overall != right.overall || left.success != right.success ||
      left.failed != right.failed || left.overallBytes != right.overallBytes ||
      left.successBytes != right.successBytes || left.failedBytes != right.failedBytes ||
      left.skipped != right.skipped || left.skippedPaths != right.skippedPaths) {
    return false;
  }
  const auto* leftMedia = dynamic_cast<const RestoreMediaReportSection*>(&left);
  const auto* rightMedia = dynamic_cast<const RestoreMediaReportSection*>(&right);
  if (!leftMedia || !rightMedia) return !leftMedia && !rightMedia;
  return leftMedia->overallPaths == rightMedia->overallPaths &&
         leftMedia->successPaths == rightMedia->successPaths &&
         leftMedia->failedPaths == rightMedia->failedPaths;
}

std::string RestoreMediaReportSection::description() const {
  return "overallPaths=" + std::to_string(overallPaths) +
         " successPaths=" + std::to_string(successPaths) +
         " failedPaths=" + std::to_string(failedPaths);
}

std::string ProcessReport::description() const {
  std::string text = "\n";
  if (contacts) appendBlock(text, "Contacts", *contacts);
  if (calendars) appendBlock(text, "Calendars", *calendars);
  if (videos) appendBlock(text, "Videos", *videos);
  if (images) appendBlock(text, "Images", *images);
  return text;
}

bool operator==(const ProcessReport& left, const ProcessReport& right) {
  return sameSection(left.images, right.images) && sameSection(left.videos, right.videos) &&
         sameSection(left.contacts, right.contacts) && sameSection(left.calendars, right.calendars);
}

}  // namespace tessellon
