#pragma once

#include <sys/socket.h>
#include <unistd.h>
#include <cstdlib>
#include <cstring>
#include <string>

#include <arpa/inet.h>
#include <netinet/in.h>

extern char** environ;

namespace tessellon {

// A TCP port on 127.0.0.1 that nothing listens on right now.
inline int freeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  ::close(fd);
  return port;
}

// Whether something accepts connections on 127.0.0.1:`port`.
inline bool acceptsConnections(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  const bool accepted = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return accepted;
}

// Removes every AWS_* variable of the caller (some machines set AWS_CA_BUNDLE), so servers and
// clients in tests see only what the test gives them.
inline void clearAwsEnvironment() {
  for (bool removed = true; removed;) {
    removed = false;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
      if (std::strncmp(*entry, "AWS_", 4) != 0) continue;
      const std::string name(*entry, std::strcspn(*entry, "="));
      ::unsetenv(name.c_str());
      removed = true;
      break;
    }
  }
}

}  // namespace tessellon
