#include "fuzz/ScriptedDelegate.h"

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cmath>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <limits>
#include <utility>

namespace tessellon::fuzz {
namespace fs = std::filesystem;
namespace {

// A synchronous answer: the inner remote answers on its thread, the caller waits for it here.
class AnswerSlot {
 public:
  void put(std::function<void()> answer) {
    std::lock_guard lock(mutex_);
    if (!answer_) answer_ = std::move(answer);
    filled_.notify_all();
  }
  std::function<void()> take() {
    std::unique_lock lock(mutex_);
    // The folder-backed remote answers every request; the bound only keeps a broken one from
    // hanging the fuzzer.
    filled_.wait_for(lock, std::chrono::seconds(5), [&] { return static_cast<bool>(answer_); });
    return std::move(answer_);
  }

 private:
  std::mutex mutex_;
  std::condition_variable filled_;
  std::function<void()> answer_;
};

Error hostGone() { return Error{"ScriptedDelegate", 1, "the host has shut down"}; }

const std::vector<int64_t>& scriptedSizes() {
  static const std::vector<int64_t> sizes{0,  1, 4096, -1, std::numeric_limits<int64_t>::min(),
                                          std::numeric_limits<int64_t>::max(), int64_t{1} << 40};
  return sizes;
}

}  // namespace

class ScriptedDelegate::Transfer final : public CancellationDelegate {
 public:
  void attach(std::shared_ptr<CancellationDelegate> inner) {
    std::lock_guard lock(mutex_);
    inner_ = std::move(inner);
  }
  void cancel() override {
    std::shared_ptr<CancellationDelegate> inner;
    {
      std::lock_guard lock(mutex_);
      inner = inner_;
    }
    if (inner) inner->cancel();
  }

 private:
  std::mutex mutex_;
  std::shared_ptr<CancellationDelegate> inner_;
};

ScriptedDelegate::ScriptedDelegate(std::shared_ptr<BackupSDKDelegate> remote,
                                   std::shared_ptr<FuzzScript> script, Paths paths,
                                   int64_t zipSize)
    : script_(std::move(script)),
      paths_(std::move(paths)),
      zipSize_(zipSize),
      trace_(std::getenv("TESSELLON_FUZZ_TRACE") != nullptr),
      remote_(std::move(remote)) {}

ScriptedDelegate::~ScriptedDelegate() { shutdown(); }

void ScriptedDelegate::onCancelRequest(std::function<void()> cancel) {
  std::lock_guard lock(cancelMutex_);
  cancel_ = std::move(cancel);
}

void ScriptedDelegate::shutdown() {
  std::shared_ptr<BackupSDKDelegate> remote;
  {
    std::lock_guard lock(mutex_);
    remote.swap(remote_);
  }
  // The folder-backed remote answers what it still has queued, then joins its thread; those
  // answers may still go through our queue.
  remote.reset();
  queue_.stop();
  std::vector<Answer> held;
  {
    std::lock_guard lock(mutex_);
    held.swap(held_);
  }
}

ScriptedDelegate::Decision ScriptedDelegate::decide(const char* operation, const std::string& path) {
  Decision decision;
  bool cancel = false;
  {
    std::lock_guard lock(mutex_);
    const uint8_t byte = script_->byte();
    const uint8_t what = byte & 7;
    decision.kind = what == 7 ? Kind::forward : static_cast<Kind>(what);
    decision.timing = static_cast<Timing>((byte >> 3) & 3);
    decision.progressBefore = byte & 0x20;
    cancel = byte & 0x40;
    decision.longDelay = byte & 0x80;
    if (decision.kind == Kind::fail || decision.kind == Kind::mixed ||
        decision.kind == Kind::substitute) {
      decision.parameter = script_->byte();
    }
    if (trace_) {
      std::fprintf(stderr, "  %s %s: byte %u, parameter %u\n", operation, path.c_str(), byte,
                   decision.parameter);
    }
  }
  if (cancel) {
    std::lock_guard lock(cancelMutex_);
    if (cancel_) cancel_();
  }
  return decision;
}

std::shared_ptr<BackupSDKDelegate> ScriptedDelegate::remote() {
  std::lock_guard lock(mutex_);
  return remote_;
}

void ScriptedDelegate::deliver(const Decision& decision, Answer answer, Progress progress) {
  if (decision.kind == Kind::never) {
    std::lock_guard lock(mutex_);
    held_.push_back(std::move(answer));
    return;
  }
  auto run = [decision, answer = std::move(answer), progress = std::move(progress)] {
    if (decision.progressBefore && progress) {
      for (double fraction : {0.5, -1.0, std::nan(""), 1e308}) progress(TransferProgress{fraction});
    }
    answer();
    if (decision.kind == Kind::twice) answer();
    if (decision.kind == Kind::progressAfter && progress) {
      progress(TransferProgress{1.0});
      progress(TransferProgress{0.25});
    }
  };
  switch (decision.timing) {
    case Timing::asIs:
    case Timing::synchronous:
      run();
      break;
    case Timing::delayed:
      queue_.post(std::chrono::milliseconds(decision.longDelay ? 20 : 1), std::move(run));
      break;
    case Timing::queued:
      queue_.post(std::chrono::milliseconds(0), std::move(run));
      break;
  }
}

void ScriptedDelegate::relay(const Decision& decision, Progress progress,
                             const std::function<bool(Sink)>& ask) {
  if (decision.timing != Timing::synchronous) {
    ask([this, decision, progress](Answer answer) { deliver(decision, std::move(answer), progress); });
    return;
  }
  auto slot = std::make_shared<AnswerSlot>();
  if (!ask([slot](Answer answer) { slot->put(std::move(answer)); })) return;
  if (Answer answer = slot->take()) deliver(decision, std::move(answer), std::move(progress));
}

Error ScriptedDelegate::error(uint8_t selector) {
  switch (selector % 10) {
    case 0: return Error{"NSURLErrorDomain", -999, "cancelled"};
    case 1: return Error{"NSURLErrorDomain", -1012, "user cancelled authentication"};
    case 2: return Error{"NSCocoaErrorDomain", 3072, "the operation was cancelled"};
    case 3: return Error{"ScriptedDelegate", 507, "insufficient storage"};
    case 4: return Error{"NSURLErrorDomain", -1001, "timed out"};
    case 5: return Error{"NSPOSIXErrorDomain", 28, "No space left on device"};
    case 6: return Error{"BackupSDKError", 319, "remote full"};
    case 7: return Error{};
    case 8: return Error{std::string("\xff/..\n\0odd", 9), INT_MIN, std::string(300, 'x')};
    default: return Error{"LocalFolderDelegate", selector, "refused"};
  }
}

BackupSDKError ScriptedDelegate::downloadError(uint8_t selector) {
  switch (selector % 6) {
    case 0: return BackupSDKError::delegateFileDoesNotExist;
    case 1: return BackupSDKError::delegateFileDownloadFailed;
    case 2: return BackupSDKError::isCanceling;
    case 3: return static_cast<BackupSDKError>(-999);
    case 4: return static_cast<BackupSDKError>(507);
    default: return static_cast<BackupSDKError>(INT_MAX);
  }
}

std::string ScriptedDelegate::servedDownload(uint8_t selector) {
  const std::string name =
      paths_.downloads + "/served-" + std::to_string(served_.fetch_add(1));
  std::error_code ignored;
  switch (selector % 6) {
    case 0: {
      std::string content;
      {
        std::lock_guard lock(mutex_);
        const size_t length = script_->byte() | (script_->byte() << 8);
        content = script_->bytes(length);
      }
      std::ofstream(name, std::ios::binary) << content;
      return name;
    }
    case 1:
      fs::create_symlink(paths_.canary, name, ignored);
      return name;
    case 2:
      fs::create_directories(name + "/inner", ignored);
      return name;
    case 3:
      return paths_.foreign;
    case 4:
      return name;  // never made
    default:
      return selector & 0x80 ? std::string() : std::string("served");
  }
}

std::string ScriptedDelegate::scriptedName(uint8_t selector) {
  static const std::vector<std::string> names{
      "backup.json", "images.json", "contacts.json", "calendars.json", "lock.json", "..", ".", "",
      "/", "a/b", "../escape", "/etc", "FUZZDEV", "OTHER", "FUZZDEV.zip", std::string(300, 'n'),
      "\xff\xfe"};
  if (selector % (names.size() + 1) < names.size()) return names[selector % (names.size() + 1)];
  std::lock_guard lock(mutex_);
  return script_->bytes(script_->byte() % 64);
}

std::vector<Member> ScriptedDelegate::scriptedMembers(uint8_t count) {
  std::vector<Member> members;
  for (int index = 0; index < count % 5; ++index) {
    uint8_t nameSelector = 0;
    uint8_t sizeSelector = 0;
    {
      std::lock_guard lock(mutex_);
      nameSelector = script_->byte();
      sizeSelector = script_->byte();
    }
    Member member;
    member.fullName = scriptedName(nameSelector);
    member.fileSizeInByte = scriptedSizes()[sizeSelector % scriptedSizes().size()];
    member.type = nameSelector & 0x80 ? MemberType::directory : MemberType::file;
    members.push_back(std::move(member));
  }
  return members;
}

std::shared_ptr<CancellationDelegate> ScriptedDelegate::uploadFile(
    const std::string& localPath, const std::string& relativeRemotePath, Progress progress,
    std::function<void(std::optional<Error>)> completion) {
  const Decision decision = decide("uploadFile", relativeRemotePath);
  auto transfer = std::make_shared<Transfer>();
  auto remote = this->remote();
  if (!remote) {
    completion(hostGone());
  } else if (decision.kind == Kind::fail) {
    deliver(decision, [completion, e = error(decision.parameter)] { completion(e); }, progress);
  } else if (decision.kind == Kind::mixed) {
    // Success without a byte stored.
    deliver(decision, [completion] { completion(std::nullopt); }, progress);
  } else {
    // A substitute stores the file, then says it failed.
    const std::optional<Error> failure =
        decision.kind == Kind::substitute ? std::optional(error(decision.parameter)) : std::nullopt;
    relay(decision, progress, [&](Sink sink) {
      transfer->attach(remote->uploadFile(
          localPath, relativeRemotePath, progress,
          [completion, sink, failure](std::optional<Error> e) {
            sink([completion, e = failure ? failure : e] { completion(e); });
          }));
      return true;
    });
  }
  return transfer;
}

std::shared_ptr<CancellationDelegate> ScriptedDelegate::downloadFile(
    const std::string& relativeRemotePath, Progress progress,
    std::function<void(std::optional<std::string>, std::optional<BackupSDKError>)> completion) {
  const Decision decision = decide("downloadFile", relativeRemotePath);
  auto transfer = std::make_shared<Transfer>();
  auto remote = this->remote();
  if (!remote) {
    completion(std::nullopt, BackupSDKError::delegateFileDownloadFailed);
  } else if (decision.kind == Kind::fail) {
    deliver(decision,
            [completion, e = downloadError(decision.parameter)] { completion(std::nullopt, e); },
            progress);
  } else if (decision.kind == Kind::mixed && !(decision.parameter & 1)) {
    deliver(decision, [completion] { completion(std::nullopt, std::nullopt); }, progress);
  } else if (decision.kind == Kind::substitute) {
    deliver(decision,
            [completion, path = servedDownload(decision.parameter)] {
              completion(path, std::nullopt);
            },
            progress);
  } else {
    // A mixed answer here is the file together with an error.
    const bool withError = decision.kind == Kind::mixed;
    const BackupSDKError alsoError = downloadError(decision.parameter >> 1);
    relay(decision, progress, [&](Sink sink) {
      transfer->attach(remote->downloadFile(
          relativeRemotePath, progress,
          [completion, sink, withError, alsoError](std::optional<std::string> path,
                                                   std::optional<BackupSDKError> e) {
            if (withError && !e) e = alsoError;
            sink([completion, path, e] { completion(path, e); });
          }));
      return true;
    });
  }
  return transfer;
}

std::shared_ptr<CancellationDelegate> ScriptedDelegate::readFile(
    const std::string& relativeRemotePath, std::function<bool(const char*, size_t)> consume,
    std::function<void(std::optional<BackupSDKError>)> completion) {
  const Decision decision = decide("readFile", relativeRemotePath);
  auto transfer = std::make_shared<Transfer>();
  auto remote = this->remote();
  if (!remote) return nullptr;
  if (decision.kind == Kind::mixed) return nullptr;  // a host that cannot stream
  if (decision.kind == Kind::fail) {
    deliver(decision, [completion, e = downloadError(decision.parameter)] { completion(e); },
            nullptr);
  } else if (decision.kind == Kind::substitute) {
    std::string content;
    {
      std::lock_guard lock(mutex_);
      content = script_->bytes(script_->byte() * 16);
    }
    deliver(decision,
            [consume, completion, content] {
              for (size_t at = 0; at < content.size(); at += 7) {
                if (!consume(content.data() + at, std::min<size_t>(7, content.size() - at))) break;
              }
              completion(std::nullopt);
            },
            nullptr);
  } else {
    bool streams = true;
    relay(decision, nullptr, [&](Sink sink) {
      auto inner = remote->readFile(relativeRemotePath, consume,
                                    [completion, sink](std::optional<BackupSDKError> e) {
                                      sink([completion, e] { completion(e); });
                                    });
      streams = inner != nullptr;
      transfer->attach(std::move(inner));
      return streams;
    });
    if (!streams) return nullptr;
  }
  return transfer;
}

void ScriptedDelegate::uploadFileIfAbsent(
    const std::string& localPath, const std::string& relativeRemotePath,
    std::function<void(bool, std::optional<Error>)> completion) {
  const Decision decision = decide("uploadFileIfAbsent", relativeRemotePath);
  auto remote = this->remote();
  if (!remote) return completion(false, hostGone());
  if (decision.kind == Kind::fail) {
    deliver(decision, [completion, e = error(decision.parameter)] { completion(false, e); },
            nullptr);
  } else if (decision.kind == Kind::mixed) {
    deliver(decision, [completion, e = error(decision.parameter)] { completion(true, e); },
            nullptr);
  } else if (decision.kind == Kind::substitute) {
    // "Something is there already", though nothing is.
    deliver(decision, [completion] { completion(false, std::nullopt); }, nullptr);
  } else {
    relay(decision, nullptr, [&](Sink sink) {
      remote->uploadFileIfAbsent(localPath, relativeRemotePath,
                                 [completion, sink](bool created, std::optional<Error> e) {
                                   sink([completion, created, e] { completion(created, e); });
                                 });
      return true;
    });
  }
}

void ScriptedDelegate::createDirectory(const std::string& relativeRemotePath,
                                       std::function<void(bool, std::optional<Error>)> completion) {
  const Decision decision = decide("createDirectory", relativeRemotePath);
  auto remote = this->remote();
  if (!remote) return completion(false, hostGone());
  if (decision.kind == Kind::fail || decision.kind == Kind::mixed) {
    const bool exists = decision.kind == Kind::mixed;
    deliver(decision,
            [completion, exists, e = error(decision.parameter)] { completion(exists, e); },
            nullptr);
  } else if (decision.kind == Kind::substitute) {
    deliver(decision, [completion] { completion(true, std::nullopt); }, nullptr);
  } else {
    relay(decision, nullptr, [&](Sink sink) {
      remote->createDirectory(relativeRemotePath,
                              [completion, sink](bool exists, std::optional<Error> e) {
                                sink([completion, exists, e] { completion(exists, e); });
                              });
      return true;
    });
  }
}

void ScriptedDelegate::deleteFile(const std::string& relativeRemotePath,
                                  std::function<void(bool, std::optional<Error>)> completion) {
  const Decision decision = decide("deleteFile", relativeRemotePath);
  auto remote = this->remote();
  if (!remote) return completion(false, hostGone());
  if (decision.kind == Kind::fail || decision.kind == Kind::mixed) {
    const bool deleted = decision.kind == Kind::mixed;
    deliver(decision,
            [completion, deleted, e = error(decision.parameter)] { completion(deleted, e); },
            nullptr);
  } else if (decision.kind == Kind::substitute) {
    deliver(decision, [completion] { completion(false, std::nullopt); }, nullptr);
  } else {
    relay(decision, nullptr, [&](Sink sink) {
      remote->deleteFile(relativeRemotePath,
                         [completion, sink](bool deleted, std::optional<Error> e) {
                           sink([completion, deleted, e] { completion(deleted, e); });
                         });
      return true;
    });
  }
}

void ScriptedDelegate::getDirectoryInfo(
    const std::string& relativeRemotePath,
    std::function<void(std::optional<Directory>, std::optional<Error>)> completion) {
  const Decision decision = decide("getDirectoryInfo", relativeRemotePath);
  auto remote = this->remote();
  if (!remote) return completion(std::nullopt, hostGone());
  if (decision.kind == Kind::fail) {
    deliver(decision, [completion, e = error(decision.parameter)] { completion(std::nullopt, e); },
            nullptr);
  } else if (decision.kind == Kind::mixed && !(decision.parameter & 1)) {
    deliver(decision, [completion] { completion(std::nullopt, std::nullopt); }, nullptr);
  } else {
    // A substitute listing is the real one with scripted members added, or instead of it; a
    // mixed one is the real listing together with an error.
    std::vector<Member> extra;
    const bool replace = decision.kind == Kind::substitute && (decision.parameter & 0x80);
    if (decision.kind == Kind::substitute) extra = scriptedMembers(decision.parameter);
    std::optional<Error> alsoError;
    if (decision.kind == Kind::mixed) alsoError = error(decision.parameter >> 1);
    relay(decision, nullptr, [&](Sink sink) {
      remote->getDirectoryInfo(
          relativeRemotePath, [completion, sink, extra, replace, alsoError](
                                  std::optional<Directory> listing, std::optional<Error> e) {
            if (!extra.empty() || replace) {
              if (!listing || replace) listing = Directory{};
              listing->members.insert(listing->members.end(), extra.begin(), extra.end());
            }
            if (alsoError) e = alsoError;
            sink([completion, listing, e] { completion(listing, e); });
          });
      return true;
    });
  }
}

void ScriptedDelegate::inflateZip(const std::string& remoteSrcPath,
                                  const std::string& remoteDstPath,
                                  std::function<void(std::optional<Error>)> completion) {
  const Decision decision = decide("inflateZip", remoteSrcPath);
  auto remote = this->remote();
  if (!remote) return completion(hostGone());
  if (decision.kind == Kind::fail) {
    deliver(decision, [completion, e = error(decision.parameter)] { completion(e); }, nullptr);
  } else if (decision.kind == Kind::mixed) {
    // Success without inflating anything.
    deliver(decision, [completion] { completion(std::nullopt); }, nullptr);
  } else {
    const std::optional<Error> failure =
        decision.kind == Kind::substitute ? std::optional(error(decision.parameter)) : std::nullopt;
    relay(decision, nullptr, [&](Sink sink) {
      remote->inflateZip(remoteSrcPath, remoteDstPath,
                         [completion, sink, failure](std::optional<Error> e) {
                           sink([completion, e = failure ? failure : e] { completion(e); });
                         });
      return true;
    });
  }
}

}  // namespace tessellon::fuzz
