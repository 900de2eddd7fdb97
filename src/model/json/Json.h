#pragma once

// The one place that names the JSON library; everything under model/json/
// reaches it through this alias.
#include <optional>

#include <nlohmann/json.hpp>

namespace tessellon {

// A parsed JSON value. Objects keep their keys sorted, so documents are
// written in a stable order and lookups stay logarithmic on hostile input.
using Json = nlohmann::json;

// Writes `value` under `key` when there is one: documents leave absent fields out.
template <class T>
void setOptional(Json& object, const char* key, const std::optional<T>& value) {
  if (value) object[key] = *value;
}

}  // namespace tessellon
