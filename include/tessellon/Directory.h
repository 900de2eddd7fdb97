#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessellon {

enum class MemberType { file, directory };

// One entry of a remote folder listing. `fullName` is relative to the remote root.
struct Member {
  std::string fullName;
  // A file's size. Backups check stored files against it: a wrong or missing size makes them
  // send that content again, never drop what is stored.
  int64_t fileSizeInByte = 0;
  MemberType type = MemberType::file;
};

// A remote folder listing as the host reports it.
struct Directory {
  std::vector<Member> members;
};

}  // namespace tessellon
