#include "platform/text/AsciiText.h"

#include <algorithm>
#include <cctype>

namespace tessellon {

bool equalsIgnoringCase(std::string_view left, std::string_view right) {
  return left.size() == right.size() &&
         std::equal(left.begin(), left.end(), right.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) ==
                  std::tolower(static_cast<unsigned char>(b));
         });
}

std::string lowered(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return result;
}

std::string fileBase(std::string_view uid, std::string_view prefix) {
  constexpr size_t kMaxLength = 100;
  std::string base;
  for (const char c : uid.substr(0, kMaxLength)) {
    const bool portable = std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' ||
                          c == '.' || c == '@' || c == '+';
    base.push_back(portable ? c : '_');
  }
  if (base.empty() || base[0] == '.') base.insert(0, prefix);
  return base;
}

}  // namespace tessellon
