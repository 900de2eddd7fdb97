#pragma once

#include <string_view>

namespace tessellon {

// An injectable hashing handle of the media helper. It has no operations of its own: fingerprints
// are computed by HashUtils and, for files, through HashingUtilAdapterProtocol.
class HasherProtocol {
 public:
  static constexpr std::string_view kProtocolName = "HasherProtocol";
  HasherProtocol() = default;
  virtual ~HasherProtocol() = default;
  HasherProtocol(const HasherProtocol&) = delete;
  HasherProtocol& operator=(const HasherProtocol&) = delete;
};

}  // namespace tessellon
