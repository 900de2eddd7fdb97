#pragma once

#include <memory>
#include <optional>

#include "core/CancelToken.h"
#include "futures/Result.h"

namespace tessellon {

// The process-wide activity of the facade, shared by every BackupSDK instance:
// the main slot (preview, backup or restore) and the listing slot, each with
// its token and "being cancelled" flag. Every transition happens under one
// mutex; tokens are cancelled outside it, because cancel handlers may finish
// the very operation they cancel.
class BackupSDKState {
 public:
  // The guard: refuses with isCanceling (104) during a cancel request, with
  // isAlreadyRunning (101) while an operation runs, or with `refusal` when
  // given; otherwise marks the main slot running and returns its new token.
  static Result<std::shared_ptr<CancelToken>> startOperation(
      const std::optional<Error>& refusal = std::nullopt);
  // The common finish of the operation that owns `token`.
  static void finishOperation(const std::shared_ptr<CancelToken>& token);

  // Refuses with isCanceling (104) while the previous listing is being
  // cancelled; otherwise stores and returns a new listing token.
  static Result<std::shared_ptr<CancelToken>> startListing();
  static void finishListing(const std::shared_ptr<CancelToken>& token);

  // Mark the slot as being cancelled and return its token, if it has one and is
  // not already being cancelled.
  static std::shared_ptr<CancelToken> beginCancelingCurrentAction();
  static std::shared_ptr<CancelToken> beginCancelingListing();

  static std::shared_ptr<CancelToken> currentAction();
  static std::shared_ptr<CancelToken> cancelTokenForGetAllAvailableBackups();
  static bool isRunning();
  static bool isCanceling();
  static bool isCancelingGetAllAvailableBackups();
};

}  // namespace tessellon
