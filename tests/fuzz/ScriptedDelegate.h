#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tessellon/BackupSDKDelegate.h"

#include "fuzz/DelayedQueue.h"
#include "fuzz/FuzzScript.h"
#include "fuzz/HostileAnswers.h"

namespace tessellon::fuzz {

// A host whose every answer the fuzz input decides. Each request reads one decision byte from the
// script (a well-behaved answer once the script is spent):
//   bits 0-2  what:   0, 7 the inner remote's answer; 1 an error; 2 a value and an error at once
//                     (or neither); 3 the answer twice; 4 no answer ever; 5 a substitute answer
//                     (a served or hostile download, a doctored listing, a lie); 6 the answer,
//                     then progress after it
//   bits 3-4  when:   0 as the inner remote answers (its thread) or at once for a scripted
//                     answer; 1 synchronously on the caller's thread; 2 later from this host's
//                     thread (bit 7: 20 ms, else 1 ms); 3 queued on this host's thread
//   bit 5     progress before the answer, with fractions a careful host never sends
//   bit 6     the facade is cancelled while the request runs
// Errors, substitutes and listings read a parameter byte (and more) after it.
// Requests may arrive on any thread. TESSELLON_FUZZ_TRACE=1 prints each request with its bytes.
// shutdown() ends every thread this host started.
class ScriptedDelegate final : public BackupSDKDelegate {
 public:
  using Paths = HostileAnswers::Paths;

  ScriptedDelegate(std::shared_ptr<BackupSDKDelegate> remote, std::shared_ptr<FuzzScript> script,
                   Paths paths, int64_t zipSize);
  ~ScriptedDelegate() override;

  ScriptedDelegate(const ScriptedDelegate&) = delete;
  ScriptedDelegate& operator=(const ScriptedDelegate&) = delete;

  // What a request scripted with bit 6 calls; an empty function disarms it, waiting for a call
  // in progress, so the facade may be destroyed afterwards.
  void onCancelRequest(std::function<void()> cancel);
  // Delivers the answers still due, drops those scripted never to come and lets the inner remote
  // go (joining its thread). Later requests fail at once.
  void shutdown();

  std::shared_ptr<CancellationDelegate> uploadFile(
      const std::string& localPath, const std::string& relativeRemotePath,
      std::function<void(const TransferProgress&)> progress,
      std::function<void(std::optional<Error>)> completion) override;
  std::shared_ptr<CancellationDelegate> downloadFile(
      const std::string& relativeRemotePath, std::function<void(const TransferProgress&)> progress,
      std::function<void(std::optional<std::string>, std::optional<BackupSDKError>)> completion)
      override;
  std::shared_ptr<CancellationDelegate> readFile(
      const std::string& relativeRemotePath, std::function<bool(const char*, size_t)> consume,
      std::function<void(std::optional<BackupSDKError>)> completion) override;
  void uploadFileIfAbsent(const std::string& localPath, const std::string& relativeRemotePath,
                          std::function<void(bool, std::optional<Error>)> completion) override;
  void createDirectory(const std::string& relativeRemotePath,
                       std::function<void(bool, std::optional<Error>)> completion) override;
  void deleteFile(const std::string& relativeRemotePath,
                  std::function<void(bool, std::optional<Error>)> completion) override;
  void getDirectoryInfo(
      const std::string& relativeRemotePath,
      std::function<void(std::optional<Directory>, std::optional<Error>)> completion) override;
  void inflateZip(const std::string& remoteSrcPath, const std::string& remoteDstPath,
                  std::function<void(std::optional<Error>)> completion) override;
  int64_t getZipSize() override { return zipSize_; }

 private:
  enum class Kind : uint8_t { forward, fail, mixed, twice, never, substitute, progressAfter };
  enum class Timing : uint8_t { asIs, synchronous, delayed, queued };
  struct Decision {
    Kind kind = Kind::forward;
    Timing timing = Timing::asIs;
    bool progressBefore = false;
    bool longDelay = false;
    uint8_t parameter = 0;
  };
  using Answer = std::function<void()>;
  using Progress = std::function<void(const TransferProgress&)>;
  using Sink = std::function<void(Answer)>;
  class Transfer;

  // Reads the request's decision (and runs a scripted cancel).
  Decision decide(const char* operation, const std::string& path);
  std::shared_ptr<BackupSDKDelegate> remote();
  // Answers as decided: held forever, now, or on this host's thread; twice, with progress.
  void deliver(const Decision& decision, Answer answer, Progress progress);
  // Asks the inner remote through `ask`, whose sink gets the inner answer as a closure; that is
  // delivered as decided, on this thread before returning when the answer is synchronous.
  // `ask` returns false when the inner remote will not answer.
  void relay(const Decision& decision, Progress progress, const std::function<bool(Sink)>& ask);
  using FlagCompletion = std::function<void(bool, std::optional<Error>)>;
  // A request answered with a flag and an error: a failure (the flag set too when mixed), the
  // flag `substitute` without an error, or the inner remote's answer through `forward`.
  void answerFlag(const Decision& decision, bool substitute, FlagCompletion completion,
                  const std::function<void(FlagCompletion)>& forward);

  const std::shared_ptr<FuzzScript> script_;
  HostileAnswers hostile_;
  const int64_t zipSize_;
  const bool trace_;  // TESSELLON_FUZZ_TRACE: each request and its decision on standard error
  std::mutex mutex_;
  std::shared_ptr<BackupSDKDelegate> remote_;
  std::vector<Answer> held_;
  std::recursive_mutex cancelMutex_;  // a cancel may lead to a request that cancels again
  std::function<void()> cancel_;
  DelayedQueue queue_;
};

}  // namespace tessellon::fuzz
