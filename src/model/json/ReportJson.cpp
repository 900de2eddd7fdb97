#include "model/json/ReportJson.h"

#include "model/json/Json.h"
#include "model/json/JsonText.h"

namespace tessellon {
namespace {

Json sectionJson(const ReportSection& section) {
  Json object{{"success", section.success},
              {"failed", section.failed},
              {"successBytes", section.successBytes},
              {"failedBytes", section.failedBytes}};
  if (const auto* media = dynamic_cast<const RestoreMediaReportSection*>(&section)) {
    object["successPaths"] = media->successPaths;
    object["failedPaths"] = media->failedPaths;
  }
  if (!section.failedItems.empty()) {
    Json failed = Json::array();
    for (const FailedItem& item : section.failedItems) {
      failed.push_back(Json{{"path", item.path}, {"reason", item.reason}});
    }
    object["failedItems"] = std::move(failed);
  }
  if (section.skipped != 0) {
    object["skipped"] = section.skipped;
    object["skippedPaths"] = section.skippedPaths;
  }
  return object;
}

// Writing cannot fail short of memory: a failed or skipped path that is not UTF-8 is written with
// U+FFFD in place of its bad bytes.
std::string text(const Json& value) { return toJSONString(value).value_or("{}"); }

}  // namespace

std::string jsonString(const ReportSection& section) { return text(sectionJson(section)); }

std::string jsonString(const ProcessReport& report) {
  Json object = Json::object();
  if (report.images) object["images"] = sectionJson(*report.images);
  if (report.videos) object["videos"] = sectionJson(*report.videos);
  if (report.contacts) object["contacts"] = sectionJson(*report.contacts);
  if (report.calendars) object["calendars"] = sectionJson(*report.calendars);
  return text(object);
}

std::string jsonString(const FileStatus& status) {
  return text(Json{{"overall", status.overall},
                   {"processed", status.processed},
                   {"overallBytes", status.overallBytes},
                   {"processedBytes", status.processedBytes}});
}

}  // namespace tessellon
