#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tessellon/ForwardingDelegate.h"

#include "simulation/FaultPlan.h"
#include "simulation/Invariants.h"

namespace tessellon::simulation {

// The remote of a simulated run: forwards to a folder-backed remote, except where the armed
// FaultPlan says otherwise, and checks the stored record around the requests that could break
// it (each deletion and inflation, and the record an inflation leaves). Requests arrive on the
// library's threads; the hooks run on the requesting thread, before the request is forwarded.
class FaultPlanDelegate final : public ForwardingDelegate {
 public:
  struct Hooks {
    std::function<void()> cancel;         // Fault::cancel and Fault::abandon
    std::function<void()> listBackups;    // Fault::listingBeside
    std::function<void()> concurrentRun;  // Fault::concurrentRun; returns when that run ended
    // Change: the local archive about to be uploaded.
    std::function<void(const std::string& archive)> changeFile;
  };

  FaultPlanDelegate(std::shared_ptr<BackupSDKDelegate> inner, std::string remoteRoot,
                    std::shared_ptr<Invariants> invariants);
  // Waits for the requests that land late.
  ~FaultPlanDelegate() override;
  FaultPlanDelegate(const FaultPlanDelegate&) = delete;
  FaultPlanDelegate& operator=(const FaultPlanDelegate&) = delete;

  // Arms the faults of the next run; counting starts again. `when` prefixes violations.
  void arm(const FaultPlan& plan, int64_t zipSize, Hooks hooks, std::string when);
  // The host goes away: every request held while it was silent, and every later one, is
  // answered with a lost connection.
  void hangUp();
  // Waits until the requests that land late have landed and been answered; true when there were
  // any.
  bool settle();
  // The listing beside the run completed: a download answer waiting for it goes out.
  void listingEnded();
  // Fault::documentUnavailable: the run asked for the document, and was refused.
  bool documentRefused();

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
  void createDirectory(const std::string& relativeRemotePath,
                       std::function<void(bool, std::optional<Error>)> completion) override;
  void deleteFile(const std::string& relativeRemotePath,
                  std::function<void(bool, std::optional<Error>)> completion) override;
  void getDirectoryInfo(
      const std::string& relativeRemotePath,
      std::function<void(std::optional<Directory>, std::optional<Error>)> completion) override;
  void inflateZip(const std::string& remoteSrcPath, const std::string& remoteDstPath,
                  std::function<void(std::optional<Error>)> completion) override;
  int64_t getZipSize() override;

 private:
  enum class Verdict { forward, fail, hold };
  struct Admission {
    Verdict verdict = Verdict::forward;
    FaultPlan::Fault fault = FaultPlan::Fault::none;
    std::string when;
    int lateMs = 0;  // forwarded only this much later, on a thread of its own
  };

  // Fault::listingBeside: the run's first download answer waits for the listing's download
  // answer (or the listing's end), so both files land in the download folder together.
  class AnswerPair {
   public:
    void hold(std::function<void()> answer);
    void release();

   private:
    std::mutex mutex_;
    bool released_ = false;
    std::function<void()> held_;
  };

  // Counts the request, runs the hooks it triggers and says what becomes of it.
  Admission admit(const std::string& operation, const std::string& path);
  // The error a refused request answers.
  static Error failure(const Admission& admission);
  // FaultPlan::answersTwice: the completion, called two times per answer.
  bool answersTwice();
  template <class... Args>
  std::function<void(Args...)> twice(std::function<void(Args...)> completion) {
    if (!answersTwice()) return completion;
    return [completion = std::move(completion)](Args... args) {
      completion(args...);
      completion(args...);
    };
  }
  // Forwards an admitted request: at once, or late on a thread of its own. A late one that
  // changes `written` must find the folder still held by the run that sent it.
  void forward(const Admission& admission, std::function<void()> call,
               const std::string& written = "");
  // Answers a failed request at once, a held one when the host hangs up.
  void refuse(Verdict verdict, std::function<void()> answer);
  // Fault plan's Change: runs the hook before the changeAt-th archive of media goes up.
  void changeBefore(const std::string& archive);
  std::string deviceFolder(const std::string& relativeRemotePath) const;

  const std::string remoteRoot_;
  const std::shared_ptr<Invariants> invariants_;
  const bool trace_;  // TESSELLON_SIM_TRACE: every request on standard error
  std::mutex mutex_;
  FaultPlan plan_;
  Hooks hooks_;
  std::string when_;
  int64_t zipSize_ = 0;
  int requests_ = 0;
  std::map<std::string, int> calls_;
  int mediaUploads_ = 0;
  int downloads_ = 0;
  bool documentRefused_ = false;
  std::shared_ptr<AnswerPair> pair_ = std::make_shared<AnswerPair>();
  bool silent_ = false;
  bool gone_ = false;
  std::vector<std::function<void()>> held_;
  std::vector<std::thread> late_;
};

}  // namespace tessellon::simulation
