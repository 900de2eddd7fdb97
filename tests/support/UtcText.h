#pragma once

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <thread>

namespace tessellon {

// "2026-12-07T22:04:37.972Z", as the command writes and reads dates.
inline std::string utcText(std::chrono::system_clock::time_point when) {
  const auto millis = std::chrono::floor<std::chrono::milliseconds>(when);
  const std::time_t seconds = std::chrono::system_clock::to_time_t(millis);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(millis.time_since_epoch().count() % 1000));
  return text;
}

// A moment between the runs before and after it: a few milliseconds from both.
inline std::string momentBetweenRuns() {
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const std::string now = utcText(std::chrono::system_clock::now());
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return now;
}

}  // namespace tessellon
