#include "JsonSchema.h"

#include <algorithm>

namespace tessellon {

namespace {

using nlohmann::json;

bool hasType(const json& value, const std::string& type) {
  if (type == "object") return value.is_object();
  if (type == "array") return value.is_array();
  if (type == "string") return value.is_string();
  if (type == "integer") return value.is_number_integer();
  if (type == "number") return value.is_number();
  if (type == "boolean") return value.is_boolean();
  if (type == "null") return value.is_null();
  return false;
}

}  // namespace

std::vector<std::string> JsonSchema::violations(const json& value) const {
  std::vector<std::string> found;
  check(root_, value, "$", found);
  return found;
}

const json& JsonSchema::resolve(const std::string& reference) const {
  // Only "#/$defs/<name>" is used.
  return root_.at("$defs").at(reference.substr(reference.rfind('/') + 1));
}

void JsonSchema::check(const json& schema, const json& value, const std::string& where,
                       std::vector<std::string>& found) const {
  if (schema.contains("$ref")) check(resolve(schema["$ref"]), value, where, found);
  if (schema.contains("oneOf")) {
    int matching = 0;
    for (const json& choice : schema["oneOf"]) {
      std::vector<std::string> own;
      check(choice, value, where, own);
      matching += own.empty();
    }
    if (matching != 1) found.push_back(where + ": fits " + std::to_string(matching) + " of oneOf");
  }
  if (schema.contains("const") && value != schema["const"]) {
    found.push_back(where + ": not " + schema["const"].dump());
  }
  if (schema.contains("enum")) {
    const json& choices = schema["enum"];
    if (std::find(choices.begin(), choices.end(), value) == choices.end()) {
      found.push_back(where + ": not one of " + choices.dump());
    }
  }
  if (schema.contains("type")) {
    const json types = schema["type"].is_array() ? schema["type"] : json::array({schema["type"]});
    if (std::none_of(types.begin(), types.end(),
                     [&](const json& type) { return hasType(value, type); })) {
      found.push_back(where + ": not " + types.dump());
    }
  }
  if (schema.contains("minimum") && value.is_number() && value < schema["minimum"]) {
    found.push_back(where + ": below " + schema["minimum"].dump());
  }
  if (value.is_object()) {
    for (const json& key : schema.value("required", json::array())) {
      if (!value.contains(key.get<std::string>())) found.push_back(where + ": no " + key.dump());
    }
    const json properties = schema.value("properties", json::object());
    for (const auto& [key, member] : value.items()) {
      const std::string place = where + "." + key;
      if (properties.contains(key)) {
        check(properties[key], member, place, found);
      } else if (schema.contains("additionalProperties")) {
        const json& extra = schema["additionalProperties"];
        if (extra.is_boolean()) {
          if (!extra.get<bool>()) found.push_back(place + ": not allowed");
        } else {
          check(extra, member, place, found);
        }
      }
    }
  }
  if (value.is_array() && schema.contains("items")) {
    for (size_t index = 0; index < value.size(); ++index) {
      check(schema["items"], value[index], where + "[" + std::to_string(index) + "]", found);
    }
  }
}

}  // namespace tessellon
