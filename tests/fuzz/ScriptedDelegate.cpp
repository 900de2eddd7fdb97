#include "fuzz/ScriptedDelegate.h"

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace tessellon::fuzz {
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
                                   std::shared_ptr<FuzzScript> script, Paths paths, int64_t zipSize)
    : script_(std::move(script)),
      hostile_(script_, std::move(paths)),
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

ScriptedDelegate::Decision ScriptedDelegate::decide(const char* operation,
                                                    const std::string& path) {
  Decision decision;
  bool cancel = false;
  {
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
    ask([this, decision, progress](Answer answer) {
      deliver(decision, std::move(answer), progress);
    });
    return;
  }
  auto slot = std::make_shared<AnswerSlot>();
  if (!ask([slot](Answer answer) { slot->put(std::move(answer)); })) return;
  if (Answer answer = slot->take()) deliver(decision, std::move(answer), std::move(progress));
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
    deliver(
        decision, [completion, e = HostileAnswers::error(decision.parameter)] { completion(e); },
        progress);
  } else if (decision.kind == Kind::mixed) {
    // Success without a byte stored.
    deliver(
        decision, [completion] { completion(std::nullopt); }, progress);
  } else {
    // A substitute stores the file, then says it failed.
    const std::optional<Error> failure =
        decision.kind == Kind::substitute ? std::optional(HostileAnswers::error(decision.parameter))
                                          : std::nullopt;
    relay(decision, progress, [&](Sink sink) {
      transfer->attach(
          remote->uploadFile(localPath, relativeRemotePath, progress,
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
    deliver(
        decision,
        [completion, e = HostileAnswers::downloadError(decision.parameter)] {
          completion(std::nullopt, e);
        },
        progress);
  } else if (decision.kind == Kind::mixed && !(decision.parameter & 1)) {
    deliver(
        decision, [completion] { completion(std::nullopt, std::nullopt); }, progress);
  } else if (decision.kind == Kind::substitute) {
    deliver(
        decision,
        [completion, path = hostile_.download(decision.parameter)] {
          completion(path, std::nullopt);
        },
        progress);
  } else {
    // A mixed answer here is the file together with an error.
    const bool withError = decision.kind == Kind::mixed;
    const BackupSDKError alsoError = HostileAnswers::downloadError(decision.parameter >> 1);
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
    deliver(
        decision,
        [completion, e = HostileAnswers::downloadError(decision.parameter)] { completion(e); },
        nullptr);
  } else if (decision.kind == Kind::substitute) {
    const std::string content = hostile_.streamed();
    deliver(
        decision,
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

void ScriptedDelegate::answerFlag(const Decision& decision, bool substitute,
                                  FlagCompletion completion,
                                  const std::function<void(FlagCompletion)>& forward) {
  if (decision.kind == Kind::fail || decision.kind == Kind::mixed) {
    const bool flag = decision.kind == Kind::mixed;
    deliver(
        decision,
        [completion, flag, e = HostileAnswers::error(decision.parameter)] { completion(flag, e); },
        nullptr);
  } else if (decision.kind == Kind::substitute) {
    // "Something is there already" (or was deleted, or made), though nothing is.
    deliver(
        decision, [completion, substitute] { completion(substitute, std::nullopt); }, nullptr);
  } else {
    relay(decision, nullptr, [&](Sink sink) {
      forward([completion, sink](bool flag, std::optional<Error> e) {
        sink([completion, flag, e] { completion(flag, e); });
      });
      return true;
    });
  }
}

void ScriptedDelegate::uploadFileIfAbsent(const std::string& localPath,
                                          const std::string& relativeRemotePath,
                                          FlagCompletion completion) {
  const Decision decision = decide("uploadFileIfAbsent", relativeRemotePath);
  auto remote = this->remote();
  if (!remote) return completion(false, hostGone());
  answerFlag(decision, false, std::move(completion), [&](FlagCompletion inner) {
    remote->uploadFileIfAbsent(localPath, relativeRemotePath, std::move(inner));
  });
}

void ScriptedDelegate::createDirectory(const std::string& relativeRemotePath,
                                       FlagCompletion completion) {
  const Decision decision = decide("createDirectory", relativeRemotePath);
  auto remote = this->remote();
  if (!remote) return completion(false, hostGone());
  answerFlag(decision, true, std::move(completion), [&](FlagCompletion inner) {
    remote->createDirectory(relativeRemotePath, std::move(inner));
  });
}

void ScriptedDelegate::deleteFile(const std::string& relativeRemotePath,
                                  FlagCompletion completion) {
  const Decision decision = decide("deleteFile", relativeRemotePath);
  auto remote = this->remote();
  if (!remote) return completion(false, hostGone());
  answerFlag(decision, false, std::move(completion), [&](FlagCompletion inner) {
    remote->deleteFile(relativeRemotePath, std::move(inner));
  });
}

void ScriptedDelegate::getDirectoryInfo(
    const std::string& relativeRemotePath,
    std::function<void(std::optional<Directory>, std::optional<Error>)> completion) {
  const Decision decision = decide("getDirectoryInfo", relativeRemotePath);
  auto remote = this->remote();
  if (!remote) return completion(std::nullopt, hostGone());
  if (decision.kind == Kind::fail) {
    deliver(
        decision,
        [completion, e = HostileAnswers::error(decision.parameter)] {
          completion(std::nullopt, e);
        },
        nullptr);
  } else if (decision.kind == Kind::mixed && !(decision.parameter & 1)) {
    deliver(
        decision, [completion] { completion(std::nullopt, std::nullopt); }, nullptr);
  } else {
    // A substitute listing is the real one with scripted members added, or instead of it; a
    // mixed one is the real listing together with an error.
    std::vector<Member> extra;
    const bool replace = decision.kind == Kind::substitute && (decision.parameter & 0x80);
    if (decision.kind == Kind::substitute) extra = hostile_.members(decision.parameter);
    std::optional<Error> alsoError;
    if (decision.kind == Kind::mixed) alsoError = HostileAnswers::error(decision.parameter >> 1);
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
    deliver(
        decision, [completion, e = HostileAnswers::error(decision.parameter)] { completion(e); },
        nullptr);
  } else if (decision.kind == Kind::mixed) {
    // Success without inflating anything.
    deliver(
        decision, [completion] { completion(std::nullopt); }, nullptr);
  } else {
    const std::optional<Error> failure =
        decision.kind == Kind::substitute ? std::optional(HostileAnswers::error(decision.parameter))
                                          : std::nullopt;
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
