#pragma once

#include <chrono>
#include <ctime>
#include <string>

#include "tessellon/BackupSDKOptions.h"

#include "support/TempDir.h"

namespace tessellon {

// The facade's options for a home below `home`: media, vCard, iCalendar and the library's folders.
inline BackupSDKOptions homeOptions(const TempDir& home) {
  BackupSDKOptions options;
  options.picturesDirectory = home.file("Pictures");
  options.moviesDirectory = home.file("Movies");
  options.contactsDirectory = home.file("contacts");
  options.calendarsDirectory = home.file("calendars");
  options.temporaryDirectory = home.file("tmp");
  options.stateDirectory = home.file("state");
  return options;
}

// A one-hour "Dentist" event tomorrow, so it is inside the backed-up window whenever tests run.
inline std::string dentistTomorrow() {
  const auto tomorrow = std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now()) +
                        std::chrono::days(1);
  const std::time_t t = std::chrono::system_clock::to_time_t(tomorrow);
  char day[16];
  std::strftime(day, sizeof day, "%Y%m%d", std::gmtime(&t));
  return std::string(
             "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\nBEGIN:VEVENT\r\n"
             "UID:dentist\r\nDTSTAMP:20240101T000000Z\r\nDTSTART:") +
         day + "T090000Z\r\nDTEND:" + day +
         "T100000Z\r\nSUMMARY:Dentist\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
}

}  // namespace tessellon
