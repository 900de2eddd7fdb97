#include "model/json/JsonText.h"

namespace tessellon {
namespace {

// Counts brackets outside strings and refuses NUL bytes, which JSON never
// contains unescaped but the parser would take for the end of the text; the
// parser itself judges everything else.
bool passesPreScan(std::string_view text) {
  int depth = 0;
  bool inString = false;
  bool escaped = false;
  for (const char c : text) {
    if (c == '\0') return false;
    if (inString) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        inString = false;
      }
      continue;
    }
    if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxJsonDepth) return false;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return true;
}

std::optional<std::string> dump(const Json& value, int indent) {
  try {
    return value.dump(indent, ' ', false, Json::error_handler_t::replace);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace

std::optional<Json> parseJson(std::string_view text) {
  if (!passesPreScan(text)) return std::nullopt;
  try {
    Json value = Json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (value.is_discarded()) return std::nullopt;
    return value;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::optional<std::string> toJSONString(const Json& value) { return dump(value, -1); }

std::optional<std::string> toPrettyJSONString(const Json& value) { return dump(value, 2); }

}  // namespace tessellon
