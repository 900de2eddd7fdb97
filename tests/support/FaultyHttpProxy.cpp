#include "support/FaultyHttpProxy.h"

#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>
#include <algorithm>
#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>

namespace tessellon {

namespace {

bool sendAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
    if (sent <= 0) return false;
    data += sent;
    size -= static_cast<size_t>(sent);
  }
  return true;
}

int connectTo(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

size_t contentLength(const std::string& head) {
  size_t at = 0;
  while ((at = head.find("\r\n", at)) != std::string::npos) {
    at += 2;
    if (strncasecmp(head.c_str() + at, "content-length:", 15) == 0) {
      return std::stoull(head.substr(at + 15));
    }
  }
  return 0;
}

}  // namespace

FaultyHttpProxy::FaultyHttpProxy(int upstreamPort) : upstreamPort_(upstreamPort) {
  listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::listen(listener_, 64);
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread([this] { acceptLoop(); });
}

FaultyHttpProxy::~FaultyHttpProxy() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    for (int fd : open_) ::shutdown(fd, SHUT_RDWR);
  }
  ::shutdown(listener_, SHUT_RDWR);
  acceptor_.join();
  ::close(listener_);
  for (std::thread& connection : connections_) connection.join();
}

void FaultyHttpProxy::arm(const std::string& method, int nth, Fault fault) {
  std::lock_guard lock(mutex_);
  faults_[{method, nth}] = fault;
}

std::vector<std::string> FaultyHttpProxy::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

size_t FaultyHttpProxy::count(const std::string& method) const {
  std::lock_guard lock(mutex_);
  const auto found = counts_.find(method);
  return found == counts_.end() ? 0 : static_cast<size_t>(found->second);
}

void FaultyHttpProxy::acceptLoop() {
  for (;;) {
    const int client = ::accept(listener_, nullptr, nullptr);
    if (client < 0) return;
    std::lock_guard lock(mutex_);
    if (stopping_) {
      ::close(client);
      return;
    }
    open_.insert(client);
    connections_.emplace_back([this, client] { serve(client); });
  }
}

// One request per connection: the upstream is asked to close after its answer, and so is the
// client's connection, which libcurl reopens as needed.
void FaultyHttpProxy::serve(int client) {
  std::string buffer;
  char chunk[65536];
  size_t end = std::string::npos;
  while ((end = buffer.find("\r\n\r\n")) == std::string::npos) {
    const ssize_t got = ::recv(client, chunk, sizeof chunk, 0);
    if (got <= 0) break;
    buffer.append(chunk, static_cast<size_t>(got));
  }
  std::optional<Fault> fault;
  if (end != std::string::npos) {
    const std::string head = buffer.substr(0, end + 4);
    const std::string method = head.substr(0, head.find(' '));
    const size_t pathEnd = head.find(' ', method.size() + 1);
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(head.substr(0, pathEnd));
      const int nth = ++counts_[method];
      for (const int key : {nth, 0}) {
        const auto found = faults_.find({method, key});
        if (found != faults_.end()) fault = found->second;
      }
    }
    std::string early = buffer.substr(end + 4);
    if (fault == Fault::reset) {
      linger abort{1, 0};
      ::setsockopt(client, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    } else if (fault == Fault::answer500) {
      size_t left = contentLength(head) - std::min(contentLength(head), early.size());
      while (left > 0) {
        const ssize_t got = ::recv(client, chunk, std::min(left, sizeof chunk), 0);
        if (got <= 0) break;
        left -= static_cast<size_t>(got);
      }
      const std::string answer =
          "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
      sendAll(client, answer.data(), answer.size());
    } else {
      std::string rewritten = head;
      rewritten.insert(rewritten.find("\r\n") + 2, "Connection: close\r\n");
      const bool drop = fault == Fault::dropAnswer;
      forward(client, rewritten, contentLength(head), early, !drop);
      if (drop) {
        linger abort{1, 0};
        ::setsockopt(client, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
      }
    }
  }
  std::lock_guard lock(mutex_);
  open_.erase(client);
  ::close(client);
}

bool FaultyHttpProxy::forward(int client, const std::string& head, size_t bodyLength,
                              std::string& early, bool passAnswer) {
  const int upstream = connectTo(upstreamPort_);
  if (upstream < 0) return false;
  bool ok = sendAll(upstream, head.data(), head.size()) &&
            sendAll(upstream, early.data(), std::min(early.size(), bodyLength));
  size_t left = bodyLength - std::min(bodyLength, early.size());
  char chunk[65536];
  while (ok && left > 0) {
    const ssize_t got = ::recv(client, chunk, std::min(left, sizeof chunk), 0);
    if (got <= 0) break;
    ok = sendAll(upstream, chunk, static_cast<size_t>(got));
    left -= static_cast<size_t>(got);
  }
  while (ok) {
    const ssize_t got = ::recv(upstream, chunk, sizeof chunk, 0);
    if (got <= 0) break;
    if (passAnswer) ok = sendAll(client, chunk, static_cast<size_t>(got));
  }
  ::close(upstream);
  return ok;
}

}  // namespace tessellon
