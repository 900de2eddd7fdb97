#include "cli/Session.h"

#include <unistd.h>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>

#include "cli/CommandFailure.h"
#include "cli/RemoteSelection.h"
#include "cli/StorageFullDecorator.h"
#include "cli/WarningLogger.h"
#include "delegates/AsOfDelegate.h"
#include "delegates/ConsoleLogger.h"
#include "delegates/RemoteHistory.h"
#include "delegates/RemoteVersions.h"
#include "delegates/VersionKeepingDelegate.h"

namespace tessellon::cli {

namespace {

// At most ten redraws a second.
constexpr std::chrono::milliseconds kTick(100);

std::atomic<int> gInterrupts{0};

extern "C" void onInterrupt(int) {
  if (gInterrupts.fetch_add(1) >= 1) {
    // Only async-signal-safe calls here: the user asked twice, leave now.
    constexpr char kLine[] = "\ntessellon: stopped\n";
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, kLine, sizeof kLine - 1);
    _exit(130);
  }
}

void installInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
}

std::shared_ptr<tessellon::LoggerProtocol> loggerFor(int verbosity) {
  if (verbosity <= 0) return std::make_shared<WarningLogger>();
  const tessellon::LogLevel level = verbosity == 1   ? tessellon::LogLevel::info
                                    : verbosity == 2 ? tessellon::LogLevel::debug
                                                     : tessellon::LogLevel::verbose;
  return std::make_shared<tessellon::hosts::ConsoleLogger>(level);
}

// Every folder the library would otherwise find itself: its home is the password database's, where
// the command follows $HOME and the XDG variables. The library's own temporary folder is swept of
// what a killed run left; the remote's downloads go there too, so a killed command leaves none of
// them behind.
tessellon::BackupSDKOptions withEveryFolder(tessellon::BackupSDKOptions options,
                                            const CliOptions& cliOptions) {
  const tessellon::BackupSDKOptions defaults = chosenFolders(cliOptions);
  if (!options.picturesDirectory) options.picturesDirectory = defaults.picturesDirectory;
  if (!options.moviesDirectory) options.moviesDirectory = defaults.moviesDirectory;
  if (!options.contactsDirectory) options.contactsDirectory = defaults.contactsDirectory;
  if (!options.calendarsDirectory) options.calendarsDirectory = defaults.calendarsDirectory;
  if (!options.stateDirectory) options.stateDirectory = stateFolder();
  if (!options.temporaryDirectory) options.temporaryDirectory = temporaryFolder();
  return options;
}

// Restores read the remote as it was at --as-of; every other verb keeps what it replaces or
// removes there for --keep-history days (a remote that cannot copy on its side keeps nothing).
std::shared_ptr<tessellon::BackupSDKDelegate> withHistory(
    const std::shared_ptr<tessellon::BackupSDKDelegate>& remote, const CliOptions& options,
    tessellon::Date start) {
  if (options.asOf) {
    tessellon::hosts::RemoteHistory::Versions versions;
    if (auto error = tessellon::hosts::RemoteHistory(remote).versionsAt(*options.asOf, versions)) {
      throw CommandFailure(std::move(*error));
    }
    return std::make_shared<tessellon::hosts::AsOfDelegate>(remote, std::move(versions));
  }
  auto versions = std::dynamic_pointer_cast<tessellon::hosts::RemoteVersions>(remote);
  if (options.keepHistoryDays <= 0 || !versions) return remote;
  return std::make_shared<tessellon::hosts::VersionKeepingDelegate>(
      remote, std::move(versions), tessellon::hosts::RemoteHistory::stateName(start));
}

}  // namespace

Session::Session(const CliOptions& options, const tessellon::BackupSDKOptions& sdkOptions)
    : showProgress_(!options.quiet && isatty(STDERR_FILENO) == 1),
      progress_(std::make_shared<ProgressLine>()),
      start_(std::chrono::steady_clock::now()),
      startDate_(std::chrono::floor<std::chrono::milliseconds>(std::chrono::system_clock::now())) {
  requireRemote(options);
  const tessellon::BackupSDKOptions folders = withEveryFolder(sdkOptions, options);
  remoteAsIs_ = openRemote(options, folders.temporaryDirectory.value());
  requireRemote(options, *remoteAsIs_);
  remote_ = std::make_shared<StorageFullDecorator>(withHistory(remoteAsIs_, options, startDate_));
  installInterruptHandler();
  sdk_ = std::make_unique<tessellon::BackupSDK>(remote_, loggerFor(options.verbosity), folders);
}

Session::~Session() = default;

void Session::finish() {
  const std::lock_guard<std::mutex> lock(mutex_);
  done_ = true;
  finished_.notify_all();
}

void Session::wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!done_) {
    finished_.wait_for(lock, kTick);
    if (done_) break;
    lock.unlock();
    if (gInterrupts.load() > 0 && !cancelRequested_) {
      cancelRequested_ = true;
      clearProgress();
      std::cerr << "tessellon: cancelling; press Ctrl-C again to stop at once\n";
      sdk_->cancel([] {});
    }
    drawProgress();
    lock.lock();
  }
  lock.unlock();
  clearProgress();
}

void Session::startNext() {
  const std::lock_guard<std::mutex> lock(mutex_);
  done_ = false;
}

bool Session::interrupted() const { return gInterrupts.load() > 0; }

bool Session::storageFull() const { return remote_->sawStorageFull(); }

double Session::elapsedSeconds() const {
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
  return elapsed.count();
}

void Session::drawProgress() {
  if (!showProgress_) return;
  if (const std::optional<std::string> line = progress_->takeChanged()) {
    std::cerr << "\r\033[K" << *line << std::flush;
    lineDrawn_ = true;
  }
}

void Session::clearProgress() {
  if (!lineDrawn_) return;
  std::cerr << "\r\033[K" << std::flush;
  lineDrawn_ = false;
}

}  // namespace tessellon::cli
