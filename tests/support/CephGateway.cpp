#include "support/CephGateway.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "support/LoopbackPort.h"

namespace tessellon {

namespace {

// Whether `pid` still runs (a zombie that nobody reaps has ended).
bool processRunning(int pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  const size_t close = line.rfind(')');
  return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

}  // namespace

CephGateway::CephGateway() {
  clearAwsEnvironment();
  // A one-node cluster now and then fails to come up on a loaded machine (a monitor that refuses
  // its OSD, a port taken in between): a second start, from fresh state, decides.
  for (int attempt = 1; attempt <= 2 && !start(attempt == 2); ++attempt) {
    std::filesystem::remove_all(dir_.file("state"));
  }
}

bool CephGateway::start(bool last) {
  const int monitor = freeLoopbackPort();
  do {
    port_ = freeLoopbackPort();
  } while (port_ == monitor);
  const std::string command =
      std::string("'") + TESSELLON_TEST_SERVERS_DIR + "/start-ceph-gateway' '" +
      dir_.file("state") + "' " + std::to_string(monitor) + " " + std::to_string(port_) + " " +
      std::to_string(::getpid()) + " >'" + dir_.file("start.log") + "' 2>&1";
  const int status = std::system(command.c_str());
  pids_.clear();
  std::ifstream pids(dir_.file("state/pids"));
  for (int pid = 0; pids >> pid;) pids_.push_back(pid);
  std::stringstream user;
  user << std::ifstream(dir_.file("state/user.json")).rdbuf();
  std::smatch match;
  const std::string text = user.str();
  if (std::regex_search(text, match, std::regex(R"re("access_key": "([^"]+)")re"))) {
    accessKey_ = match[1];
  }
  if (std::regex_search(text, match, std::regex(R"re("secret_key": "([^"]+)")re"))) {
    secretKey_ = match[1];
  }
  if (status == 0 && pids_.size() == 3 && !accessKey_.empty()) return true;
  std::stringstream log;
  log << std::ifstream(dir_.file("start.log")).rdbuf();
  std::fprintf(stderr, "CephGateway: did not start%s (scripts/install-deps installs Ceph):\n%s\n",
               last ? "" : ", trying once more", log.str().c_str());
  std::vector<int> started = pids_;
  pids_.clear();
  accessKey_.clear();
  secretKey_.clear();
  for (int pid : started) ::kill(pid, SIGTERM);
  return false;
}

CephGateway::~CephGateway() {
  // Gateway first, then the OSD, then the monitor: each needs the next one to shut down cleanly.
  for (int pid : pids_) {
    ::kill(pid, SIGTERM);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (processRunning(pid) && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (processRunning(pid)) ::kill(pid, SIGKILL);
  }
}

std::string CephGateway::endpoint() const { return "http://127.0.0.1:" + std::to_string(port_); }

}  // namespace tessellon
