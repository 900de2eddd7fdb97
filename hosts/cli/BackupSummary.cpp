#include "cli/BackupSummary.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>

#include <nlohmann/json.hpp>

#include "tessellon/DeviceStatistics.h"

#include "cli/ExitStatus.h"

namespace tessellon::cli {

namespace {

using nlohmann::json;

void addTotal(std::vector<CategoryTotal>& totals, const char* category,
              const tessellon::BackupCategory& summary) {
  if (summary.held) totals.push_back({category, summary.held->count, summary.held->bytes});
}

json totalsJson(const tessellon::Backup& backup) {
  json object = json::object();
  for (const CategoryTotal& total : categoryTotals(backup)) {
    object[total.category] = {{"count", total.count}, {"bytes", total.bytes}};
  }
  return object;
}

json optionalDate(const std::optional<tessellon::Date>& date) {
  return date ? json(isoDate(*date)) : json(nullptr);
}

template <class Value>
json optionalText(const std::optional<Value>& value) {
  return value ? json(std::string(*value)) : json(nullptr);
}

}  // namespace

std::vector<CategoryTotal> categoryTotals(const tessellon::Backup& backup) {
  std::vector<CategoryTotal> totals;
  addTotal(totals, "contacts", backup.contacts);
  addTotal(totals, "calendars", backup.calendars);
  addTotal(totals, "images", backup.images);
  addTotal(totals, "videos", backup.videos);
  return totals;
}

std::string isoDate(const tessellon::Date& date) {
  const auto sinceEpoch = date.time_since_epoch();
  const auto seconds = std::chrono::floor<std::chrono::seconds>(sinceEpoch);
  const auto millis = (sinceEpoch - seconds).count();
  const std::time_t time = static_cast<std::time_t>(seconds.count());
  std::tm parts{};
  gmtime_r(&time, &parts);
  char text[64];
  const size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts);
  std::snprintf(text + length, sizeof text - length, ".%03dZ", static_cast<int>(millis));
  return text;
}

std::string backupsJson(const std::vector<std::shared_ptr<tessellon::Backup>>& backups,
                        const std::string& remote) {
  json list = json::array();
  for (const std::shared_ptr<tessellon::Backup>& backup : backups) {
    if (!backup) continue;
    list.push_back({
        {"deviceID", backup->deviceID},
        {"name", optionalText(backup->name)},
        {"deviceName", optionalText(backup->deviceName)},
        {"osFamily", backup->osFamily ? json(std::string(rawValue(*backup->osFamily))) : json()},
        {"version", backup->version ? json(backup->version->description()) : json()},
        {"startDate", optionalDate(backup->startDate)},
        {"modificationDate", optionalDate(backup->modificationDate)},
        {"finishDate", optionalDate(backup->finishDate)},
        {"categories", totalsJson(*backup)},
    });
  }
  const json document = {
      {"schema", kJsonSchemaVersion}, {"verb", "list"}, {"remote", remote}, {"backups", list}};
  return document.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace tessellon::cli
