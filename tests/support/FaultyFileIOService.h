#pragma once

#include <chrono>
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

// Forwards to a real file service, failing the calls a test armed and counting those it can fail.
// Thread-safe: pipelines use pool threads.
class FaultyFileIOService final : public FileIOServiceProtocol {
 public:
  enum class Operation {
    write,
    read,
    attributesOfItem,
    getTotalRemainingFreeSpaceInBytes,
    syncFileSystem
  };

  explicit FaultyFileIOService(std::shared_ptr<FileIOServiceProtocol> real)
      : real_(std::move(real)) {}

  // The `nth` call of `operation` from now on (1 = the next one) fails with `error`, unforwarded.
  void failNth(Operation operation, int nth, Error error) {
    std::lock_guard lock(mutex_);
    faults_[{operation, calls_[operation] + nth}] = std::move(error);
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
  // Moves from now on wait until releaseMoves().
  void holdMoves() {
    std::lock_guard lock(mutex_);
    movesHeld_ = true;
  }
  void releaseMoves() {
    {
      std::lock_guard lock(mutex_);
      movesHeld_ = false;
    }
    released_.notify_all();
  }
  // Moves from now on come in pairs: each odd one waits, at most `patience`, for the next to
  // arrive, so two placements that may run side by side do.
  void pairMoves(std::chrono::milliseconds patience) {
    std::lock_guard lock(mutex_);
    movePatience_ = patience;
  }
  // From now on the listing of `folder` (relative to the folder listed) fails with `errnoValue`:
  // it is handed over with the error and without its entries, as the real walk does.
  void failListing(std::string folder, int errnoValue) {
    std::lock_guard lock(mutex_);
    listingFault_ = {std::move(folder), errnoValue};
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
  Result<FileAttributes> attributesOfItem(const std::string& path) override {
    if (auto error = fault(Operation::attributesOfItem)) return *error;
    return real_->attributesOfItem(path);
  }
  // Without an armed listing fault, the plain listing the protocol gives (no attributes).
  Result<void> visitSubpathsWithAttributes(
      const std::string& path, const std::function<bool(ListedItem&&)>& visit) override {
    std::optional<std::pair<std::string, int>> fault;
    {
      std::lock_guard lock(mutex_);
      fault = listingFault_;
    }
    return FileIOServiceProtocol::visitSubpathsWithAttributes(path, [&](ListedItem&& item) {
      if (fault && item.relative.starts_with(fault->first + "/")) return true;
      if (fault && item.relative == fault->first) item.listingError = fault->second;
      return visit(std::move(item));
    });
  }
  std::optional<int64_t> getTotalRemainingFreeSpaceInBytes() override {
    {
      std::lock_guard lock(mutex_);
      ++calls_[Operation::getTotalRemainingFreeSpaceInBytes];
      if (freeSpace_) return *freeSpace_;
    }
    return real_->getTotalRemainingFreeSpaceInBytes();
  }

  Future<Void> moveForced(const std::string& source, const std::string& target) override {
    return real_->moveForced(source, target);
  }
  Future<Void> deleteItem(const std::string& path) override { return real_->deleteItem(path); }
  std::vector<std::string> subpathsOfDirectorySave(const std::string& path) override {
    return real_->subpathsOfDirectorySave(path);
  }
  Future<Void> createDirectory(const std::string& path) override {
    return real_->createDirectory(path);
  }
  bool exists(const std::string& path) override { return real_->exists(path); }
  Result<std::vector<std::string>> subpathsOfDirectory(const std::string& path) override {
    return real_->subpathsOfDirectory(path);
  }
  bool isReadableFile(const std::string& path) override { return real_->isReadableFile(path); }
  Result<void> copyItem(const std::string& source, const std::string& target) override {
    return real_->copyItem(source, target);
  }
  Result<void> moveItem(const std::string& source, const std::string& target) override {
    {
      std::unique_lock lock(mutex_);
      released_.wait(lock, [this] { return !movesHeld_; });
      if (movePatience_) {
        const int arrived = ++moves_;
        released_.notify_all();
        released_.wait_for(lock, *movePatience_,
                           [&] { return arrived % 2 == 0 || moves_ > arrived; });
      }
    }
    return real_->moveItem(source, target);
  }
  Result<void> createDirectory(const std::string& path, bool intermediate) override {
    return real_->createDirectory(path, intermediate);
  }
  Result<void> setAttributes(const FileAttributeChanges& changes,
                             const std::string& path) override {
    return real_->setAttributes(changes, path);
  }
  Result<std::string> contentChecksum(const std::string& path) override {
    return real_->contentChecksum(path);
  }
  Result<void> syncFileSystem(const std::string& path) override {
    if (auto error = fault(Operation::syncFileSystem)) return *error;
    return real_->syncFileSystem(path);
  }

 private:
  // Counts the call and returns the error armed for it, if any.
  std::optional<Error> fault(Operation operation) {
    std::lock_guard lock(mutex_);
    auto armed = faults_.find({operation, ++calls_[operation]});
    if (armed == faults_.end()) return std::nullopt;
    Error error = std::move(armed->second);
    faults_.erase(armed);
    return error;
  }

  const std::shared_ptr<FileIOServiceProtocol> real_;
  mutable std::mutex mutex_;
  std::map<Operation, int> calls_;
  std::map<std::pair<Operation, int>, Error> faults_;
  std::optional<std::optional<int64_t>> freeSpace_;  // set: the armed answer
  std::optional<std::pair<std::string, int>> listingFault_;
  bool held_ = false;
  bool movesHeld_ = false;
  std::optional<std::chrono::milliseconds> movePatience_;
  int moves_ = 0;
  std::condition_variable released_;
};

}  // namespace tessellon
