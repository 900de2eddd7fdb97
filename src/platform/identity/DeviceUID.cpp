#include "platform/identity/DeviceUID.h"

#include <pwd.h>
#include <unistd.h>
#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <random>
#include <string_view>
#include <utility>

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include "core/Log.h"

namespace tessellon {
namespace {

constexpr std::string_view kApplicationId = "tessellon.device-id.v1";
// A machine id is 33 bytes; anything far larger is not one.
constexpr std::streamsize kMaxMachineIdSize = 4096;

// Sets the version nibble and the RFC 4122 variant, then prints 8-4-4-4-12 upper-case.
std::string formatUUID(std::array<uint8_t, 16> bytes, uint8_t version) {
  bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | (version << 4));
  bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(36);
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
    out += kHex[bytes[i] >> 4];
    out += kHex[bytes[i] & 0x0F];
  }
  return out;
}

// HMAC-SHA256 keyed by `key` over the application id, the first 16 bytes as a UUID of `version`.
std::optional<std::string> derivedUUID(std::string_view key, uint8_t version) {
  std::array<uint8_t, EVP_MAX_MD_SIZE> digest{};
  unsigned int digestSize = 0;
  if (HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
           reinterpret_cast<const unsigned char*>(kApplicationId.data()), kApplicationId.size(),
           digest.data(), &digestSize) == nullptr ||
      digestSize < 16) {
    return std::nullopt;
  }
  std::array<uint8_t, 16> bytes{};
  std::copy_n(digest.begin(), bytes.size(), bytes.begin());
  return formatUUID(bytes, version);
}

}  // namespace

DeviceUID::DeviceUID(std::string key, std::shared_ptr<UserDefaultsServiceProtocol> defaults,
                     std::string machineIdPath, std::shared_ptr<LoggerProtocol> logger)
    : uidKey_(std::move(key)),
      defaults_(std::move(defaults)),
      machineIdPath_(std::move(machineIdPath)),
      logger_(std::move(logger)) {}

std::string DeviceUID::uid(const std::shared_ptr<UserDefaultsServiceProtocol>& defaults,
                           const std::string& machineIdPath,
                           const std::shared_ptr<LoggerProtocol>& logger) {
  // Two first calls at once would otherwise store one random UUID and return another.
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  return DeviceUID(kDefaultKey, defaults, machineIdPath, logger).uid();
}

std::string DeviceUID::uid() {
  if (!uid_) uid_ = defaults_->value(uidKey_);
  if (uid_) return *uid_;
  uid_ = serialNumber(machineIdPath_);
  if (!uid_) uid_ = advertisingIdentifier();
  // Derived identifiers are the same at every run, stored or not: a failed write is tried again
  // by the next run.
  if (uid_) {
    if (!save()) logUnstored("it is stored at the next run");
    return *uid_;
  }
  uid_ = randomUUID();
  if (!save()) {
    // A random identifier that cannot be kept would name another device at every run.
    if (const auto host = hostIdentifier()) {
      uid_ = host;
      // Replaces the random value the store keeps in memory; this write fails too.
      (void)defaults_->setValue(*uid_, uidKey_);
    }
    logUnstored("this machine has no machine id, so it is derived from the host and user names");
  }
  return *uid_;
}

bool DeviceUID::save() {
  if (!uid_) return false;
  if (defaults_->value(uidKey_)) return true;
  // A failed write leaves the value in memory; the next write of the store takes it along.
  return defaults_->setValue(*uid_, uidKey_);
}

void DeviceUID::logUnstored(const std::string& consequence) const {
  logWith(logger_, LogLevel::warning, [&] {
    return "cannot store the device identifier " + uid_.value_or("") + ": " + consequence;
  });
}

std::optional<std::string> DeviceUID::hostIdentifier() {
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0) return std::nullopt;
  std::string key = std::string(host) + '\0' + std::to_string(::getuid()) + '\0';
  // The user database's home, not $HOME: the identity of this computer's user must not change
  // with the environment a host runs in.
  struct passwd entry {};
  struct passwd* found = nullptr;
  std::array<char, 4096> buffer{};
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
      found->pw_dir) {
    key += found->pw_dir;
  }
  return derivedUUID(key, 8);
}

std::optional<std::string> DeviceUID::serialNumber(const std::string& machineIdPath) {
  std::ifstream in(machineIdPath, std::ios::binary);
  if (!in) return std::nullopt;
  std::string machineId(static_cast<size_t>(kMaxMachineIdSize), '\0');
  in.read(machineId.data(), kMaxMachineIdSize);
  machineId.resize(static_cast<size_t>(in.gcount()));
  while (!machineId.empty() &&
         (machineId.back() == '\n' || machineId.back() == '\r' || machineId.back() == ' ')) {
    machineId.pop_back();
  }
  if (machineId.empty()) return std::nullopt;

  return derivedUUID(machineId, 8);
}

std::string DeviceUID::randomUUID() {
  std::random_device device;
  std::array<uint8_t, 16> bytes{};
  for (size_t i = 0; i < bytes.size(); i += 4) {
    uint32_t word = device();
    for (size_t j = 0; j < 4; ++j) bytes[i + j] = static_cast<uint8_t>(word >> (8 * j));
  }
  return formatUUID(bytes, 4);
}

}  // namespace tessellon
