#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "model/json/Json.h"

namespace tessellon {

// Deepest nesting of arrays and objects a document may have. Ours need five
// levels; the limit keeps hostile input from exhausting the stack in the
// recursive walks (writing, comparing) that follow parsing.
inline constexpr int kMaxJsonDepth = 64;

// The value the UTF-8 text holds; nothing when the text is not JSON (syntax,
// invalid UTF-8, nesting deeper than kMaxJsonDepth). Never throws.
std::optional<Json> parseJson(std::string_view text);

// Compact text (no line breaks). Text that is not valid UTF-8 inside a value
// is written with U+FFFD in its place rather than failing the whole document.
// Nothing only when writing itself fails (out of memory).
std::optional<std::string> toJSONString(const Json& value);

// Appends `text` as a JSON string value, exactly as toJSONString writes it.
void appendJSONString(std::string_view text, std::string& out);

// The same, indented by two spaces.
std::optional<std::string> toPrettyJSONString(const Json& value);

}  // namespace tessellon
