#include "support/ApacheDavServer.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "support/LoopbackPort.h"

namespace tessellon {

namespace {

constexpr const char* kApache = "/usr/sbin/apache2";
constexpr const char* kModules = "/usr/lib/apache2/modules/";

bool runsAsRoot() { return ::geteuid() == 0; }

void giveToWorkers(const std::string& path) {
  if (!runsAsRoot()) return;
  const passwd* worker = ::getpwnam("www-data");
  if (worker != nullptr) (void)::chown(path.c_str(), worker->pw_uid, worker->pw_gid);
}

}  // namespace

ApacheDavServer::ApacheDavServer() : ApacheDavServer(Options{}) {}

ApacheDavServer::ApacheDavServer(Options options)
    : options_(std::move(options)), port_(freeLoopbackPort()) {
  // The workers must reach the state folder to serve it.
  ::chmod(dir_.path().c_str(), 0755);
  ::mkdir(davRoot().c_str(), 0755);
  ::mkdir(dir_.file("lock").c_str(), 0755);
  ::mkdir(dir_.file("run").c_str(), 0755);
  if (options_.capacity) {
    const std::string size = "size=" + std::to_string(*options_.capacity) + ",mode=0755";
    mounted_ =
        ::mount("tmpfs", davRoot().c_str(), "tmpfs", MS_NOSUID | MS_NODEV, size.c_str()) == 0;
  }
  if (options_.tls) makeCertificates();
  giveToWorkers(davRoot());
  giveToWorkers(dir_.file("lock"));
  giveToWorkers(dir_.file("run"));
  writeConfiguration();
  // A port found free may be taken by another test's server before ours binds it.
  for (int attempt = 0; attempt < 3 && !start(); ++attempt) {
    port_ = freeLoopbackPort();
    writeConfiguration();
  }
}

ApacheDavServer::~ApacheDavServer() {
  stop();
  if (mounted_) ::umount2(davRoot().c_str(), MNT_DETACH);
}

std::string ApacheDavServer::url() const {
  return (options_.tls ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(port_);
}

void ApacheDavServer::makeCertificates() const {
  const std::string state = dir_.path();
  const std::string script =
      "cd '" + state +
      "' && "
      "openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.crt -days 2 "
      "-subj /CN=throwaway-ca && "
      "openssl req -x509 -newkey rsa:2048 -nodes -keyout other-ca.key -out other-ca.crt -days 2 "
      "-subj /CN=other-ca && "
      "openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr "
      "-subj /CN=127.0.0.1 && "
      "printf 'subjectAltName=IP:127.0.0.1\\nbasicConstraints=CA:FALSE\\n' >server.ext && "
      "openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 2 "
      "-extfile server.ext -out server.crt";
  if (std::system(("(" + script + ") >'" + state + "/openssl.log' 2>&1").c_str()) != 0) {
    std::fprintf(stderr, "ApacheDavServer: openssl could not make the certificates; see %s\n",
                 dir_.file("openssl.log").c_str());
  }
}

void ApacheDavServer::writeConfiguration() const {
  std::ofstream conf(dir_.file("httpd.conf"));
  conf << "ServerRoot /etc/apache2\n";
  for (const char* module : {"mpm_event", "authz_core", "dav", "dav_fs", "dir"}) {
    conf << "LoadModule " << module << "_module " << kModules << "mod_" << module << ".so\n";
  }
  if (options_.tls) conf << "LoadModule ssl_module " << kModules << "mod_ssl.so\n";
  if (options_.user) {
    for (const char* module : {"auth_basic", "authn_core", "authn_file", "authz_user"}) {
      conf << "LoadModule " << module << "_module " << kModules << "mod_" << module << ".so\n";
    }
  }
  if (runsAsRoot()) conf << "User www-data\nGroup www-data\n";
  const std::string state = dir_.path();
  conf << "Listen 127.0.0.1:" << port_ << "\n"
       << "ServerName 127.0.0.1\n"
       << "DefaultRuntimeDir " << state << "/run\n"
       << "PidFile " << state << "/run/httpd.pid\n"
       << "ErrorLog " << state << "/error.log\n"
       << "DavLockDB " << state << "/lock/DavLock\n"
       << "LimitRequestBody 0\n"
       << "DocumentRoot " << davRoot() << "\n";
  if (options_.tls) {
    conf << "SSLEngine on\nSSLCertificateFile " << state << "/server.crt\n"
         << "SSLCertificateKeyFile " << state << "/server.key\n";
  }
  conf << "<Directory " << davRoot() << ">\n"
       << "  Dav On\n";
  if (options_.user) {
    conf << "  AuthType Basic\n  AuthName dav\n  AuthUserFile " << state << "/htpasswd\n"
         << "  Require valid-user\n";
    // The password goes through a pipe, never a command line.
    FILE* htpasswd = ::popen(
        ("htpasswd -ic '" + state + "/htpasswd' '" + *options_.user + "' >/dev/null 2>&1").c_str(),
        "w");
    if (htpasswd != nullptr) {
      std::fputs(options_.password.c_str(), htpasswd);
      ::pclose(htpasswd);
    }
  } else {
    conf << "  Require all granted\n";
  }
  conf << "</Directory>\n";
}

bool ApacheDavServer::start() {
  if (pid_ > 0) return true;
  if (::access(kApache, X_OK) != 0) {
    std::fprintf(stderr, "ApacheDavServer: %s is missing; scripts/install-deps installs it\n",
                 kApache);
    return false;
  }
  const std::string conf = dir_.file("httpd.conf");
  const std::string pidFile = dir_.file("run/httpd.pid");
  ::unlink(pidFile.c_str());
  const std::string output = dir_.file("output.log");
  // A small shell runs the server and watches this process: the server must not outlive a test
  // program that crashes, nor hold its output pipes.
  const std::string watcher =
      "trap 'kill $a 2>/dev/null; wait $a; exit 0' TERM; \"$0\" -f \"$1\" -DFOREGROUND & a=$!; "
      "while kill -0 " +
      std::to_string(::getpid()) +
      " 2>/dev/null && kill -0 $a 2>/dev/null; do sleep 0.2; done; kill $a 2>/dev/null; wait $a";
  pid_ = ::fork();
  if (pid_ == 0) {
    const int log = ::open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    ::dup2(log, STDOUT_FILENO);
    ::dup2(log, STDERR_FILENO);
    ::execl("/bin/sh", "sh", "-c", watcher.c_str(), kApache, conf.c_str(),
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  if (pid_ < 0) return false;
  // Apache writes its pid file only once it has bound the port: something else answering there
  // is not this server.
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < until) {
    if (::access(pidFile.c_str(), F_OK) == 0 && acceptsConnections(port_)) return true;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::fprintf(stderr, "ApacheDavServer: no answer on port %d; see %s\n", port_,
               dir_.file("error.log").c_str());
  stop();
  return false;
}

void ApacheDavServer::stop() {
  if (pid_ <= 0) return;
  // The watcher passes SIGTERM on; Apache then kills its workers at once, so open connections
  // drop mid-transfer.
  ::kill(pid_, SIGTERM);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (acceptsConnections(port_) && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace tessellon
