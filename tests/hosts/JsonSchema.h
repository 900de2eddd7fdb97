#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace tessellon {

// Checks a JSON value against a JSON Schema, for the keywords the command's output schema uses:
// $ref (within the document), oneOf, type, const, enum, minimum, required, properties,
// additionalProperties and items. Other keywords are ignored.
class JsonSchema {
 public:
  explicit JsonSchema(nlohmann::json schema) : root_(std::move(schema)) {}

  // Where `value` breaks the schema ("$.categories.images.new: not integer"); empty when it
  // conforms.
  std::vector<std::string> violations(const nlohmann::json& value) const;

 private:
  void check(const nlohmann::json& schema, const nlohmann::json& value, const std::string& where,
             std::vector<std::string>& found) const;
  const nlohmann::json& resolve(const std::string& reference) const;

  nlohmann::json root_;
};

}  // namespace tessellon
