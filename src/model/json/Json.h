#pragma once

// The one place that names the JSON library; everything under model/json/
// reaches it through this alias.
#include <nlohmann/json.hpp>

namespace tessellon {

// A parsed JSON value. Objects keep their keys sorted, so documents are
// written in a stable order and lookups stay logarithmic on hostile input.
using Json = nlohmann::json;

}  // namespace tessellon
