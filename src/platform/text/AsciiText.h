#pragma once

#include <string>
#include <string_view>

namespace tessellon {

// Case rules of the ASCII letters only: file extensions and the keywords of vCard and iCalendar
// compare this way whatever the locale; bytes outside ASCII are compared as they are.

bool equalsIgnoringCase(std::string_view left, std::string_view right);

// `text` with its ASCII letters in lower case.
std::string lowered(std::string_view text);

// A file name made of a record's UID: its first 100 bytes, each outside a portable set (letters,
// digits, "-_.@+") replaced by "_", so a UID from a kept record can never name a path outside its
// folder; `prefix` goes in front of a name that is empty or starts with ".".
std::string fileBase(std::string_view uid, std::string_view prefix);

}  // namespace tessellon
