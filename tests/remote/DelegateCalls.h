#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tessellon/BackupSDKDelegate.h"

namespace tessellon {

// Collects the answers of one delegate request, from any thread.
template <class... Args>
class Answer {
 public:
  using Values = std::tuple<std::decay_t<Args>...>;

  std::function<void(Args...)> callback() const {
    return [state = state_](Args... args) {
      std::lock_guard lock(state->mutex);
      state->answers.emplace_back(std::move(args)...);
      state->threads.push_back(std::this_thread::get_id());
      state->arrived.notify_all();
    };
  }

  // The first answer; nothing (and a test failure) when none comes in time.
  std::optional<Values> wait(std::chrono::milliseconds timeout = std::chrono::seconds(20)) const {
    std::unique_lock lock(state_->mutex);
    if (!state_->arrived.wait_for(lock, timeout, [&] { return !state_->answers.empty(); })) {
      ADD_FAILURE() << "the delegate did not answer in time";
      return std::nullopt;
    }
    return state_->answers.front();
  }

  size_t count() const {
    std::lock_guard lock(state_->mutex);
    return state_->answers.size();
  }
  std::thread::id thread() const {
    std::lock_guard lock(state_->mutex);
    return state_->threads.empty() ? std::thread::id() : state_->threads.front();
  }

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<Values> answers;
    std::vector<std::thread::id> threads;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

// Synchronous forms of the delegate's requests for tests. Remembers every
// request so a test can check afterwards that each was answered exactly once.
class DelegateCalls {
 public:
  explicit DelegateCalls(std::shared_ptr<BackupSDKDelegate> delegate)
      : delegate_(std::move(delegate)) {}

  BackupSDKDelegate& delegate() { return *delegate_; }
  // Drops this helper's reference, so the owner can destroy the delegate.
  void release() { delegate_.reset(); }

  // Stands for an answer that never came; the wait has failed the test already.
  static Error timedOut() { return Error{"test", -1, "no answer"}; }

  std::optional<Error> upload(const std::string& localPath, const std::string& remotePath,
                              std::vector<double>* fractions = nullptr) {
    Answer<std::optional<Error>> answer;
    remember(answer);
    auto progressMutex = std::make_shared<std::mutex>();
    delegate_->uploadFile(
        localPath, remotePath,
        [fractions, progressMutex](const TransferProgress& progress) {
          std::lock_guard lock(*progressMutex);
          if (fractions) fractions->push_back(progress.fractionCompleted);
        },
        answer.callback());
    auto values = answer.wait();
    return values ? std::get<0>(*values) : timedOut();
  }

  std::pair<std::optional<std::string>, std::optional<BackupSDKError>> download(
      const std::string& remotePath) {
    Answer<std::optional<std::string>, std::optional<BackupSDKError>> answer;
    remember(answer);
    delegate_->downloadFile(
        remotePath, [](const TransferProgress&) {}, answer.callback());
    auto values = answer.wait();
    if (!values) return {std::nullopt, BackupSDKError::unknownError};
    return {std::get<0>(*values), std::get<1>(*values)};
  }

  std::pair<bool, std::optional<Error>> createDirectory(const std::string& remotePath) {
    Answer<bool, std::optional<Error>> answer;
    remember(answer);
    delegate_->createDirectory(remotePath, answer.callback());
    auto values = answer.wait();
    if (!values) return {false, timedOut()};
    return {std::get<0>(*values), std::get<1>(*values)};
  }

  std::pair<bool, std::optional<Error>> deleteFile(const std::string& remotePath) {
    Answer<bool, std::optional<Error>> answer;
    remember(answer);
    delegate_->deleteFile(remotePath, answer.callback());
    auto values = answer.wait();
    if (!values) return {false, timedOut()};
    return {std::get<0>(*values), std::get<1>(*values)};
  }

  std::pair<std::optional<Directory>, std::optional<Error>> list(const std::string& remotePath) {
    Answer<std::optional<Directory>, std::optional<Error>> answer;
    remember(answer);
    delegate_->getDirectoryInfo(remotePath, answer.callback());
    auto values = answer.wait();
    if (!values) return {std::nullopt, timedOut()};
    return {std::get<0>(*values), std::get<1>(*values)};
  }

  std::optional<Error> inflate(const std::string& source, const std::string& destination) {
    Answer<std::optional<Error>> answer;
    remember(answer);
    delegate_->inflateZip(source, destination, answer.callback());
    auto values = answer.wait();
    return values ? std::get<0>(*values) : timedOut();
  }

  // How many answers each request made so far has received.
  std::vector<size_t> answerCounts() const {
    std::vector<size_t> counts;
    for (const auto& count : counters_) counts.push_back(count());
    return counts;
  }

 private:
  template <class A>
  void remember(const A& answer) {
    counters_.push_back([answer] { return answer.count(); });
  }

  std::shared_ptr<BackupSDKDelegate> delegate_;
  std::vector<std::function<size_t()>> counters_;
};

// Reproducible content: `size` bytes drawn from `seed`.
inline std::string randomBytes(size_t size, uint32_t seed) {
  std::mt19937 generator(seed);
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; i += 4) {
    const uint32_t word = generator();
    for (size_t k = 0; k < 4 && i + k < size; ++k)
      bytes[i + k] = static_cast<char>(word >> (8 * k));
  }
  return bytes;
}

}  // namespace tessellon
