#pragma once

#include <cstdint>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace tessellon {

// Reproducible content for a seed.
inline std::string randomBytes(std::size_t length, std::uint32_t seed) {
  std::mt19937 generator(seed);
  std::string bytes(length, '\0');
  for (char& byte : bytes) byte = static_cast<char>(generator() & 0xff);
  return bytes;
}

// MD5 digests computed by python3's hashlib, as an implementation independent of ours. With a chunk
// size above 0 each file is sampled as fingerprints sample it (whole up to three chunks, otherwise
// first, middle and last chunk); otherwise it is hashed whole. One lowercase hex digest per path.
inline std::vector<std::string> pythonDigests(const TempDir& scratch,
                                              const std::vector<std::string>& paths,
                                              std::int64_t chunkSize) {
  const std::string script = scratch.write("digests.py", R"(import hashlib, os, sys
chunk = int(sys.argv[1])
for path in sys.argv[2:]:
    size = os.path.getsize(path)
    digest = hashlib.md5()
    with open(path, 'rb') as f:
        if chunk <= 0 or 3 * chunk >= size:
            digest.update(f.read())
        else:
            for offset in (0, size // 2 - chunk // 2, size - chunk):
                f.seek(offset)
                digest.update(f.read(chunk))
    print(digest.hexdigest())
)");
  std::string command = "python3 '" + script + "' " + std::to_string(chunkSize);
  for (const std::string& path : paths) command += " '" + path + "'";

  std::vector<std::string> digests;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    ADD_FAILURE() << "cannot run " << command;
    return digests;
  }
  std::string output;
  char buffer[4096];
  while (std::size_t count = std::fread(buffer, 1, sizeof buffer, pipe))
    output.append(buffer, count);
  const int status = ::pclose(pipe);
  EXPECT_EQ(status, 0) << command;

  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) digests.push_back(line);
  EXPECT_EQ(digests.size(), paths.size()) << output;
  digests.resize(paths.size());
  return digests;
}

}  // namespace tessellon
