#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tessellon/ForwardingDelegate.h"

namespace tessellon {

// Forwards to a real delegate except where a test armed a fault (a scripted answer, a failing n-th
// upload, late or double answers); counts requests so tests can tell whether the host was asked.
class FaultyDelegate final : public ForwardingDelegate {
 public:
  enum class Delivery {
    asIs,   // when and where the inner delegate (or the script) answers
    twice,  // the same answer two times
    late,   // held until deliverHeld()
  };

 private:
  template <class A, class B>
  using Script = std::optional<std::pair<A, B>>;

  // Shared with the answers in flight, which may outlive the wrapper.
  struct State {
    std::mutex mutex;
    std::condition_variable heldChanged;
    Delivery delivery = Delivery::asIs;
    std::map<std::string, int> calls;
    int uploads = 0;
    int cancels = 0;
    std::map<int, Error> failingUploads;
    Script<std::optional<std::string>, std::optional<BackupSDKError>> download;
    Script<bool, std::optional<Error>> uploadFileIfAbsent, createDirectory, deleteFile;
    Script<std::optional<Directory>, std::optional<Error>> directoryInfo;
    std::vector<std::function<void()>> held;
    bool streams = true;
    std::optional<std::string> filelessFolder;  // listings of folders ending so lack their files
    std::function<void(const std::string&, const std::string&)> beforeRequest;

    template <class F>
    auto locked(F&& f) {
      std::lock_guard lock(mutex);
      return f();
    }

    void deliver(std::function<void()> answer) {
      std::unique_lock lock(mutex);
      if (delivery == Delivery::late) {
        held.push_back(std::move(answer));
        heldChanged.notify_all();
      } else {
        const bool twice = delivery == Delivery::twice;
        lock.unlock();
        answer();
        if (twice) answer();
      }
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
      : ForwardingDelegate(std::move(inner)), state_(std::make_shared<State>()) {}

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
    state_->locked([&] { state_->download.emplace(std::move(path), error); });
  }
  void answerUploadFileIfAbsentWith(bool created, std::optional<Error> error) {
    state_->locked([&] { state_->uploadFileIfAbsent.emplace(created, std::move(error)); });
  }
  void answerCreateDirectoryWith(bool alreadyExists, std::optional<Error> error) {
    state_->locked([&] { state_->createDirectory.emplace(alreadyExists, std::move(error)); });
  }
  void answerDeleteFileWith(bool deleted, std::optional<Error> error) {
    state_->locked([&] { state_->deleteFile.emplace(deleted, std::move(error)); });
  }
  void answerDirectoryInfoWith(std::optional<Directory> directory, std::optional<Error> error) {
    state_->locked([&] { state_->directoryInfo.emplace(std::move(directory), std::move(error)); });
  }

  // Listings of a folder whose path ends in `suffix` ("/images") answer without its files, as a
  // host whose listing lost its pages does.
  void listWithoutFiles(std::string suffix) {
    state_->locked([&] { state_->filelessFolder = std::move(suffix); });
  }
  // Runs `hook` with the operation ("getDirectoryInfo" or "downloadFile") and the path of each
  // listing and download before it is asked for: what another party changes between requests.
  void beforeRequest(std::function<void(const std::string&, const std::string&)> hook) {
    state_->locked([&] { state_->beforeRequest = std::move(hook); });
  }
  // readFile answers as a host that cannot stream does: the library downloads instead.
  void withoutStreaming() {
    state_->locked([&] { state_->streams = false; });
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
    auto failure = state_->locked([&]() -> std::optional<Error> {
      ++state_->calls["uploadFile"];
      auto armed = state_->failingUploads.find(++state_->uploads);
      return armed == state_->failingUploads.end() ? std::nullopt : std::optional(armed->second);
    });
    auto answer = delivering(std::move(completion));
    if (failure) {
      answer(failure);
      return std::make_shared<Handle>(state_, nullptr);
    }
    return std::make_shared<Handle>(
        state_,
        ForwardingDelegate::uploadFile(localPath, relativeRemotePath, std::move(progress), answer));
  }

  std::shared_ptr<CancellationDelegate> downloadFile(
      const std::string& relativeRemotePath, std::function<void(const TransferProgress&)> progress,
      std::function<void(std::optional<std::string>, std::optional<BackupSDKError>)> completion)
      override {
    if (const auto hook = state_->locked([&] { return state_->beforeRequest; })) {
      hook("downloadFile", relativeRemotePath);
    }
    std::shared_ptr<CancellationDelegate> inner;
    forward("downloadFile", state_->download, std::move(completion), [&](auto answer) {
      inner = ForwardingDelegate::downloadFile(relativeRemotePath, std::move(progress), answer);
    });
    return std::make_shared<Handle>(state_, inner);
  }

  std::shared_ptr<CancellationDelegate> readFile(
      const std::string& relativeRemotePath, std::function<bool(const char*, size_t)> consume,
      std::function<void(std::optional<BackupSDKError>)> completion) override {
    const bool streams = state_->locked([&] {
      ++state_->calls["readFile"];
      return state_->streams;
    });
    if (!streams) return nullptr;
    auto inner = ForwardingDelegate::readFile(relativeRemotePath, std::move(consume),
                                              delivering(std::move(completion)));
    return inner ? std::make_shared<Handle>(state_, inner) : nullptr;
  }

  void uploadFileIfAbsent(const std::string& localPath, const std::string& relativeRemotePath,
                          std::function<void(bool, std::optional<Error>)> completion) override {
    forward("uploadFileIfAbsent", state_->uploadFileIfAbsent, std::move(completion),
            [&](auto answer) {
              ForwardingDelegate::uploadFileIfAbsent(localPath, relativeRemotePath, answer);
            });
  }

  void createDirectory(const std::string& relativeRemotePath,
                       std::function<void(bool, std::optional<Error>)> completion) override {
    forward("createDirectory", state_->createDirectory, std::move(completion),
            [&](auto answer) { ForwardingDelegate::createDirectory(relativeRemotePath, answer); });
  }

  void deleteFile(const std::string& relativeRemotePath,
                  std::function<void(bool, std::optional<Error>)> completion) override {
    forward("deleteFile", state_->deleteFile, std::move(completion),
            [&](auto answer) { ForwardingDelegate::deleteFile(relativeRemotePath, answer); });
  }

  void getDirectoryInfo(
      const std::string& relativeRemotePath,
      std::function<void(std::optional<Directory>, std::optional<Error>)> completion) override {
    const auto [fileless, hook] =
        state_->locked([&] { return std::pair(state_->filelessFolder, state_->beforeRequest); });
    if (hook) hook("getDirectoryInfo", relativeRemotePath);
    if (fileless && relativeRemotePath.ends_with(*fileless)) {
      completion = [completion](std::optional<Directory> listing, std::optional<Error> error) {
        if (listing) {
          std::erase_if(listing->members,
                        [](const Member& member) { return member.type == MemberType::file; });
        }
        completion(std::move(listing), std::move(error));
      };
    }
    forward("getDirectoryInfo", state_->directoryInfo, std::move(completion),
            [&](auto answer) { ForwardingDelegate::getDirectoryInfo(relativeRemotePath, answer); });
  }

  void inflateZip(const std::string& remoteSrcPath, const std::string& remoteDstPath,
                  std::function<void(std::optional<Error>)> completion) override {
    state_->locked([&] { ++state_->calls["inflateZip"]; });
    ForwardingDelegate::inflateZip(remoteSrcPath, remoteDstPath, delivering(std::move(completion)));
  }

 private:
  // The completion, passed through the armed delivery.
  template <class... Args>
  std::function<void(Args...)> delivering(std::function<void(Args...)> completion) {
    return [state = state_, completion = std::move(completion)](Args... args) {
      state->deliver([completion, args...] { completion(args...); });
    };
  }

  template <class A, class B, class Ask>
  void forward(const std::string& operation, const Script<A, B>& script,
               std::function<void(A, B)> completion, Ask&& ask) {
    auto scripted = state_->locked([&] {
      ++state_->calls[operation];
      return script;
    });
    auto answer = delivering(std::move(completion));
    if (scripted) {
      answer(scripted->first, scripted->second);
    } else {
      ask(answer);
    }
  }

  const std::shared_ptr<State> state_;
};

}  // namespace tessellon
