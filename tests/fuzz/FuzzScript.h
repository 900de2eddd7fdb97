#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tessellon::fuzz {

// One fuzz input, split into the bytes that script the host's answers and the files the remote
// serves. The input reads
//   <script bytes> ( "\n@@ " <remote path> "\n" <content> )*
// so a document stays plain text that the fuzzer's dictionary and mutations can work on. Reading
// past the end of the script yields the caller's fallback: a short input is a well-behaved host.
// Thread-safe: requests arriving together each read whole values.
class FuzzScript {
 public:
  struct ServedFile {
    std::string path;  // relative to the remote's root, "$UID" standing for this device's folder
    std::string content;
  };

  FuzzScript(const uint8_t* data, size_t size);

  uint8_t byte(uint8_t fallback = 0);
  // Up to `count` further bytes (fewer at the end of the script).
  std::string bytes(size_t count);
  // The length in `lengthBytes` bytes (little-endian), then up to that many bytes.
  std::string counted(int lengthBytes);

  const std::vector<ServedFile>& served() const { return served_; }

  static constexpr std::string_view kFileMarker = "\n@@ ";

 private:
  std::mutex mutex_;
  std::string script_;
  size_t position_ = 0;
  std::vector<ServedFile> served_;
};

}  // namespace tessellon::fuzz
