#pragma once

#include <string>
#include <vector>

#include "support/TempDir.h"

namespace tessellon {

// A real S3 server: Ceph's RADOS Gateway over a one-node Ceph cluster (one monitor, one
// in-memory OSD) on free 127.0.0.1 ports, with fresh state in a folder of its own, started by
// tests/servers/start-ceph-gateway (about 15 seconds) and stopped by its process ids. The
// daemons also stop when the test program ends in any other way. Clears the caller's AWS_*
// variables first.
class CephGateway {
 public:
  CephGateway();
  ~CephGateway();

  CephGateway(const CephGateway&) = delete;
  CephGateway& operator=(const CephGateway&) = delete;

  // Whether the gateway answers; when not, the reason went to standard error.
  bool running() const { return !pids_.empty(); }
  // "http://127.0.0.1:<port>".
  std::string endpoint() const;
  int port() const { return port_; }
  // The S3 user's keys, made by the gateway.
  const std::string& accessKey() const { return accessKey_; }
  const std::string& secretKey() const { return secretKey_; }

 private:
  // One start of the cluster; false (with everything it started stopped) when it failed.
  bool start(bool last);

  TempDir dir_;
  int port_ = 0;
  std::vector<int> pids_;
  std::string accessKey_;
  std::string secretKey_;
};

}  // namespace tessellon
