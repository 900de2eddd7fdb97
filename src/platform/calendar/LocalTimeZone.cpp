#include "platform/calendar/LocalTimeZone.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace tessellon {

std::string currentTimeZoneIdentifier() {
  constexpr std::string_view kZoneFolder = "zoneinfo/";
  if (const char* zone = std::getenv("TZ"); zone != nullptr && *zone != '\0') {
    std::string name = *zone == ':' ? zone + 1 : zone;
    const size_t folder = name.find(kZoneFolder);
    if (folder != std::string::npos) name = name.substr(folder + kZoneFolder.size());
    if (!name.empty()) return name;
  }
  std::error_code error;
  const std::string target = std::filesystem::read_symlink("/etc/localtime", error).string();
  if (!error) {
    const size_t folder = target.find(kZoneFolder);
    if (folder != std::string::npos) return target.substr(folder + kZoneFolder.size());
  }
  std::ifstream file("/etc/timezone");
  std::string name;
  if (std::getline(file, name) && !name.empty()) return name;
  return "UTC";
}

std::time_t localInstant(int year, int month, int day, int hour, int minute, int second) {
  std::tm fields{};
  fields.tm_year = year - 1900;
  fields.tm_mon = month - 1;
  fields.tm_mday = day;
  fields.tm_hour = hour;
  fields.tm_min = minute;
  fields.tm_sec = second;
  fields.tm_isdst = -1;
  return std::mktime(&fields);
}

}  // namespace tessellon
