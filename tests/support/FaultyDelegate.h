#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tessellon/BackupSDKDelegate.h"

namespace tessellon {

// Wraps a real delegate and forwards every request to it, except where a test
// has armed a fault: a scripted answer (the inner delegate is then not asked),
// a failing N-th upload, or a delivery fault that changes how answers reach the
// caller (late, twice, never, on a foreign thread). Counts requests and
// cancellations so tests can tell whether the host was asked at all.
class FaultyDelegate final : public BackupSDKDelegate {
 public:
  enum class Delivery {
    asIs,           // when and where the inner delegate (or the script) answers
    foreignThread,  // on a fresh thread
    twice,          // the same answer two times
    late,           // held until deliverHeld()
    never,          // dropped
  };

 private:
  // Shared with the answers in flight, which may outlive the wrapper.
  struct State {
    mutable std::mutex mutex;
    std::condition_variable heldChanged;
    Delivery delivery = Delivery::asIs;
    std::map<std::string, int> calls;
    int uploads = 0;
    int cancels = 0;
    std::map<int, Error> failingUploads;
    std::optional<std::pair<std::optional<std::string>, std::optional<BackupSDKError>>>
        downloadAnswer;
    std::optional<std::pair<bool, std::optional<Error>>> createDirectoryAnswer;
    std::optional<std::pair<bool, std::optional<Error>>> deleteFileAnswer;
    std::optional<std::pair<std::optional<Directory>, std::optional<Error>>> directoryInfoAnswer;
    std::vector<std::function<void()>> held;
    std::vector<std::thread> threads;

    template <class F>
    auto locked(F&& f) {
      std::lock_guard lock(mutex);
      return f();
    }

    void deliver(std::function<void()> answer) {
      std::unique_lock lock(mutex);
      switch (delivery) {
        case Delivery::asIs:
          lock.unlock();
          answer();
          break;
        case Delivery::foreignThread:
          threads.emplace_back(std::move(answer));
          break;
        case Delivery::twice:
          lock.unlock();
          answer();
          answer();
          break;
        case Delivery::late:
          held.push_back(std::move(answer));
          heldChanged.notify_all();
          break;
        case Delivery::never:
          break;
      }
    }

    void joinThreads() {
      std::vector<std::thread> running;
      locked([&] { running.swap(threads); });
      for (auto& thread : running) thread.join();
    }
  };

  // The handle the caller gets: records cancel() and passes it on.
  class Handle final : public CancellationDelegate {
   public:
    Handle(std::shared_ptr<State> state, std::shared_ptr<CancellationDelegate> inner)
        : state_(std::move(state)), inner_(std::move(inner)) {}
    void cancel() override {
      state_->locked([&] { ++state_->cancels; });
      if (inner_) inner_->cancel();
    }

   private:
    std::shared_ptr<State> state_;
    std::shared_ptr<CancellationDelegate> inner_;
  };

 public:
  explicit FaultyDelegate(std::shared_ptr<BackupSDKDelegate> inner)
      : inner_(std::move(inner)), state_(std::make_shared<State>()) {}
  ~FaultyDelegate() override { state_->joinThreads(); }

  FaultyDelegate(const FaultyDelegate&) = delete;
  FaultyDelegate& operator=(const FaultyDelegate&) = delete;

  static Error insufficientStorage() {
    return Error{"FaultyDelegate", static_cast<int>(APIErrorCodes::InsufficientStorage),
                 "remote full"};
  }

  // ---- Faults; arm them before the requests they concern.
  void setDelivery(Delivery delivery) {
    state_->locked([&] { state_->delivery = delivery; });
  }
  // The n-th upload from now on (1-based) answers `error`; nothing reaches the remote.
  void failUpload(int n, Error error) {
    state_->locked([&] { state_->failingUploads[state_->uploads + n] = std::move(error); });
  }
  void answerDownloadWith(std::optional<std::string> path, std::optional<BackupSDKError> error) {
    state_->locked([&] { state_->downloadAnswer = std::make_pair(std::move(path), error); });
  }
  void answerCreateDirectoryWith(bool alreadyExists, std::optional<Error> error) {
    state_->locked(
        [&] { state_->createDirectoryAnswer = std::make_pair(alreadyExists, std::move(error)); });
  }
  void answerDeleteFileWith(bool deleted, std::optional<Error> error) {
    state_->locked([&] { state_->deleteFileAnswer = std::make_pair(deleted, std::move(error)); });
  }
  void answerDirectoryInfoWith(std::optional<Directory> directory, std::optional<Error> error) {
    state_->locked([&] {
      state_->directoryInfoAnswer = std::make_pair(std::move(directory), std::move(error));
    });
  }

  // ---- Observations.
  // Requests of one operation ("uploadFile", "downloadFile", ...) made so far.
  int calls(const std::string& operation) const {
    return state_->locked([&] { return state_->calls[operation]; });
  }
  // cancel() calls on the handles this delegate returned.
  int transferCancels() const {
    return state_->locked([&] { return state_->cancels; });
  }
  // Waits until `count` answers are held (Delivery::late); false after `timeout`.
  bool waitForHeld(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    std::unique_lock lock(state_->mutex);
    return state_->heldChanged.wait_for(lock, timeout,
                                        [&] { return state_->held.size() >= count; });
  }
  // Delivers the held answers on the calling thread, oldest first.
  void deliverHeld() {
    std::vector<std::function<void()>> held;
    state_->locked([&] { held.swap(state_->held); });
    for (auto& answer : held) answer();
  }

  // ---- BackupSDKDelegate.
  std::shared_ptr<CancellationDelegate> uploadFile(
      const std::string& localPath, const std::string& relativeRemotePath,
      std::function<void(const TransferProgress&)> progress,
      std::function<void(std::optional<Error>)> completion) override {
    std::optional<Error> failure;
    state_->locked([&] {
      ++state_->calls["uploadFile"];
      const int number = ++state_->uploads;
      if (auto armed = state_->failingUploads.find(number); armed != state_->failingUploads.end()) {
        failure = armed->second;
      }
    });
    auto answer = [state = state_, completion](std::optional<Error> error) {
      state->deliver([completion, error] { completion(error); });
    };
    if (failure) {
      answer(failure);
      return std::make_shared<Handle>(state_, nullptr);
    }
    return std::make_shared<Handle>(
        state_, inner_->uploadFile(localPath, relativeRemotePath, std::move(progress), answer));
  }

  std::shared_ptr<CancellationDelegate> downloadFile(
      const std::string& relativeRemotePath, std::function<void(const TransferProgress&)> progress,
      std::function<void(std::optional<std::string>, std::optional<BackupSDKError>)> completion)
      override {
    auto scripted = state_->locked([&] {
      ++state_->calls["downloadFile"];
      return state_->downloadAnswer;
    });
    auto answer = [state = state_, completion](std::optional<std::string> path,
                                               std::optional<BackupSDKError> error) {
      state->deliver([completion, path, error] { completion(path, error); });
    };
    if (scripted) {
      answer(scripted->first, scripted->second);
      return std::make_shared<Handle>(state_, nullptr);
    }
    return std::make_shared<Handle>(
        state_, inner_->downloadFile(relativeRemotePath, std::move(progress), answer));
  }

  void createDirectory(const std::string& relativeRemotePath,
                       std::function<void(bool, std::optional<Error>)> completion) override {
    forward("createDirectory", state_->createDirectoryAnswer, std::move(completion),
            [&](auto answer) { inner_->createDirectory(relativeRemotePath, answer); });
  }

  void deleteFile(const std::string& relativeRemotePath,
                  std::function<void(bool, std::optional<Error>)> completion) override {
    forward("deleteFile", state_->deleteFileAnswer, std::move(completion),
            [&](auto answer) { inner_->deleteFile(relativeRemotePath, answer); });
  }

  void getDirectoryInfo(
      const std::string& relativeRemotePath,
      std::function<void(std::optional<Directory>, std::optional<Error>)> completion) override {
    forward("getDirectoryInfo", state_->directoryInfoAnswer, std::move(completion),
            [&](auto answer) { inner_->getDirectoryInfo(relativeRemotePath, answer); });
  }

  void inflateZip(const std::string& remoteSrcPath, const std::string& remoteDstPath,
                  std::function<void(std::optional<Error>)> completion) override {
    state_->locked([&] { ++state_->calls["inflateZip"]; });
    inner_->inflateZip(remoteSrcPath, remoteDstPath,
                       [state = state_, completion](std::optional<Error> error) {
                         state->deliver([completion, error] { completion(error); });
                       });
  }

  int64_t getZipSize() override { return inner_->getZipSize(); }

 private:
  template <class Scripted, class... Args, class Ask>
  void forward(const std::string& operation, const std::optional<Scripted>& scriptSlot,
               std::function<void(Args...)> completion, Ask&& ask) {
    auto scripted = state_->locked([&] {
      ++state_->calls[operation];
      return scriptSlot;
    });
    std::function<void(Args...)> answer = [state = state_, completion](Args... args) {
      state->deliver([completion, args...] { completion(args...); });
    };
    if (scripted) {
      answer(scripted->first, scripted->second);
    } else {
      ask(answer);
    }
  }

  const std::shared_ptr<BackupSDKDelegate> inner_;
  const std::shared_ptr<State> state_;
};

}  // namespace tessellon
