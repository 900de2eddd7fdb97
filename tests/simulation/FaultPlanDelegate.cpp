#include "simulation/FaultPlanDelegate.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include <nlohmann/json.hpp>

#include "simulation/ArchiveEntries.h"

namespace tessellon::simulation {
namespace {

Error lostConnection() { return Error{"NSURLErrorDomain", -1005, "the connection was lost"}; }

Error cancelledTransfer() { return Error{"NSURLErrorDomain", -999, "cancelled"}; }

Error remoteFull() { return Error{"SimulatedRemote", 507, "the remote is full"}; }

// The run holding `deviceFolder`, as its record on the remote names it: host, process and start.
std::optional<std::string> holderOf(const std::string& deviceFolder) {
  std::ifstream file(deviceFolder + "/lock.json");
  if (!file) return std::nullopt;
  std::ostringstream text;
  text << file.rdbuf();
  const auto record = nlohmann::json::parse(text.str(), nullptr, /*allow_exceptions=*/false);
  if (!record.is_object()) return std::nullopt;
  return record.value("host", "") + "/" + std::to_string(record.value("pid", 0)) + "/" +
         record.value("started", "");
}

// The lock's own files, and the device folder itself, change hands with the lock.
bool isLockPath(const std::string& relativeRemotePath) {
  const size_t slash = relativeRemotePath.rfind('/');
  if (slash == std::string::npos) return true;
  const std::string name = relativeRemotePath.substr(slash + 1);
  return name == "lock.json" || name == "lock-takeover.json";
}

// A stored file of a media folder, "<uid>/images/<name>" or "<uid>/videos/<name>".
bool isMediaFile(const std::string& relativeRemotePath) {
  return relativeRemotePath.find("/images/") != std::string::npos ||
         relativeRemotePath.find("/videos/") != std::string::npos;
}

// The handle of a transfer that never reached the remote.
class NoTransfer final : public CancellationDelegate {
 public:
  void cancel() override {}
};

}  // namespace

FaultPlanDelegate::FaultPlanDelegate(std::shared_ptr<BackupSDKDelegate> inner,
                                     std::string remoteRoot, std::shared_ptr<Invariants> invariants)
    : ForwardingDelegate(std::move(inner)),
      remoteRoot_(std::move(remoteRoot)),
      invariants_(std::move(invariants)),
      trace_(std::getenv("TESSELLON_SIM_TRACE") != nullptr) {}

FaultPlanDelegate::~FaultPlanDelegate() { (void)settle(); }

void FaultPlanDelegate::forward(const Admission& admission, std::function<void()> call,
                                const std::string& written) {
  if (admission.lateMs <= 0) return call();
  std::optional<std::string> holder;
  if (!written.empty() && !isLockPath(written)) holder = holderOf(deviceFolder(written));
  std::lock_guard lock(mutex_);
  late_.emplace_back([this, call = std::move(call), admission, written, holder] {
    std::this_thread::sleep_for(std::chrono::milliseconds(admission.lateMs));
    // What a run writes must land while that run still holds the folder: once the next run
    // holds it, a late deletion or replacement could undo what that run records as stored.
    if (holder && holderOf(deviceFolder(written)) != holder) {
      invariants_->add(admission.when + ": " + written +
                       " was written on the remote after its run let go of the folder");
    }
    call();
  });
}

bool FaultPlanDelegate::settle() {
  std::vector<std::thread> late;
  {
    std::lock_guard lock(mutex_);
    late.swap(late_);
  }
  for (std::thread& thread : late) thread.join();
  return !late.empty();
}

bool FaultPlanDelegate::documentRefused() {
  std::lock_guard lock(mutex_);
  return documentRefused_;
}

void FaultPlanDelegate::arm(const FaultPlan& plan, int64_t zipSize, Hooks hooks, std::string when) {
  std::lock_guard lock(mutex_);
  plan_ = plan;
  zipSize_ = zipSize;
  hooks_ = std::move(hooks);
  when_ = std::move(when);
  requests_ = 0;
  calls_.clear();
  mediaUploads_ = 0;
  downloads_ = 0;
  documentRefused_ = false;
  pair_ = std::make_shared<AnswerPair>();
}

void FaultPlanDelegate::hangUp() {
  std::vector<std::function<void()>> held;
  {
    std::lock_guard lock(mutex_);
    gone_ = true;
    held.swap(held_);
  }
  for (auto& answer : held) answer();
}

FaultPlanDelegate::Admission FaultPlanDelegate::admit(const std::string& operation,
                                                      const std::string& path) {
  std::function<void()> hook;
  Admission admission;
  {
    std::lock_guard lock(mutex_);
    const int request = ++requests_;
    const int call = ++calls_[operation];
    admission.when = when_;
    admission.fault = plan_.fault;
    if (trace_) {
      std::fprintf(stderr, "%s: #%d %s %s\n", when_.c_str(), request, operation.c_str(),
                   path.c_str());
    }
    const bool transfer = operation == "uploadFile" || operation == "downloadFile";
    Verdict& verdict = admission.verdict;
    switch (silent_ ? FaultPlan::Fault::none : plan_.fault) {
      case FaultPlan::Fault::none:
        if (silent_) verdict = Verdict::hold;
        break;
      case FaultPlan::Fault::failRequest:
        if (operation == plan_.operation && call == plan_.nth) verdict = Verdict::fail;
        break;
      case FaultPlan::Fault::documentUnavailable:
        if (operation == "downloadFile" && path.ends_with("/" + plan_.operation)) {
          verdict = Verdict::fail;
          documentRefused_ = true;
        }
        break;
      case FaultPlan::Fault::remoteFull:
        if (operation == "uploadFile" && call >= plan_.nth) verdict = Verdict::fail;
        break;
      case FaultPlan::Fault::cancel:
        if (request != plan_.nth) break;
        hook = hooks_.cancel;
        if (plan_.lateMs > 0 && operation != "downloadFile") {
          // A host whose cancellation does not stop what it is doing.
          admission.lateMs = plan_.lateMs;
        } else if (transfer) {
          // A transfer cancelled as it starts never reaches the remote.
          verdict = Verdict::fail;
        }
        break;
      case FaultPlan::Fault::abandon:
        if (request != plan_.nth) break;
        silent_ = true;
        hook = hooks_.cancel;
        verdict = Verdict::hold;
        break;
      case FaultPlan::Fault::concurrentRun:
        if (operation == "uploadFile" && call == 1) hook = hooks_.concurrentRun;
        break;
      case FaultPlan::Fault::listingBeside:
        if (operation == "downloadFile" && call == 1) hook = hooks_.listBackups;
        break;
      case FaultPlan::Fault::sizelessListing:
      case FaultPlan::Fault::listingOmits:
        break;  // in getDirectoryInfo
      case FaultPlan::Fault::documentDamaged:
        break;  // in downloadFile
      case FaultPlan::Fault::hostCancels:
        // A download's answer carries no error of the host's own.
        if (request == plan_.nth && operation != "downloadFile") verdict = Verdict::fail;
        break;
    }
  }
  if (hook) hook();
  return admission;
}

void FaultPlanDelegate::listingEnded() {
  std::shared_ptr<AnswerPair> pair;
  {
    std::lock_guard lock(mutex_);
    pair = pair_;
  }
  pair->release();
}

void FaultPlanDelegate::AnswerPair::hold(std::function<void()> answer) {
  std::unique_lock lock(mutex_);
  if (!released_) {
    held_ = std::move(answer);
    return;
  }
  lock.unlock();
  answer();
}

void FaultPlanDelegate::AnswerPair::release() {
  std::unique_lock lock(mutex_);
  released_ = true;
  std::function<void()> held = std::move(held_);
  lock.unlock();
  if (held) held();
}

Error FaultPlanDelegate::failure(const Admission& admission) {
  if (admission.verdict == Verdict::hold) return lostConnection();
  switch (admission.fault) {
    case FaultPlan::Fault::remoteFull:
      return remoteFull();
    case FaultPlan::Fault::cancel:
    case FaultPlan::Fault::hostCancels:
      return cancelledTransfer();
    default:
      return lostConnection();
  }
}

bool FaultPlanDelegate::answersTwice() {
  std::lock_guard lock(mutex_);
  return plan_.answersTwice;
}

void FaultPlanDelegate::refuse(Verdict verdict, std::function<void()> answer) {
  std::unique_lock lock(mutex_);
  if (verdict == Verdict::hold && !gone_) {
    held_.push_back(std::move(answer));
    return;
  }
  lock.unlock();
  answer();
}

std::string FaultPlanDelegate::deviceFolder(const std::string& relativeRemotePath) const {
  return remoteRoot_ + "/" + relativeRemotePath.substr(0, relativeRemotePath.find('/'));
}

void FaultPlanDelegate::changeBefore(const std::string& archive) {
  std::function<void(const std::string&)> change;
  {
    std::lock_guard lock(mutex_);
    if (plan_.change == FaultPlan::Change::none || mediaUploads_ >= plan_.changeAt) return;
    change = hooks_.changeFile;
  }
  const auto entries = archiveEntries(archive);
  const bool media = std::any_of(entries.begin(), entries.end(), [](const ArchiveEntry& entry) {
    return entry.name == "images.json" || entry.name == "videos.json";
  });
  std::unique_lock lock(mutex_);
  if (media && ++mediaUploads_ == plan_.changeAt) {
    lock.unlock();
    change(archive);
  }
}

std::shared_ptr<CancellationDelegate> FaultPlanDelegate::uploadFile(
    const std::string& localPath, const std::string& relativeRemotePath,
    std::function<void(const TransferProgress&)> progress,
    std::function<void(std::optional<Error>)> completion) {
  completion = twice(std::move(completion));
  changeBefore(localPath);
  const Admission admission = admit("uploadFile", relativeRemotePath);
  if (admission.verdict == Verdict::forward && admission.lateMs > 0) {
    forward(
        admission,
        [=, this] {
          (void)ForwardingDelegate::uploadFile(localPath, relativeRemotePath, progress, completion);
        },
        relativeRemotePath);
    return std::make_shared<NoTransfer>();
  }
  if (admission.verdict == Verdict::forward) {
    return ForwardingDelegate::uploadFile(localPath, relativeRemotePath, std::move(progress),
                                          std::move(completion));
  }
  const Error error = failure(admission);
  refuse(admission.verdict, [completion, error] { completion(error); });
  return std::make_shared<NoTransfer>();
}

std::shared_ptr<CancellationDelegate> FaultPlanDelegate::downloadFile(
    const std::string& relativeRemotePath, std::function<void(const TransferProgress&)> progress,
    std::function<void(std::optional<std::string>, std::optional<BackupSDKError>)> completion) {
  completion = twice(std::move(completion));
  const auto [download, pair] = [&] {
    std::lock_guard lock(mutex_);
    return std::pair(++downloads_, plan_.fault == FaultPlan::Fault::listingBeside
                                       ? pair_
                                       : std::shared_ptr<AnswerPair>());
  }();
  const Admission admission = admit("downloadFile", relativeRemotePath);
  if (admission.verdict != Verdict::forward) {
    refuse(admission.verdict,
           [completion] { completion(std::nullopt, BackupSDKError::delegateFileDownloadFailed); });
    return std::make_shared<NoTransfer>();
  }
  const auto [damaged, missing, unreadable] = [&, &path = relativeRemotePath] {
    std::lock_guard lock(mutex_);
    const bool hit =
        plan_.fault == FaultPlan::Fault::documentDamaged && path.ends_with("/" + plan_.operation);
    return std::tuple(hit && plan_.nth % 2 == 1, hit && plan_.nth % 2 == 0,
                      plan_.unreadable() && isMediaFile(path));
  }();
  if (missing || unreadable) {
    completion(std::nullopt, missing ? BackupSDKError::delegateFileDoesNotExist
                                     : BackupSDKError::delegateFileDownloadFailed);
    return std::make_shared<NoTransfer>();
  }
  if (damaged) {
    // The second half of the document is gone and a stray byte ends the rest.
    completion = [completion](std::optional<std::string> path, auto error) {
      if (path) {
        std::error_code ignored;
        const auto size = std::filesystem::file_size(*path, ignored);
        if (!ignored) std::filesystem::resize_file(*path, size / 2, ignored);
        std::ofstream(*path, std::ios::binary | std::ios::app) << '\x01';
      }
      completion(std::move(path), error);
    };
  }
  if (pair && download == 1) {
    completion = [pair, completion](auto path, auto error) {
      pair->hold([=] { completion(path, error); });
    };
  } else if (pair && download == 2) {
    completion = [pair, completion](auto path, auto error) {
      pair->release();
      completion(path, error);
    };
  }
  return ForwardingDelegate::downloadFile(relativeRemotePath, std::move(progress),
                                          std::move(completion));
}

std::shared_ptr<CancellationDelegate> FaultPlanDelegate::readFile(
    const std::string& relativeRemotePath, std::function<bool(const char*, size_t)> consume,
    std::function<void(std::optional<BackupSDKError>)> completion) {
  completion = twice(std::move(completion));
  const Admission admission = admit("readFile", relativeRemotePath);
  if (admission.verdict != Verdict::forward) {
    refuse(admission.verdict,
           [completion] { completion(BackupSDKError::delegateFileDownloadFailed); });
    return std::make_shared<NoTransfer>();
  }
  if (admission.fault == FaultPlan::Fault::listingOmits) {
    const FaultPlan plan = [this] {
      std::lock_guard lock(mutex_);
      return plan_;
    }();
    if (plan.unreadable() && isMediaFile(relativeRemotePath)) {
      completion(BackupSDKError::delegateFileDownloadFailed);
      return std::make_shared<NoTransfer>();
    }
    if (plan.nth % 2 == 1) return nullptr;  // a host that cannot stream: the library downloads
  }
  return ForwardingDelegate::readFile(relativeRemotePath, std::move(consume),
                                      std::move(completion));
}

void FaultPlanDelegate::createDirectory(
    const std::string& relativeRemotePath,
    std::function<void(bool, std::optional<Error>)> completion) {
  completion = twice(std::move(completion));
  const Admission admission = admit("createDirectory", relativeRemotePath);
  if (admission.verdict != Verdict::forward) {
    return refuse(admission.verdict,
                  [completion, error = failure(admission)] { completion(false, error); });
  }
  forward(
      admission, [=, this] { ForwardingDelegate::createDirectory(relativeRemotePath, completion); },
      relativeRemotePath);
}

void FaultPlanDelegate::deleteFile(const std::string& relativeRemotePath,
                                   std::function<void(bool, std::optional<Error>)> completion) {
  completion = twice(std::move(completion));
  const Admission admission = admit("deleteFile", relativeRemotePath);
  if (admission.verdict != Verdict::forward) {
    return refuse(admission.verdict,
                  [completion, error = failure(admission)] { completion(false, error); });
  }
  const size_t slash = relativeRemotePath.find('/');
  invariants_->deletion(deviceFolder(relativeRemotePath),
                        slash == std::string::npos ? "" : relativeRemotePath.substr(slash + 1),
                        admission.when);
  forward(
      admission, [=, this] { ForwardingDelegate::deleteFile(relativeRemotePath, completion); },
      relativeRemotePath);
}

void FaultPlanDelegate::getDirectoryInfo(
    const std::string& relativeRemotePath,
    std::function<void(std::optional<Directory>, std::optional<Error>)> completion) {
  completion = twice(std::move(completion));
  const Admission admission = admit("getDirectoryInfo", relativeRemotePath);
  if (admission.verdict != Verdict::forward) {
    return refuse(admission.verdict,
                  [completion, error = failure(admission)] { completion(std::nullopt, error); });
  }
  if (admission.fault == FaultPlan::Fault::sizelessListing) {
    completion = [completion](std::optional<Directory> listing, std::optional<Error> error) {
      if (listing) {
        for (Member& member : listing->members) member.fileSizeInByte = 0;
      }
      completion(std::move(listing), std::move(error));
    };
  }
  const bool mediaFolder = isMediaFile(relativeRemotePath + "/");
  if (admission.fault == FaultPlan::Fault::listingOmits && mediaFolder) {
    const bool all = [this] {
      std::lock_guard lock(mutex_);
      return plan_.nth % 2 == 0;
    }();
    completion = [completion, all](std::optional<Directory> listing, std::optional<Error> error) {
      if (listing) {
        auto& members = listing->members;
        members.erase(members.begin() + (all ? 0 : static_cast<std::ptrdiff_t>(members.size() / 2)),
                      members.end());
      }
      completion(std::move(listing), std::move(error));
    };
  }
  forward(admission,
          [=, this] { ForwardingDelegate::getDirectoryInfo(relativeRemotePath, completion); });
}

void FaultPlanDelegate::inflateZip(const std::string& remoteSrcPath,
                                   const std::string& remoteDstPath,
                                   std::function<void(std::optional<Error>)> completion) {
  completion = twice(std::move(completion));
  const Admission admission = admit("inflateZip", remoteSrcPath);
  if (admission.verdict != Verdict::forward) {
    return refuse(admission.verdict,
                  [completion, error = failure(admission)] { completion(error); });
  }
  const std::string device = deviceFolder(remoteDstPath);
  invariants_->inflation(device, remoteRoot_ + "/" + remoteSrcPath, admission.when);
  auto checked = [invariants = invariants_, device, when = admission.when,
                  completion](std::optional<Error> error) {
    // The record this inflation stored must hold before the library hears of it.
    if (!error) invariants->storedRecord(device, when + " after inflateZip");
    completion(std::move(error));
  };
  forward(
      admission,
      [=, this] { ForwardingDelegate::inflateZip(remoteSrcPath, remoteDstPath, checked); },
      remoteSrcPath);
}

int64_t FaultPlanDelegate::getZipSize() {
  std::lock_guard lock(mutex_);
  return zipSize_ > 0 ? zipSize_ : ForwardingDelegate::getZipSize();
}

}  // namespace tessellon::simulation
