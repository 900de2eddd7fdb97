#include "media/fingerprints/Md5.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace tessellon {
namespace {

inline std::uint32_t loadLittleEndian(const std::uint8_t* bytes) {
  if constexpr (std::endian::native == std::endian::little) {
    std::uint32_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
  } else {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
  }
}

// One step per round function. `xt` is the message word plus the table constant, added first
// because it does not depend on the previous step; G is split into two additions for the same
// reason. Together this keeps the critical path to the three operations MD5 cannot avoid.
template <int S>
inline std::uint32_t stepF(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                           std::uint32_t xt) {
  a += xt + (d ^ (b & (c ^ d)));
  return std::rotl(a, S) + b;
}

template <int S>
inline std::uint32_t stepG(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                           std::uint32_t xt) {
  a += xt + (~d & c);
  a += d & b;
  return std::rotl(a, S) + b;
}

template <int S>
inline std::uint32_t stepH(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                           std::uint32_t xt) {
  a += xt + (b ^ c ^ d);
  return std::rotl(a, S) + b;
}

template <int S>
inline std::uint32_t stepI(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                           std::uint32_t xt) {
  a += xt + (c ^ (b | ~d));
  return std::rotl(a, S) + b;
}

// Runs the compression function over `blocks` consecutive 64-byte blocks, keeping the state in
// registers between blocks.
void compress(std::array<std::uint32_t, 4>& state, const std::uint8_t* data, std::size_t blocks) {
  std::uint32_t a = state[0];
  std::uint32_t b = state[1];
  std::uint32_t c = state[2];
  std::uint32_t d = state[3];

  for (; blocks > 0; --blocks, data += 64) {
    std::uint32_t x[16];
    for (std::size_t i = 0; i < 16; ++i) x[i] = loadLittleEndian(data + 4 * i);

    const std::uint32_t aa = a, bb = b, cc = c, dd = d;

    a = stepF<7>(a, b, c, d, x[0] + 0xd76aa478);
    d = stepF<12>(d, a, b, c, x[1] + 0xe8c7b756);
    c = stepF<17>(c, d, a, b, x[2] + 0x242070db);
    b = stepF<22>(b, c, d, a, x[3] + 0xc1bdceee);
    a = stepF<7>(a, b, c, d, x[4] + 0xf57c0faf);
    d = stepF<12>(d, a, b, c, x[5] + 0x4787c62a);
    c = stepF<17>(c, d, a, b, x[6] + 0xa8304613);
    b = stepF<22>(b, c, d, a, x[7] + 0xfd469501);
    a = stepF<7>(a, b, c, d, x[8] + 0x698098d8);
    d = stepF<12>(d, a, b, c, x[9] + 0x8b44f7af);
    c = stepF<17>(c, d, a, b, x[10] + 0xffff5bb1);
    b = stepF<22>(b, c, d, a, x[11] + 0x895cd7be);
    a = stepF<7>(a, b, c, d, x[12] + 0x6b901122);
    d = stepF<12>(d, a, b, c, x[13] + 0xfd987193);
    c = stepF<17>(c, d, a, b, x[14] + 0xa679438e);
    b = stepF<22>(b, c, d, a, x[15] + 0x49b40821);

    a = stepG<5>(a, b, c, d, x[1] + 0xf61e2562);
    d = stepG<9>(d, a, b, c, x[6] + 0xc040b340);
    c = stepG<14>(c, d, a, b, x[11] + 0x265e5a51);
    b = stepG<20>(b, c, d, a, x[0] + 0xe9b6c7aa);
    a = stepG<5>(a, b, c, d, x[5] + 0xd62f105d);
    d = stepG<9>(d, a, b, c, x[10] + 0x02441453);
    c = stepG<14>(c, d, a, b, x[15] + 0xd8a1e681);
    b = stepG<20>(b, c, d, a, x[4] + 0xe7d3fbc8);
    a = stepG<5>(a, b, c, d, x[9] + 0x21e1cde6);
    d = stepG<9>(d, a, b, c, x[14] + 0xc33707d6);
    c = stepG<14>(c, d, a, b, x[3] + 0xf4d50d87);
    b = stepG<20>(b, c, d, a, x[8] + 0x455a14ed);
    a = stepG<5>(a, b, c, d, x[13] + 0xa9e3e905);
    d = stepG<9>(d, a, b, c, x[2] + 0xfcefa3f8);
    c = stepG<14>(c, d, a, b, x[7] + 0x676f02d9);
    b = stepG<20>(b, c, d, a, x[12] + 0x8d2a4c8a);

    a = stepH<4>(a, b, c, d, x[5] + 0xfffa3942);
    d = stepH<11>(d, a, b, c, x[8] + 0x8771f681);
    c = stepH<16>(c, d, a, b, x[11] + 0x6d9d6122);
    b = stepH<23>(b, c, d, a, x[14] + 0xfde5380c);
    a = stepH<4>(a, b, c, d, x[1] + 0xa4beea44);
    d = stepH<11>(d, a, b, c, x[4] + 0x4bdecfa9);
    c = stepH<16>(c, d, a, b, x[7] + 0xf6bb4b60);
    b = stepH<23>(b, c, d, a, x[10] + 0xbebfbc70);
    a = stepH<4>(a, b, c, d, x[13] + 0x289b7ec6);
    d = stepH<11>(d, a, b, c, x[0] + 0xeaa127fa);
    c = stepH<16>(c, d, a, b, x[3] + 0xd4ef3085);
    b = stepH<23>(b, c, d, a, x[6] + 0x04881d05);
    a = stepH<4>(a, b, c, d, x[9] + 0xd9d4d039);
    d = stepH<11>(d, a, b, c, x[12] + 0xe6db99e5);
    c = stepH<16>(c, d, a, b, x[15] + 0x1fa27cf8);
    b = stepH<23>(b, c, d, a, x[2] + 0xc4ac5665);

    a = stepI<6>(a, b, c, d, x[0] + 0xf4292244);
    d = stepI<10>(d, a, b, c, x[7] + 0x432aff97);
    c = stepI<15>(c, d, a, b, x[14] + 0xab9423a7);
    b = stepI<21>(b, c, d, a, x[5] + 0xfc93a039);
    a = stepI<6>(a, b, c, d, x[12] + 0x655b59c3);
    d = stepI<10>(d, a, b, c, x[3] + 0x8f0ccc92);
    c = stepI<15>(c, d, a, b, x[10] + 0xffeff47d);
    b = stepI<21>(b, c, d, a, x[1] + 0x85845dd1);
    a = stepI<6>(a, b, c, d, x[8] + 0x6fa87e4f);
    d = stepI<10>(d, a, b, c, x[15] + 0xfe2ce6e0);
    c = stepI<15>(c, d, a, b, x[6] + 0xa3014314);
    b = stepI<21>(b, c, d, a, x[13] + 0x4e0811a1);
    a = stepI<6>(a, b, c, d, x[4] + 0xf7537e82);
    d = stepI<10>(d, a, b, c, x[11] + 0xbd3af235);
    c = stepI<15>(c, d, a, b, x[2] + 0x2ad7d2bb);
    b = stepI<21>(b, c, d, a, x[9] + 0xeb86d391);

    a += aa;
    b += bb;
    c += cc;
    d += dd;
  }

  state = {a, b, c, d};
}

}  // namespace

Md5::Md5() { reset(); }

void Md5::reset() {
  state_ = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  length_ = 0;
  pendingLength_ = 0;
}

void Md5::update(const void* data, std::size_t length) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  length_ += length;

  if (pendingLength_ > 0) {
    const std::size_t taken = std::min(length, pending_.size() - pendingLength_);
    std::memcpy(pending_.data() + pendingLength_, bytes, taken);
    pendingLength_ += taken;
    bytes += taken;
    length -= taken;
    if (pendingLength_ < pending_.size()) return;
    compress(state_, pending_.data(), 1);
    pendingLength_ = 0;
  }

  // Whole blocks straight from the caller's memory, without copying.
  const std::size_t blocks = length / 64;
  if (blocks > 0) compress(state_, bytes, blocks);
  bytes += blocks * 64;
  length -= blocks * 64;

  if (length > 0) {
    std::memcpy(pending_.data(), bytes, length);
    pendingLength_ = length;
  }
}

Md5::Digest Md5::finish() {
  const std::uint64_t bitLength = length_ * 8;

  // One 0x80 byte, zeros up to 56 mod 64, then the bit length as 64-bit little endian.
  std::uint8_t padding[72] = {0x80};
  const std::size_t padLength = pendingLength_ < 56 ? 56 - pendingLength_ : 120 - pendingLength_;
  update(padding, padLength);
  std::uint8_t lengthBytes[8];
  for (int i = 0; i < 8; ++i) lengthBytes[i] = static_cast<std::uint8_t>(bitLength >> (8 * i));
  update(lengthBytes, sizeof lengthBytes);

  Digest digest;
  for (int word = 0; word < 4; ++word) {
    for (int i = 0; i < 4; ++i) {
      digest[4 * word + i] = static_cast<std::uint8_t>(state_[word] >> (8 * i));
    }
  }
  reset();
  return digest;
}

Md5::Digest Md5::digest(const void* data, std::size_t length) {
  Md5 md5;
  md5.update(data, length);
  return md5.finish();
}

std::string Md5::toHex(const Digest& digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text(2 * digest.size(), '0');
  for (std::size_t i = 0; i < digest.size(); ++i) {
    text[2 * i] = kDigits[digest[i] >> 4];
    text[2 * i + 1] = kDigits[digest[i] & 0x0f];
  }
  return text;
}

}  // namespace tessellon
