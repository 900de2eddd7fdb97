// One backup through the facade to the folder-backed remote, as a host runs it.
// Prints "seconds <wall> peak_rss_mb <VmHWM> uploads <n>" for bench/compare-backup.sh.
// Usage: tessellon_bench_backup <home with Pictures and Movies> <remote> <work folder>

#include <malloc.h>
#include <chrono>
#include <cstdio>
#include <future>
#include <memory>
#include <string>

#include "tessellon/BackupSDK.h"

#include "BenchReport.h"
#include "delegates/LocalFolderDelegate.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s <home> <remote> <work folder>\n", argv[0]);
    return 2;
  }
  (void)mallopt(M_ARENA_MAX, 4);  // as the command sets it: see hosts/cli/main.cpp
  const std::string home = argv[1];
  tessellon::BackupSDKOptions options;
  options.picturesDirectory = home + "/Pictures";
  options.moviesDirectory = home + "/Movies";
  options.contactsDirectory = home + "/contacts";
  options.calendarsDirectory = home + "/calendars";
  options.temporaryDirectory = std::string(argv[3]) + "/tmp";
  options.stateDirectory = std::string(argv[3]) + "/state";
  auto remote = std::make_shared<tessellon::hosts::LocalFolderDelegate>(argv[2]);
  tessellon::BackupSDK sdk(remote, nullptr, options);

  std::promise<std::optional<tessellon::Error>> done;
  const auto start = std::chrono::steady_clock::now();
  sdk.startBackup(
      tessellon::BackupSettings("bench", false, false, true, true, false), nullptr,
      [&](std::shared_ptr<tessellon::ProcessReport> report, std::optional<tessellon::Error> error) {
        if (report && !error) {
          std::fprintf(stderr, "%s\n", report->description().c_str());
        }
        done.set_value(error);
      });
  const auto error = done.get_future().get();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (error) {
    std::fprintf(stderr, "backup failed: %s\n", tessellon::describe(*error).c_str());
    return 1;
  }
  std::printf("seconds %.3f peak_rss_mb %.1f\n", seconds, tessellon::bench::procStatusMb("VmHWM"));
  return 0;
}
