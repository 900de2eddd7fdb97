#pragma once

#include <string_view>

namespace tessellon {

// Carries out the host's cancel request.
class CancelationServiceProtocol {
 public:
  static constexpr std::string_view kProtocolName = "CancelationServiceProtocol";
  CancelationServiceProtocol() = default;
  virtual ~CancelationServiceProtocol() = default;
  CancelationServiceProtocol(const CancelationServiceProtocol&) = delete;
  CancelationServiceProtocol& operator=(const CancelationServiceProtocol&) = delete;

  // Cancels the tokens of the running operation and listing (running their
  // handlers on this thread), then, once every token is cancelled, reports
  // cancellationFinished on the background queue.
  virtual void cancel() = 0;
};

}  // namespace tessellon
