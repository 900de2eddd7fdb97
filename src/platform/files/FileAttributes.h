#pragma once

#include <cstdint>
#include <optional>

#include "tessellon/Date.h"

namespace tessellon {

// What the file system says about one item. Dates are truncated to milliseconds.
struct FileAttributes {
  enum class Type { regular, directory, symbolicLink, other };
  Type type = Type::regular;
  int64_t size = 0;
  Date modificationDate{};
  std::optional<Date> creationDate;
};

}  // namespace tessellon
