#pragma once

#include <functional>
#include <optional>
#include <string_view>

#include "model/json/Json.h"

namespace tessellon {

// Parses a document whose top-level object holds one long list (the "items" of
// "images.json") without keeping that list: each element is handed on as soon
// as it is complete, so memory holds one element's tree at a time instead of
// the whole document's. Everything else becomes an ordinary tree.
class JsonItemStream {
 public:
  struct Handlers {
    // The list key was met (again: a repeated key replaces the earlier list).
    std::function<void()> listStarted;
    // One element of the list, in order.
    std::function<void(Json&& element)> element;
  };

  // The document with the list left empty; nothing when the text is not JSON,
  // holds a NUL byte or nests deeper than kMaxJsonDepth. Never throws.
  static std::optional<Json> parse(std::string_view text, std::string_view listKey,
                                   const Handlers& handlers);
};

}  // namespace tessellon
