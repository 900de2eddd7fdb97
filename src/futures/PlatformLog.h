#pragma once

#include <functional>
#include <string_view>

namespace tessellon {

// The futures library's own warnings (misused executors, waits on the main
// thread). They go to standard error unless a sink is installed; they never
// reach the host's logger.
void platformLog(std::string_view line);

// Installs `sink` (nullptr: standard error) and returns the previous one.
std::function<void(std::string_view)> setPlatformLogSink(
    std::function<void(std::string_view)> sink);

}  // namespace tessellon
