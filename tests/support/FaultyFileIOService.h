#pragma once

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tessellon/Error.h"

#include "platform/files/FileIOServiceProtocol.h"

namespace tessellon {

// A file service that forwards to a real one, except where a test armed a
// fault: "fail the 2nd write with this error", "report the disk as full". It
// counts every call, so a test can also assert that a call was not made.
// Thread-safe: pipelines call it from pool threads.
class FaultyFileIOService final : public FileIOServiceProtocol {
 public:
  enum class Operation {
    write,
    read,
    moveForced,
    deleteItem,
    subpathsOfDirectorySave,
    createDirectoryFuture,
    exists,
    subpathsOfDirectory,
    attributesOfItem,
    isReadableFile,
    copyItem,
    moveItem,
    createDirectory,
    setAttributes,
    getTotalRemainingFreeSpaceInBytes,
  };

  explicit FaultyFileIOService(std::shared_ptr<FileIOServiceProtocol> real)
      : real_(std::move(real)) {}

  // The `nth` call of `operation` from now on (1 = the next one) fails with
  // `error`; the real service is not called for it. Operations without an error
  // result (exists, isReadableFile, subpathsOfDirectorySave) answer false or empty.
  void failNth(Operation operation, int nth, Error error) {
    std::lock_guard lock(mutex_);
    faults_[operation].push_back({calls_[operation] + nth, std::move(error)});
  }
  // Every later call of `operation` fails with `error`.
  void failAlways(Operation operation, Error error) {
    std::lock_guard lock(mutex_);
    always_[operation] = std::move(error);
  }
  // The free-space answer from now on: a number of bytes, or nothing for "unknown".
  void reportFreeSpace(std::optional<int64_t> bytes) {
    std::lock_guard lock(mutex_);
    freeSpace_.emplace(bytes);
  }
  // Writes from now on wait until releaseWrites(), so a test can keep one in flight.
  void holdWrites() {
    std::lock_guard lock(mutex_);
    held_ = true;
  }
  void releaseWrites() {
    {
      std::lock_guard lock(mutex_);
      held_ = false;
    }
    released_.notify_all();
  }
  // Forgets every armed fault and the free-space answer.
  void heal() {
    std::lock_guard lock(mutex_);
    faults_.clear();
    always_.clear();
    freeSpace_.reset();
  }
  int calls(Operation operation) const {
    std::lock_guard lock(mutex_);
    auto found = calls_.find(operation);
    return found == calls_.end() ? 0 : found->second;
  }

  Future<Void> write(const std::string& path, const std::string& content) override {
    {
      std::unique_lock lock(mutex_);
      released_.wait(lock, [this] { return !held_; });
    }
    if (auto error = fault(Operation::write)) return Future<Void>::fail(*error);
    return real_->write(path, content);
  }
  Future<std::string> read(const std::string& path) override {
    if (auto error = fault(Operation::read)) return Future<std::string>::fail(*error);
    return real_->read(path);
  }
  Future<Void> moveForced(const std::string& source, const std::string& targetPath) override {
    if (auto error = fault(Operation::moveForced)) return Future<Void>::fail(*error);
    return real_->moveForced(source, targetPath);
  }
  Future<Void> deleteItem(const std::string& path) override {
    if (auto error = fault(Operation::deleteItem)) return Future<Void>::fail(*error);
    return real_->deleteItem(path);
  }
  std::vector<std::string> subpathsOfDirectorySave(const std::string& path) override {
    if (fault(Operation::subpathsOfDirectorySave)) return {};
    return real_->subpathsOfDirectorySave(path);
  }
  Future<Void> createDirectory(const std::string& path) override {
    if (auto error = fault(Operation::createDirectoryFuture)) return Future<Void>::fail(*error);
    return real_->createDirectory(path);
  }
  bool exists(const std::string& path) override {
    if (fault(Operation::exists)) return false;
    return real_->exists(path);
  }
  Result<std::vector<std::string>> subpathsOfDirectory(const std::string& path) override {
    if (auto error = fault(Operation::subpathsOfDirectory)) return *error;
    return real_->subpathsOfDirectory(path);
  }
  Result<FileAttributes> attributesOfItem(const std::string& path) override {
    if (auto error = fault(Operation::attributesOfItem)) return *error;
    return real_->attributesOfItem(path);
  }
  bool isReadableFile(const std::string& path) override {
    if (fault(Operation::isReadableFile)) return false;
    return real_->isReadableFile(path);
  }
  Result<void> copyItem(const std::string& source, const std::string& destiny) override {
    if (auto error = fault(Operation::copyItem)) return *error;
    return real_->copyItem(source, destiny);
  }
  Result<void> moveItem(const std::string& source, const std::string& destiny) override {
    if (auto error = fault(Operation::moveItem)) return *error;
    return real_->moveItem(source, destiny);
  }
  Result<void> createDirectory(const std::string& path, bool withIntermediateDirectories) override {
    if (auto error = fault(Operation::createDirectory)) return *error;
    return real_->createDirectory(path, withIntermediateDirectories);
  }
  Result<void> setAttributes(const FileAttributeChanges& attributes,
                             const std::string& ofItemAtPath) override {
    if (auto error = fault(Operation::setAttributes)) return *error;
    return real_->setAttributes(attributes, ofItemAtPath);
  }
  std::optional<int64_t> getTotalRemainingFreeSpaceInBytes() override {
    {
      std::lock_guard lock(mutex_);
      ++calls_[Operation::getTotalRemainingFreeSpaceInBytes];
      if (freeSpace_) return *freeSpace_;
    }
    return real_->getTotalRemainingFreeSpaceInBytes();
  }

 private:
  struct Fault {
    int atCall;
    Error error;
  };

  // Counts the call and returns the error armed for it, if any.
  std::optional<Error> fault(Operation operation) {
    std::lock_guard lock(mutex_);
    const int call = ++calls_[operation];
    if (auto always = always_.find(operation); always != always_.end()) return always->second;
    auto& armed = faults_[operation];
    for (auto it = armed.begin(); it != armed.end(); ++it) {
      if (it->atCall == call) {
        Error error = std::move(it->error);
        armed.erase(it);
        return error;
      }
    }
    return std::nullopt;
  }

  const std::shared_ptr<FileIOServiceProtocol> real_;
  mutable std::mutex mutex_;
  std::map<Operation, int> calls_;
  std::map<Operation, std::vector<Fault>> faults_;
  std::map<Operation, Error> always_;
  std::optional<std::optional<int64_t>> freeSpace_;  // set: the armed answer
  bool held_ = false;
  std::condition_variable released_;
};

}  // namespace tessellon
