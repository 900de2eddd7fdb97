#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace tessellon {

// An HTTP proxy on a free 127.0.0.1 port in front of a real server, which answers chosen
// requests itself with a 500, resets their connection instead of passing them on, or passes them
// on and then resets the connection instead of passing the answer back (the server did the work,
// the client never hears). Requests
// are counted per method; every request, faulty or not, is remembered as "METHOD /path".
class FaultyHttpProxy {
 public:
  enum class Fault { answer500, reset, dropAnswer };

  explicit FaultyHttpProxy(int upstreamPort);
  ~FaultyHttpProxy();

  FaultyHttpProxy(const FaultyHttpProxy&) = delete;
  FaultyHttpProxy& operator=(const FaultyHttpProxy&) = delete;

  // The `nth` request (from 1) with `method` meets `fault`; with nth 0, every such request.
  void arm(const std::string& method, int nth, Fault fault);

  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }
  std::vector<std::string> requests() const;
  size_t count(const std::string& method) const;

 private:
  void acceptLoop();
  void serve(int client);
  bool forward(int client, const std::string& head, size_t bodyLength, std::string& early,
               bool passAnswer);

  const int upstreamPort_;
  int port_ = 0;
  int listener_ = -1;
  std::thread acceptor_;
  mutable std::mutex mutex_;
  std::vector<std::thread> connections_;
  std::set<int> open_;
  std::map<std::pair<std::string, int>, Fault> faults_;
  std::map<std::string, int> counts_;
  std::vector<std::string> requests_;
  bool stopping_ = false;
};

}  // namespace tessellon
