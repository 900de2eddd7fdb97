#include "sdk/BackupSDKState.h"

#include <mutex>

#include "tessellon/BackupSDKError.h"

namespace tessellon {
namespace {

struct State {
  std::mutex mutex;
  bool isRunning = false;
  bool isCanceling = false;
  bool isCancelingGetAllAvailableBackups = false;
  std::shared_ptr<CancelToken> currentAction;
  std::shared_ptr<CancelToken> cancelTokenForGetAllAvailableBackups;
};

State& state() {
  static auto* instance = new State();
  return *instance;
}

}  // namespace

Result<std::shared_ptr<CancelToken>> BackupSDKState::startOperation(
    const std::optional<Error>& refusal) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  if (s.isCanceling) return makeError(BackupSDKError::isCanceling);
  if (s.isRunning) return makeError(BackupSDKError::isAlreadyRunning);
  if (refusal) return *refusal;
  s.isRunning = true;
  s.currentAction = std::make_shared<CancelToken>();
  return s.currentAction;
}

void BackupSDKState::finishOperation(const std::shared_ptr<CancelToken>& token) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  if (s.currentAction != token) return;
  s.isRunning = false;
  s.isCanceling = false;
  s.currentAction.reset();
}

Result<std::shared_ptr<CancelToken>> BackupSDKState::startListing() {
  State& s = state();
  std::lock_guard lock(s.mutex);
  if (s.isCancelingGetAllAvailableBackups) return makeError(BackupSDKError::isCanceling);
  s.cancelTokenForGetAllAvailableBackups = std::make_shared<CancelToken>();
  return s.cancelTokenForGetAllAvailableBackups;
}

void BackupSDKState::finishListing(const std::shared_ptr<CancelToken>& token) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  // An older listing finishing must not drop the token of a newer one.
  if (s.cancelTokenForGetAllAvailableBackups != token) return;
  s.isCancelingGetAllAvailableBackups = false;
  s.cancelTokenForGetAllAvailableBackups.reset();
}

std::shared_ptr<CancelToken> BackupSDKState::beginCancelingCurrentAction() {
  State& s = state();
  std::lock_guard lock(s.mutex);
  if (!s.currentAction || s.isCanceling) return nullptr;
  s.isCanceling = true;
  return s.currentAction;
}

std::shared_ptr<CancelToken> BackupSDKState::beginCancelingListing() {
  State& s = state();
  std::lock_guard lock(s.mutex);
  if (!s.cancelTokenForGetAllAvailableBackups || s.isCancelingGetAllAvailableBackups) {
    return nullptr;
  }
  s.isCancelingGetAllAvailableBackups = true;
  return s.cancelTokenForGetAllAvailableBackups;
}

std::shared_ptr<CancelToken> BackupSDKState::currentAction() {
  std::lock_guard lock(state().mutex);
  return state().currentAction;
}

std::shared_ptr<CancelToken> BackupSDKState::cancelTokenForGetAllAvailableBackups() {
  std::lock_guard lock(state().mutex);
  return state().cancelTokenForGetAllAvailableBackups;
}

bool BackupSDKState::isRunning() {
  std::lock_guard lock(state().mutex);
  return state().isRunning;
}

bool BackupSDKState::isCanceling() {
  std::lock_guard lock(state().mutex);
  return state().isCanceling;
}

bool BackupSDKState::isCancelingGetAllAvailableBackups() {
  std::lock_guard lock(state().mutex);
  return state().isCancelingGetAllAvailableBackups;
}

}  // namespace tessellon
