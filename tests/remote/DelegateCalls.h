#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tessellon/BackupSDKDelegate.h"

#include "delegates/RemoteVersions.h"

namespace tessellon {

// An std::optional<Error> holding an error of this domain and code.
MATCHER_P2(IsError, domain, code,
           "is the error " + ::testing::PrintToString(domain) + " " +
               ::testing::PrintToString(code)) {
  *result_listener << "which is " << (arg ? describe(*arg) : std::string("no error"));
  return arg.has_value() && arg->domain == domain && arg->code == code;
}

// The first value of an answer that came (what Answer::wait returns) matches `inner`.
MATCHER_P(AnsweredWith, inner, "was answered with a matching value") {
  return arg.has_value() &&
         ::testing::ExplainMatchResult(inner, std::get<0>(*arg), result_listener);
}

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
  std::optional<Values> wait() const {
    std::unique_lock lock(state_->mutex);
    if (!state_->arrived.wait_for(lock, std::chrono::seconds(20),
                                  [&] { return !state_->answers.empty(); })) {
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

// Synchronous forms of the delegate's requests, remembered so a test can check afterwards that
// each was answered exactly once. A missing answer fails the test and reads as a failure.
class DelegateCalls {
 public:
  using Outcome = std::pair<bool, std::optional<Error>>;
  explicit DelegateCalls(std::shared_ptr<BackupSDKDelegate> delegate)
      : delegate_(std::move(delegate)) {}

  // Drops this helper's reference, so the owner can destroy the delegate.
  void release() { delegate_.reset(); }

  std::optional<Error> upload(const std::string& localPath, const std::string& remotePath,
                              std::vector<double>* fractions = nullptr) {
    auto mutex = std::make_shared<std::mutex>();
    auto progress = [fractions, mutex](const TransferProgress& reported) {
      std::lock_guard lock(*mutex);
      if (fractions) fractions->push_back(reported.fractionCompleted);
    };
    return std::get<0>(ask<std::optional<Error>>({timedOut()}, [&](auto done) {
      delegate_->uploadFile(localPath, remotePath, progress, done);
    }));
  }
  Outcome uploadIfAbsent(const std::string& localPath, const std::string& remotePath) {
    return pair(ask<bool, std::optional<Error>>({false, timedOut()}, [&](auto done) {
      delegate_->uploadFileIfAbsent(localPath, remotePath, done);
    }));
  }
  std::pair<std::optional<std::string>, std::optional<BackupSDKError>> download(
      const std::string& remotePath) {
    return pair(ask<std::optional<std::string>, std::optional<BackupSDKError>>(
        {std::nullopt, BackupSDKError::unknownError}, [&](auto done) {
          delegate_->downloadFile(
              remotePath, [](const TransferProgress&) {}, done);
        }));
  }
  // The bytes readFile streamed (none when it answered an error) and its error.
  std::pair<std::optional<std::string>, std::optional<BackupSDKError>> read(
      const std::string& remotePath) {
    auto bytes = std::make_shared<std::string>();
    const std::optional<BackupSDKError> error = std::get<0>(
        ask<std::optional<BackupSDKError>>({BackupSDKError::unknownError}, [&](auto done) {
          EXPECT_TRUE(delegate_->readFile(
              remotePath,
              [bytes](const char* data, size_t size) {
                bytes->append(data, size);
                return true;
              },
              done));
        }));
    if (error) return {std::nullopt, error};
    return {*bytes, std::nullopt};
  }
  Outcome createDirectory(const std::string& remotePath) {
    return pair(ask<bool, std::optional<Error>>(
        {false, timedOut()}, [&](auto done) { delegate_->createDirectory(remotePath, done); }));
  }
  Outcome deleteFile(const std::string& remotePath) {
    return pair(ask<bool, std::optional<Error>>(
        {false, timedOut()}, [&](auto done) { delegate_->deleteFile(remotePath, done); }));
  }
  std::pair<std::optional<Directory>, std::optional<Error>> list(const std::string& remotePath) {
    return pair(ask<std::optional<Directory>, std::optional<Error>>(
        {std::nullopt, timedOut()},
        [&](auto done) { delegate_->getDirectoryInfo(remotePath, done); }));
  }
  std::optional<Error> inflate(const std::string& source, const std::string& destination) {
    return std::get<0>(ask<std::optional<Error>>(
        {timedOut()}, [&](auto done) { delegate_->inflateZip(source, destination, done); }));
  }

  // Server-side copy and move, for delegates that offer them.
  using VersionsOutcome = std::pair<hosts::StoreAnswer, std::optional<Error>>;
  VersionsOutcome copy(const std::string& from, const std::string& to) {
    return versionsRequest(&hosts::RemoteVersions::copyFile, from, to);
  }
  VersionsOutcome move(const std::string& from, const std::string& to) {
    return versionsRequest(&hosts::RemoteVersions::moveFile, from, to);
  }

  // How many answers each request made so far has received.
  std::vector<size_t> answerCounts() const {
    std::vector<size_t> counts;
    for (const auto& count : counters_) counts.push_back(count());
    return counts;
  }

 private:
  static Error timedOut() { return Error{"test", -1, "no answer"}; }
  template <class A, class B>
  static std::pair<A, B> pair(std::tuple<A, B> values) {
    return {std::move(std::get<0>(values)), std::move(std::get<1>(values))};
  }
  template <class Request>
  VersionsOutcome versionsRequest(Request request, const std::string& from, const std::string& to) {
    const auto versions = std::dynamic_pointer_cast<hosts::RemoteVersions>(delegate_);
    if (!versions) {
      ADD_FAILURE() << "the delegate offers no copy or move";
      return {hosts::StoreAnswer::done, timedOut()};
    }
    return pair(ask<hosts::StoreAnswer, std::optional<Error>>(
        {hosts::StoreAnswer::done, timedOut()},
        [&](auto done) { ((*versions).*request)(from, to, done); }));
  }
  template <class... Args, class Issue>
  std::tuple<std::decay_t<Args>...> ask(std::tuple<std::decay_t<Args>...> fallback, Issue issue) {
    Answer<Args...> answer;
    counters_.push_back([answer] { return answer.count(); });
    issue(answer.callback());
    return answer.wait().value_or(std::move(fallback));
  }

  std::shared_ptr<BackupSDKDelegate> delegate_;
  std::vector<std::function<size_t()>> counters_;
};

}  // namespace tessellon
