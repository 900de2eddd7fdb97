#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tessellon {

// MD5 (RFC 1321), fed incrementally. Fingerprints and cache keys are MD5 digests of file samples
// and texts, and stored backups depend on them, so the digest must be bit-exact across platforms.
// Not thread-safe; one object per message.
class Md5 {
 public:
  using Digest = std::array<std::uint8_t, 16>;

  Md5();

  // Appends bytes to the message.
  void update(const void* data, std::size_t length);
  void update(std::string_view data) { update(data.data(), data.size()); }

  // Ends the message and returns its digest; the object then starts a new, empty message.
  Digest finish();

  // The digest of one contiguous message.
  static Digest digest(const void* data, std::size_t length);
  static Digest digest(std::string_view data) { return digest(data.data(), data.size()); }

  // The 32 lowercase hexadecimal digits of `digest`, in digest order.
  static std::string toHex(const Digest& digest);

 private:
  void reset();

  std::array<std::uint32_t, 4> state_{};
  std::uint64_t length_ = 0;  // bytes seen so far
  std::array<std::uint8_t, 64> pending_{};
  std::size_t pendingLength_ = 0;
};

}  // namespace tessellon
