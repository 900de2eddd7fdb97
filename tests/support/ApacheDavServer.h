#pragma once

#include <sys/types.h>
#include <cstddef>
#include <optional>
#include <string>

#include "support/TempDir.h"

namespace tessellon {

// A real Apache httpd with mod_dav on a free 127.0.0.1 port, from a private configuration in a
// fresh folder, run in the foreground as this process's child and stopped by its process id. As
// root its workers run as www-data, who owns the DAV root. With `user`, requests need that user
// and password (HTTP basic). With `tls`, HTTPS (see Options::tls). With `capacity`, the DAV root is
// a tmpfs of that many bytes (needs the right to mount; see volumeMounted()), which makes the
// server answer 507 when full.
class ApacheDavServer {
 public:
  struct Options {
    std::optional<std::string> user;
    std::string password;
    std::optional<size_t> capacity;
    // HTTPS only, with a certificate for 127.0.0.1 signed by a throwaway CA made for this server
    // (caFile()); a second CA that signed nothing is at otherCaFile().
    bool tls = false;
  };
  explicit ApacheDavServer(Options options);
  ApacheDavServer();
  ~ApacheDavServer();

  ApacheDavServer(const ApacheDavServer&) = delete;
  ApacheDavServer& operator=(const ApacheDavServer&) = delete;

  // Starts the server (again, on the same port); false, with the reason on standard error, when
  // it does not answer or cannot bind the port.
  bool start();
  // Stops it at once: running transfers break off. Returns once the port is free.
  void stop();

  int port() const { return port_; }
  // "http://127.0.0.1:<port>", or "https://..." with tls.
  std::string url() const;
  std::string caFile() const { return dir_.file("ca.crt"); }
  std::string otherCaFile() const { return dir_.file("other-ca.crt"); }
  // The folder the server stores its files in.
  std::string davRoot() const { return dir_.file("dav"); }
  bool volumeMounted() const { return mounted_; }

 private:
  void writeConfiguration() const;
  void makeCertificates() const;

  const Options options_;
  TempDir dir_;
  int port_;
  pid_t pid_ = -1;
  bool mounted_ = false;
};

}  // namespace tessellon
