#pragma once

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace tessellon {

// MD5 hex digests from python3's hashlib, an implementation independent of ours. With chunkSize > 0
// each file is sampled as fingerprints sample it (whole up to three chunks, else first, middle and
// last chunk); with 0 it is hashed whole.
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
  FILE* pipe = ::popen(command.c_str(), "r");
  std::string output;
  char buffer[4096];
  while (std::size_t count = pipe ? std::fread(buffer, 1, sizeof buffer, pipe) : 0)
    output.append(buffer, count);
  EXPECT_TRUE(pipe != nullptr && ::pclose(pipe) == 0) << command;

  std::vector<std::string> digests;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) digests.push_back(line);
  EXPECT_EQ(digests.size(), paths.size()) << output;
  digests.resize(paths.size());
  return digests;
}

}  // namespace tessellon
