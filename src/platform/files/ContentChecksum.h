#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "futures/Result.h"

struct XXH3_state_s;

namespace tessellon {

// The full-content checksum of a media file (XXH3-128), fed with the bytes as
// they pass so that packing a file reads it only once. Its text is "xxh3-128:"
// followed by 32 lowercase hex digits (the hash's canonical, big-endian bytes).
// One thread at a time.
class ContentChecksum {
 public:
  static constexpr std::string_view kPrefix = "xxh3-128:";

  ContentChecksum();
  ~ContentChecksum();
  ContentChecksum(const ContentChecksum&) = delete;
  ContentChecksum& operator=(const ContentChecksum&) = delete;

  void update(const void* data, size_t length);
  // The text of every byte given so far; more may follow.
  std::string finish() const;

  // The checksum of the file at `path` (symbolic links are followed), read in
  // chunks so that a file of any size costs one buffer. Fails with the platform
  // error; EINVAL for something other than a regular file.
  static Result<std::string> ofFile(const std::string& path);

 private:
  struct FreeState {
    void operator()(XXH3_state_s* state) const;
  };
  std::unique_ptr<XXH3_state_s, FreeState> state_;
};

// The checksum of `text`, as ContentChecksum gives it for the same bytes.
std::string textChecksum(std::string_view text);

}  // namespace tessellon
