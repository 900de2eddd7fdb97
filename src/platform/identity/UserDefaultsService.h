#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "platform/identity/UserDefaultsServiceProtocol.h"

namespace tessellon {

// Keeps the values in the file "defaults" of the state folder, one `key=value` line each
// ('\n', '\\' and, in keys, '=' escaped with a backslash). The file is read once, at
// construction, and replaced atomically on every change; lines it cannot parse are skipped.
class UserDefaultsService : public UserDefaultsServiceProtocol {
 public:
  explicit UserDefaultsService(std::string stateFolder);

  std::optional<std::string> value(const std::string& key) const override;
  bool setValue(const std::string& value, const std::string& key) override;

 private:
  bool writeLocked() const;

  std::string stateFolder_;
  mutable std::mutex mutex_;
  std::map<std::string, std::string> values_;
};

}  // namespace tessellon
