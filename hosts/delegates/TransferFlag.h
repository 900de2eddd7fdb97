#pragma once

#include <atomic>

#include "tessellon/BackupSDKDelegate.h"

namespace tessellon::hosts {

// The cancellation handle a delegate returns for one transfer; the transfer polls it.
class TransferFlag final : public CancellationDelegate {
 public:
  void cancel() override { cancelled_.store(true); }
  const std::atomic<bool>* flag() const { return &cancelled_; }
  bool cancelled() const { return cancelled_.load(); }

 private:
  std::atomic<bool> cancelled_{false};
};

}  // namespace tessellon::hosts
