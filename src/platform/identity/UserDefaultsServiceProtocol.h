#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tessellon {

// A small persistent store of text values by key, private to the user account.
class UserDefaultsServiceProtocol {
 public:
  static constexpr std::string_view kProtocolName = "UserDefaultsServiceProtocol";
  UserDefaultsServiceProtocol() = default;
  virtual ~UserDefaultsServiceProtocol() = default;
  UserDefaultsServiceProtocol(const UserDefaultsServiceProtocol&) = delete;
  UserDefaultsServiceProtocol& operator=(const UserDefaultsServiceProtocol&) = delete;

  // The value stored under `key`, or nothing.
  virtual std::optional<std::string> value(const std::string& key) const = 0;

  // Stores `value` under `key` and writes the store to disk at once. False when the
  // write failed; the value is kept in memory either way and goes out with the next write.
  virtual bool setValue(const std::string& value, const std::string& key) = 0;
};

}  // namespace tessellon
