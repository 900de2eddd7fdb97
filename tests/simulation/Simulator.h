#pragma once

#include <atomic>
#include <cstdint>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tessellon/BackupSDK.h"

#include "delegates/VersionKeepingDelegate.h"
#include "simulation/ActionGenerator.h"
#include "simulation/FaultPlanDelegate.h"
#include "simulation/HistoryCheck.h"
#include "simulation/HomeModel.h"
#include "simulation/Invariants.h"
#include "support/TempDir.h"

namespace tessellon::simulation {

// Plays one seeded history through the public facade: a home of small files, backup runs under
// random settings and faults with user actions between them, a last run without faults, then a
// restore into an empty home and a second one into the same home. The data contract is checked
// after every run, around every request that could break it, and on the restored home.
// Runs on the calling thread; each operation is awaited, since the library runs one at a time
// per process.
class Simulator {
 public:
  // `cliPath` is the `tessellon` command, which plays a second run of this device.
  Simulator(uint32_t seed, std::string cliPath);
  ~Simulator();

  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Plays the seed's history; the violations found, none when the contract held.
  std::vector<std::string> run();
  // Plays `actions` (the seed only draws what hooks need) on a home with two cards and an event.
  std::vector<std::string> replay(const ActionList& actions);
  // The actions played so far, one numbered line each.
  std::string history() const;
  // True when an operation never completed: the library's process-wide state may be stuck, so
  // nothing else in this process can be trusted.
  bool stuck() const { return stuck_; }

 private:
  struct Outcome;
  struct SeenRun {
    Tree seen;
    RunSettings settings;
    std::vector<std::string> changed;
  };

  void begin();
  std::vector<std::string> finish();
  void record(Action action);
  void play(const Action& action);
  void startHost();
  void stopHost();
  void backup(const Action& action, int run);
  FaultPlanDelegate::Hooks hooksFor(const Action& action, int run);
  void checkNothingChanged(const Action& action, const Outcome& outcome,
                           const HistoryCheck::Listing& before, const std::string& when);
  void checkRun(const Action& action, const Outcome& outcome, const SeenRun& seen,
                const std::string& when);
  // Whether the listed device folder holds an archive an earlier run left.
  static bool leftArchive(const HistoryCheck::Listing& deviceFolder);
  void checkSecondRunKept(const std::string& when);
  // The files of the stored items whose content no file of the home holds any longer, with that
  // content: all that keeps them is the record, which a run that keeps deleted items must not
  // drop them from, nor let other bytes take their names.
  std::map<std::string, std::string> keptOnlyByTheRecord() const;
  void checkKept(const std::map<std::string, std::string>& kept, const std::string& when);
  void changeDuringRun(const std::string& archive, FaultPlan::Change change);
  int concurrentRun();
  void restore();
  std::shared_ptr<Backup> storedBackup(BackupSDK& sdk);
  using Completion = std::function<void(std::shared_ptr<ProcessReport>, std::optional<Error>)>;
  // Starts an operation; its outcome arrives through the future.
  static std::future<Outcome> start(const std::function<void(Completion)>& operation);
  // The outcome, or one that never completed after `seconds`.
  static Outcome waitFor(std::future<Outcome>& pending, int seconds);
  std::string deviceFolder() const;
  BackupSDKOptions options(const std::string& home, const std::string& library) const;

  const uint32_t seed_;
  const std::string cliPath_;
  TempDir space_;
  const std::shared_ptr<Invariants> invariants_ = std::make_shared<Invariants>();
  ActionGenerator generator_;
  HomeModel home_;
  HomeModel other_;  // the picture folder of the second run
  mutable std::mutex actionsMutex_;
  ActionList actions_;
  HistoryCheck history_{space_.file("remote"), invariants_};
  // Keeps what each run replaces or removes, beneath the faults of the host.
  std::shared_ptr<hosts::VersionKeepingDelegate> versions_;
  std::shared_ptr<FaultPlanDelegate> delegate_;
  std::unique_ptr<BackupSDK> sdk_;
  std::vector<std::string> changed_;  // by the running run's hook
  std::atomic<bool> secondRunFinished_{false};
  std::optional<SeenRun> lastFinished_;
  bool stuck_ = false;
};

}  // namespace tessellon::simulation
