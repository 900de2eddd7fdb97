#pragma once

#include <string>
#include <string_view>

namespace tessellon {

// `text` with every byte outside printable ASCII written as "\xNN", for log lines about names that
// are not UTF-8.
std::string escapedForLog(std::string_view text);

}  // namespace tessellon
