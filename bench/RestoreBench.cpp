// One restore through the facade from the folder-backed remote, as a host runs it: the only
// backup on the remote, every media category, into an empty home.
// Prints "seconds <wall> peak_rss_mb <VmHWM>" for bench/compare-restore.sh.
// Usage: tessellon_bench_restore <remote> <empty home> <work folder>

#include <chrono>
#include <cstdio>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "tessellon/BackupSDK.h"

#include "BenchReport.h"
#include "delegates/LocalFolderDelegate.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s <remote> <empty home> <work folder>\n", argv[0]);
    return 2;
  }
  const std::string home = argv[2];
  tessellon::BackupSDKOptions options;
  options.picturesDirectory = home + "/Pictures";
  options.moviesDirectory = home + "/Movies";
  options.contactsDirectory = home + "/contacts";
  options.calendarsDirectory = home + "/calendars";
  options.temporaryDirectory = std::string(argv[3]) + "/tmp";
  options.stateDirectory = std::string(argv[3]) + "/state";
  auto remote = std::make_shared<tessellon::hosts::LocalFolderDelegate>(argv[1]);
  tessellon::BackupSDK sdk(remote, nullptr, options);

  const auto start = std::chrono::steady_clock::now();
  std::promise<std::vector<std::shared_ptr<tessellon::Backup>>> listed;
  sdk.getAvailableBackups([&](auto backups, auto) {
    listed.set_value(backups.value_or(std::vector<std::shared_ptr<tessellon::Backup>>{}));
  });
  const auto backups = listed.get_future().get();
  if (backups.size() != 1) {
    std::fprintf(stderr, "expected one backup on the remote, found %zu\n", backups.size());
    return 1;
  }
  std::promise<std::optional<tessellon::Error>> done;
  sdk.startRestore(
      backups.front(), tessellon::Settings(false, false, true, true), nullptr,
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
    std::fprintf(stderr, "restore failed: %s\n", tessellon::describe(*error).c_str());
    return 1;
  }
  std::printf("seconds %.3f peak_rss_mb %.1f\n", seconds, tessellon::bench::procStatusMb("VmHWM"));
  return 0;
}
