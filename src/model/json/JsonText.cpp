#include "model/json/JsonText.h"

#include <algorithm>

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

void appendJSONString(std::string_view text, std::string& out) {
  // Printable ASCII other than the quote and the backslash is written as it is; anything else
  // (escapes, UTF-8 checks and replacement) is left to the library's writer.
  const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
    return c >= 0x20 && c < 0x7f && c != '"' && c != '\\';
  });
  if (!plain) {
    out.append(dump(Json(std::string(text)), -1).value_or("\"\""));
    return;
  }
  out.push_back('"');
  out.append(text);
  out.push_back('"');
}

std::optional<std::string> toPrettyJSONString(const Json& value) { return dump(value, 2); }

}  // namespace tessellon
