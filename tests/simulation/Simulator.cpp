#include "simulation/Simulator.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <set>
#include <string_view>
#include <thread>

#include <nlohmann/json.hpp>

#include "delegates/LocalFolderDelegate.h"
#include "delegates/RemoteHistory.h"
#include "simulation/ArchiveEntries.h"
#include "simulation/RemoteRecord.h"
#include "support/CliProcess.h"
#include "support/GeneratedHome.h"

namespace tessellon::simulation {
namespace {

// TESSELLON_SIM_TRACE also prints the library's log from info up, to follow a failing seed.
class TraceLogger : public LoggerProtocol {
 public:
  void log(LogLevel level, const std::function<std::string()>& message) override {
    if (static_cast<int>(level) >= static_cast<int>(LogLevel::info)) {
      std::fprintf(stderr, "  log: %s\n", message().c_str());
    }
  }
};

std::shared_ptr<LoggerProtocol> traceLogger() {
  if (std::getenv("TESSELLON_SIM_TRACE") == nullptr) return nullptr;
  return std::make_shared<TraceLogger>();
}

namespace fs = std::filesystem;
using Json = nlohmann::json;

constexpr int kRuns = 6;  // the last without faults
constexpr int kRunSeconds = 60;
// A cancelled run ends at once, whether or not the host answers; this only bounds a hang.
constexpr int kAbandonedRunSeconds = 3;

std::string card(const std::string& given) {
  return "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:" + given + "-1\r\nFN:" + given +
         " Example\r\nN:Example;" + given + ";;;\r\nEMAIL:" + given +
         "@example.org\r\nEND:VCARD\r\n";
}

// The paths listed by the media documents of an archive, as home paths ("Pictures/a.jpg"), and
// the home folders those documents cover.
std::pair<std::set<std::string>, std::vector<std::string>> listedIn(const std::string& archive) {
  std::set<std::string> listed;
  std::vector<std::string> folders;
  for (const ArchiveEntry& entry : archiveEntries(archive)) {
    const std::string folder = entry.name == "images.json"   ? "Pictures"
                               : entry.name == "videos.json" ? "Movies"
                                                             : "";
    if (folder.empty()) continue;
    folders.push_back(folder);
    const Json document = Json::parse(entry.content, nullptr, false);
    if (!document.is_object()) continue;
    for (const Json& item : document.value("items", Json::array())) {
      const Json paths =
          item.value("pathDictionary", Json::object()).value("macOSPaths", Json::array());
      for (const Json& path : paths) listed.insert(folder + "/" + path.get<std::string>());
    }
  }
  return {listed, folders};
}

int failedOf(const std::shared_ptr<ReportSection>& section) {
  return section ? section->failed : 0;
}

// Every category that counts failed items names at least as many (an item by each of its paths).
void checkFailedNamed(const ProcessReport& report, Invariants& invariants,
                      const std::string& when) {
  const std::pair<const char*, const std::shared_ptr<ReportSection>*> sections[] = {
      {"images", &report.images}, {"videos", &report.videos}, {"contacts", &report.contacts}};
  for (const auto& [name, section] : sections) {
    if (!*section) continue;
    const bool document = std::string_view(name) == "contacts";
    const int named = static_cast<int>((*section)->failedItems.size());
    if (document ? ((*section)->failed > 0) != (named == 1) : named < (*section)->failed) {
      invariants.add(when + ": the report counts " + std::to_string((*section)->failed) +
                     " failed " + name + " and names " + std::to_string(named));
    }
  }
}

// Whether `section` names its category's document as failed.
bool namesDocument(const std::shared_ptr<ReportSection>& section) {
  return section &&
         std::any_of(section->failedItems.begin(), section->failedItems.end(),
                     [](const FailedItem& item) { return item.path.ends_with(".json"); });
}

// The seen files a run may have left out: those that changed while it ran, and those its report
// names as failed.
std::vector<std::string> excusedFiles(std::vector<std::string> changed,
                                      const ProcessReport& report) {
  std::vector<std::string> excused = std::move(changed);
  const std::pair<const char*, const std::shared_ptr<ReportSection>*> media[] = {
      {"Pictures/", &report.images}, {"Movies/", &report.videos}};
  for (const auto& [folder, section] : media) {
    if (!*section) continue;
    for (const FailedItem& item : (*section)->failedItems) excused.push_back(folder + item.path);
  }
  return excused;
}

}  // namespace

struct Simulator::Outcome {
  bool completed = false;
  std::shared_ptr<ProcessReport> report;
  std::optional<Error> error;

  bool finished() const { return completed && report && !error; }
  std::string describe() const {
    if (!completed) return "no completion";
    if (error) return "error " + tessellon::describe(*error);
    return report ? "done" : "cancelled";
  }
};

Simulator::Simulator(uint32_t seed, std::string cliPath)
    : seed_(seed),
      cliPath_(std::move(cliPath)),
      generator_(seed),
      home_(space_.file("home")),
      other_(space_.file("other")) {}

Simulator::~Simulator() { stopHost(); }

std::vector<std::string> Simulator::run() {
  begin();
  for (const Action& action : generator_.initialHome()) play(action);
  for (int run = 1; run <= kRuns && !stuck_; ++run) {
    for (int n = generator_.userActionCount(); n > 0; --n) play(generator_.userAction(home_));
    if (run > 1 && generator_.chance(20)) play(Action::of(Action::Kind::restart));
    backup(generator_.backup(/*faultFree=*/run == kRuns), run);
  }
  return finish();
}

std::vector<std::string> Simulator::replay(const ActionList& actions) {
  begin();
  int run = 0;
  for (const Action& action : actions) {
    if (stuck_) break;
    if (action.kind == Action::Kind::backup) {
      backup(action, ++run);
    } else {
      play(action);
    }
  }
  return finish();
}

void Simulator::begin() {
  // A missing media folder is an access error; an empty one is a home without media.
  fs::create_directories(home_.root() + "/Pictures");
  fs::create_directories(home_.root() + "/Movies");
  home_.put("contacts/Friends/ada.vcf", {card("Ada"), 1500000000000});
  home_.put("contacts/Friends/grace.vcf", {card("Grace"), 1500000001000});
  home_.put("calendars/Work/displayname", {"Work", 1500000002000});
  home_.put("calendars/Work/dentist.ics", {dentistTomorrow(), 1500000003000});
  startHost();
}

std::vector<std::string> Simulator::finish() {
  stopHost();
  if (!stuck_ && lastFinished_) restore();
  return invariants_->violations();
}

std::string Simulator::history() const {
  std::lock_guard lock(actionsMutex_);
  std::string text;
  for (size_t i = 0; i < actions_.size(); ++i) {
    text += std::to_string(i + 1) + ". " + actions_[i].describe() + "\n";
  }
  return text;
}

void Simulator::record(Action action) {
  std::lock_guard lock(actionsMutex_);
  actions_.push_back(std::move(action));
}

void Simulator::play(const Action& action) {
  record(action);
  if (action.kind == Action::Kind::restart) {
    stopHost();
    startHost();
  } else {
    home_.apply(action);
  }
}

BackupSDKOptions Simulator::options(const std::string& home, const std::string& library) const {
  BackupSDKOptions options;
  options.picturesDirectory = home + "/Pictures";
  options.moviesDirectory = home + "/Movies";
  options.contactsDirectory = home + "/contacts";
  options.calendarsDirectory = home + "/calendars";
  options.temporaryDirectory = library + "/tmp";
  options.stateDirectory = library + "/config/tessellon";
  return options;
}

void Simulator::startHost() {
  auto local = std::make_shared<hosts::LocalFolderDelegate>(
      space_.file("remote"), hosts::LocalFolderDelegate::kDefaultZipSize, std::nullopt,
      space_.file("downloads"));
  versions_ = std::make_shared<hosts::VersionKeepingDelegate>(
      local, local, hosts::RemoteHistory::stateName(std::chrono::system_clock::now()));
  delegate_ = std::make_shared<FaultPlanDelegate>(versions_, space_.file("remote"), invariants_);
  sdk_ = std::make_unique<BackupSDK>(delegate_, traceLogger(),
                                     options(home_.root(), space_.file("library")));
}

void Simulator::stopHost() {
  // The SDK waits for the clean-up its last run started.
  sdk_.reset();
  delegate_.reset();
  versions_.reset();
}

std::future<Simulator::Outcome> Simulator::start(const std::function<void(Completion)>& operation) {
  auto done = std::make_shared<std::promise<Outcome>>();
  operation([done](std::shared_ptr<ProcessReport> report, std::optional<Error> error) {
    done->set_value({true, std::move(report), std::move(error)});
  });
  return done->get_future();
}

Simulator::Outcome Simulator::waitFor(std::future<Outcome>& pending, int seconds) {
  if (pending.wait_for(std::chrono::seconds(seconds)) != std::future_status::ready) return {};
  return pending.get();
}

void Simulator::backup(const Action& action, int run) {
  record(action);
  const std::string when = "run " + std::to_string(run);
  changed_.clear();
  const SeenRun seen{home_.files(), action.settings, {}};
  versions_->beginRun(history_.before(deviceFolder(), when));
  const HistoryCheck::Listing remoteBefore = HistoryCheck::listing(deviceFolder());
  const std::map<std::string, std::string> kept = keptOnlyByTheRecord();
  delegate_->arm(action.faults, action.settings.zipSize, hooksFor(action, run), when);
  const RunSettings& s = action.settings;
  BackupSettings settings("simulated", s.contacts, s.calendars, s.videos, s.images,
                          s.keepDeletedItems);
  const bool abandoned = action.faults.fault == FaultPlan::Fault::abandon;
  std::future<Outcome> pending =
      start([&](Completion completion) { sdk_->startBackup(settings, nullptr, completion); });
  Outcome outcome = waitFor(pending, abandoned ? kAbandonedRunSeconds : kRunSeconds);
  if (abandoned) {
    if (!outcome.completed) {
      invariants_->add(when + ": the run did not end when cancelled while the host was silent");
    }
    // The host is gone: what it still owed fails, and a new host starts.
    delegate_->hangUp();
    if (!outcome.completed) outcome = waitFor(pending, kRunSeconds);
    stopHost();
    startHost();
  }
  if (!outcome.completed) {
    invariants_->add(when + ": the run never completed");
    stuck_ = true;
    return;
  }
  checkRun(action, outcome, {seen.seen, seen.settings, changed_}, when);
  if (delegate_->documentRefused()) checkNothingChanged(action, outcome, remoteBefore, when);
  // An archive an earlier run left carries that run's record, which may not keep deleted items.
  if (action.settings.keepDeletedItems && !leftArchive(remoteBefore)) checkKept(kept, when);
  // A host that finishes a cancelled request after the grace: the run has ended, but its lock
  // stays until that request is answered. The next run starts once it has gone.
  if (delegate_->settle()) {
    const std::string lock = deviceFolder() + "/lock.json";
    for (int tries = 0; tries < 300 && fs::exists(lock); ++tries) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  history_.after(deviceFolder(), when);
}

FaultPlanDelegate::Hooks Simulator::hooksFor(const Action& action, int run) {
  FaultPlanDelegate::Hooks hooks;
  BackupSDK* sdk = sdk_.get();
  hooks.cancel = [sdk] { sdk->cancel(nullptr); };
  hooks.changeFile = [this, change = action.faults.change](const std::string& archive) {
    changeDuringRun(archive, change);
  };
  const std::string when = "run " + std::to_string(run);
  const bool hadRecord = fs::exists(deviceFolder() + "/backup.json");
  hooks.listBackups = [sdk, invariants = invariants_, when, hadRecord,
                       delegate = std::weak_ptr<FaultPlanDelegate>(delegate_),
                       device = fs::path(deviceFolder()).filename().string()] {
    sdk->getAvailableBackups([=](auto backups, std::optional<Error> error) {
      if (auto host = delegate.lock()) host->listingEnded();
      if (error) {
        invariants->add(when + ": the listing beside the run failed: " + describe(*error));
      } else if (hadRecord && std::none_of(backups->begin(), backups->end(), [&](auto& backup) {
                   return backup->deviceID == device;
                 })) {
        invariants->add(when + ": the listing beside the run lost this device's backup");
      }
    });
  };
  secondRunFinished_ = false;
  hooks.concurrentRun = [this] { secondRunFinished_ = concurrentRun() == 0; };
  return hooks;
}

void Simulator::checkRun(const Action& action, const Outcome& outcome, const SeenRun& seen,
                         const std::string& when) {
  const Tree disk = HomeModel::read(home_.root());
  invariants_->untouched(home_.files(), disk, when);
  if (disk.size() != home_.files().size()) {
    invariants_->add(when + ": I3 the run left " + std::to_string(disk.size()) +
                     " files in the home, the user made " + std::to_string(home_.files().size()));
  }
  invariants_->storedRecord(deviceFolder(), when);
  if (action.faults.mustFinish()) {
    const auto failedIn = [&](const std::string& folder) {
      return static_cast<int>(std::count_if(seen.changed.begin(), seen.changed.end(),
                                            [&](auto& path) { return path.starts_with(folder); }));
    };
    if (!outcome.finished()) {
      invariants_->add(when + ": a run without remote faults ended with " + outcome.describe());
    } else if (failedOf(outcome.report->images) > failedIn("Pictures/") ||
               failedOf(outcome.report->videos) > failedIn("Movies/")) {
      invariants_->add(when + ": a run without remote faults failed " +
                       std::to_string(failedOf(outcome.report->images)) + " images and " +
                       std::to_string(failedOf(outcome.report->videos)) + " videos; " +
                       std::to_string(seen.changed.size()) + " files changed during the run");
    }
  }
  if (action.faults.mustNotFail() && outcome.error) {
    invariants_->add(when + ": a run whose host only cancelled ended with " + outcome.describe());
  }
  if (outcome.finished()) {
    // What the report does not name as failed must be stored.
    checkFailedNamed(*outcome.report, *invariants_, when);
    RunSettings done = seen.settings;
    done.contacts = done.contacts && failedOf(outcome.report->contacts) == 0;
    // A category whose record did not reach the remote says so, and then claims nothing.
    done.images = done.images && !namesDocument(outcome.report->images);
    done.videos = done.videos && !namesDocument(outcome.report->videos);
    invariants_->everySeenFileStored(deviceFolder(), seen.seen, done,
                                     excusedFiles(seen.changed, *outcome.report), when);
    lastFinished_ = seen;
  } else {
    lastFinished_.reset();
  }
  if (action.faults.fault == FaultPlan::Fault::concurrentRun && secondRunFinished_ &&
      action.settings.keepDeletedItems && action.settings.images) {
    checkSecondRunKept(when);
  }
}

bool Simulator::leftArchive(const HistoryCheck::Listing& deviceFolder) {
  return std::any_of(deviceFolder.begin(), deviceFolder.end(), [](const auto& file) {
    return file.first.ends_with(".zip") && file.first.find('/') == std::string::npos;
  });
}

// A run that could not read a document its record claims must fail and leave the remote as it
// was: a record rebuilt without the document's items would let a later run delete their files.
void Simulator::checkNothingChanged(const Action& action, const Outcome& outcome,
                                    const HistoryCheck::Listing& before, const std::string& when) {
  const std::string document = action.faults.operation;
  if (!outcome.error) {
    invariants_->add(when + ": a run that could not download " + document + " ended with " +
                     outcome.describe());
  }
  // An archive an earlier run left is unpacked before the record is read: that is all the run may
  // have changed, and the inflation's own checks cover it.
  if (leftArchive(before)) return;
  // The run's lock comes and goes, and may replace a leftover one.
  const auto withoutLocks = [](HistoryCheck::Listing files) {
    std::erase_if(files, [](const auto& file) { return file.first.starts_with("lock"); });
    return files;
  };
  if (withoutLocks(HistoryCheck::listing(deviceFolder())) != withoutLocks(before)) {
    invariants_->add(when + ": the remote changed in a run that could not download " + document);
  }
}

std::map<std::string, std::string> Simulator::keptOnlyByTheRecord() const {
  std::vector<std::string> problems;
  const auto stored = RemoteRecord::read(deviceFolder(), problems);
  std::map<std::string, std::string> kept;
  if (!stored) return kept;
  // An item whose content a file here still holds may leave the record for that file's item.
  std::set<std::string_view> contents;
  for (const auto& [path, file] : home_.files()) contents.insert(file.content);
  for (const char* category : {"images", "videos"}) {
    for (const StoredItem& item : stored->items(category)) {
      std::ifstream in(deviceFolder() + "/" + item.file, std::ios::binary);
      const std::string content((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
      if (in && contents.count(content) == 0) kept.emplace(item.file, content);
    }
  }
  return kept;
}

void Simulator::checkKept(const std::map<std::string, std::string>& kept, const std::string& when) {
  std::vector<std::string> problems;
  const auto stored = RemoteRecord::read(deviceFolder(), problems);
  if (!stored) return;
  const std::set<std::string> referenced = stored->referencedFiles();
  for (const auto& [file, content] : kept) {
    if (referenced.count(file) == 0) {
      invariants_->add(when + ": a run that keeps deleted items dropped " + file +
                       ", which only the record kept");
      continue;
    }
    std::ifstream in(deviceFolder() + "/" + file, std::ios::binary);
    if (std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()) !=
        content) {
      invariants_->add(when + ": a run that keeps deleted items let other bytes take " + file +
                       ", which only the record kept");
    }
  }
}

// What a second run of this device stored must survive a run that keeps deleted items.
void Simulator::checkSecondRunKept(const std::string& when) {
  std::vector<std::string> problems;
  const auto stored = RemoteRecord::read(deviceFolder(), problems);
  if (!stored) return;
  const auto& items = stored->items("images");
  for (const auto& [path, file] : other_.files()) {
    const std::string relative = path.substr(std::string("Pictures/").size());
    if (std::none_of(items.begin(), items.end(), [&](const StoredItem& item) {
          return std::find(item.paths.begin(), item.paths.end(), relative) != item.paths.end();
        })) {
      invariants_->add(when + ": I2 the second run stored " + path +
                       "; after this run (keeping deleted items) the record lost it");
    }
  }
}

void Simulator::changeDuringRun(const std::string& archive, FaultPlan::Change change) {
  const auto [listed, folders] = listedIn(archive);
  std::vector<std::string> candidates;
  for (const std::string& folder : folders) {
    for (const std::string& path : home_.pathsBelow(folder)) {
      if (!listed.count(path)) candidates.push_back(path);
    }
  }
  if (candidates.empty()) return;
  const std::string& path = candidates[seed_ % candidates.size()];
  const size_t size = home_.files().at(path).content.size();
  Action action = generator_.rewrite(path, size);
  if (change == FaultPlan::Change::edit) {
    action.size = size;
  } else if ((change == FaultPlan::Change::shrink) != (action.size < size)) {
    action.size = change == FaultPlan::Change::shrink ? 1 + size / 2 : size * 2 + 1;
  }
  action.duringRun = true;
  home_.apply(action);
  record(action);
  changed_.push_back(path);
}

int Simulator::concurrentRun() {
  Action file = generator_.newFile("Pictures");
  file.path = "Pictures/second/" + fs::path(file.path).filename().string();
  other_.apply(file);
  file.path = "second run's home: " + file.path;
  file.duringRun = true;
  record(file);
  fs::create_directories(other_.root() + "/tmp");
  CliProcess cli(cliPath_,
                 {"backup", "-q", "--remote", space_.file("remote"), "--pictures",
                  other_.root() + "/Pictures", "--movies", other_.root() + "/Movies", "--only",
                  "images", "--keep-deleted", "--archive-size", "64K"},
                 {{"TMPDIR", other_.root() + "/tmp"},
                  {"XDG_CONFIG_HOME", space_.file("library/config")},
                  {"XDG_DATA_HOME", other_.root() + "/data"},
                  {"HOME", other_.root()}},
                 space_.file("second-run.log"));
  const int status = cli.wait();
  record(Action::of(Action::Kind::note,
                    "  during the run: the second run exits with " + std::to_string(status)));
  return status;
}

std::shared_ptr<Backup> Simulator::storedBackup(BackupSDK& sdk) {
  auto listed = std::make_shared<std::promise<std::vector<std::shared_ptr<Backup>>>>();
  sdk.getAvailableBackups([listed](auto backups, std::optional<Error>) {
    listed->set_value(backups.value_or(std::vector<std::shared_ptr<Backup>>{}));
  });
  auto future = listed->get_future();
  if (future.wait_for(std::chrono::seconds(kRunSeconds)) != std::future_status::ready) {
    return nullptr;
  }
  const std::string device = fs::path(deviceFolder()).filename().string();
  for (const auto& backup : future.get()) {
    if (backup->deviceID == device) return backup;
  }
  return nullptr;
}

void Simulator::restore() {
  const SeenRun& seen = *lastFinished_;
  record(Action::of(Action::Kind::note, "restore into an empty home, twice"));
  HomeModel target(space_.file("restored"));
  // A file already where one is restored must stay as it is, the restored one goes beside it.
  for (const auto& [path, file] : seen.seen) {
    if (path.starts_with(seen.settings.images ? "Pictures/" : "Movies/") && generator_.chance(30)) {
      target.put(path, {"a different file", file.mtimeMs});
      break;
    }
  }
  auto host = std::make_shared<FaultPlanDelegate>(
      std::make_shared<hosts::LocalFolderDelegate>(space_.file("remote"),
                                                   hosts::LocalFolderDelegate::kDefaultZipSize,
                                                   std::nullopt, space_.file("restore-downloads")),
      space_.file("remote"), invariants_);
  host->arm(FaultPlan{}, 0, {}, "restore");
  BackupSDK sdk(host, nullptr, options(target.root(), space_.file("restore-library")));
  const Settings settings(seen.settings.contacts, seen.settings.calendars, seen.settings.videos,
                          seen.settings.images);
  Tree before = HomeModel::read(target.root());
  for (const std::string when : {"restore", "second restore"}) {
    const std::shared_ptr<Backup> backup = storedBackup(sdk);
    if (!backup) {
      invariants_->add(when + ": the listing does not show this device's backup");
      return;
    }
    std::future<Outcome> pending = start(
        [&](Completion completion) { sdk.startRestore(backup, settings, nullptr, completion); });
    const Outcome outcome = waitFor(pending, kRunSeconds);
    if (!outcome.completed) stuck_ = true;
    if (!outcome.finished()) {
      invariants_->add(when + ": ended with " + outcome.describe());
      return;
    }
    const Tree after = HomeModel::read(target.root());
    invariants_->untouched(before, after, when);
    if (when == std::string("restore")) {
      invariants_->restored(seen.seen, seen.settings, seen.changed, after, when);
    } else if (after.size() != before.size()) {
      invariants_->add(when + ": added " + std::to_string(after.size() - before.size()) +
                       " files to a home that had everything");
    }
    before = after;
  }
}

std::string Simulator::deviceFolder() const {
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(space_.file("remote"), error)) {
    if (entry.is_directory()) return entry.path().string();
  }
  return space_.file("remote/(no device folder)");
}

}  // namespace tessellon::simulation
