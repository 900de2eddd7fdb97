#include "model/json/DeviceLockJson.h"

#include <chrono>
#include <cstdio>

#include "model/json/JsonText.h"
#include "platform/text/DateText.h"

namespace tessellon {

std::string utcText(Date date) {
  using namespace std::chrono;
  const auto day = floor<days>(date);
  const year_month_day ymd(day);
  const hh_mm_ss<milliseconds> time(date - day);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", int(ymd.year()),
                unsigned(ymd.month()), unsigned(ymd.day()), int(time.hours().count()),
                int(time.minutes().count()), int(time.seconds().count()),
                int(time.subseconds().count()));
  return text;
}

std::string lockJson(const DeviceLockRecord& record) {
  const Json object{{"host", record.host},
                    {"pid", record.pid},
                    {"started", utcText(record.started)},
                    {"refreshed", utcText(record.refreshed)}};
  return toJSONString(object).value_or("{}");
}

std::optional<DeviceLockRecord> lockFromJson(std::string_view text) {
  const std::optional<Json> value = parseJson(text);
  if (!value || !value->is_object()) return std::nullopt;
  const auto member = [&](const char* key) -> const Json* {
    const auto found = value->find(key);
    return found == value->end() ? nullptr : &*found;
  };
  const Json* host = member("host");
  const Json* pid = member("pid");
  const Json* started = member("started");
  const Json* refreshed = member("refreshed");
  if (!host || !host->is_string() || !pid || !pid->is_number_integer() || !started ||
      !started->is_string() || !refreshed || !refreshed->is_string()) {
    return std::nullopt;
  }
  const std::optional<Date> startDate = toDate(started->get<std::string>());
  const std::optional<Date> refreshDate = toDate(refreshed->get<std::string>());
  if (!startDate || !refreshDate) return std::nullopt;
  return DeviceLockRecord{host->get<std::string>(), pid->get<int64_t>(), *startDate, *refreshDate};
}

}  // namespace tessellon
