#pragma once

#include <string>
#include <string_view>

namespace tessellon {

// Whether `text` is well-formed UTF-8 (no overlong forms, surrogates or code points past U+10FFFF).
// A file name that is not cannot be put into a "file://" URL or a JSON document.
bool isValidUtf8(std::string_view text);

// `text` with every byte outside printable ASCII written as "\xNN", for log lines about names that
// are not UTF-8.
std::string escapedForLog(std::string_view text);

}  // namespace tessellon
