#pragma once

#include <cstdint>
#include <vector>

#include "tessellon/Version.h"

#include "futures/Future.h"

namespace tessellon {

// Process-wide constants of the backup format.
struct Constants {
  // Format version of the backup record this library writes.
  static Version backupVersion() { return Version(1, 2); }
  // Fingerprint scheme of new media fingerprints.
  static Version hashVersion() { return Version(1, 1); }
  static const std::vector<int64_t>& hashingChunkSizes() {
    static const std::vector<int64_t> sizes{2097152, 8192};
    return sizes;
  }
  // 2 MiB samples for scheme 1.0, 8 KiB for every later one.
  static int64_t getHashingChunkSize(const Version& version) {
    return version == Version::one() ? 2097152 : 8192;
  }
  // An already successful future, for steps that have nothing to wait for.
  static const Future<Void>& success() {
    static const Future<Void> done = Future<Void>::success(Void{});
    return done;
  }
};

}  // namespace tessellon
