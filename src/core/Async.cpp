#include "core/Async.h"

#include "futures/FuturesError.h"

namespace tessellon {

const std::shared_ptr<SerialQueue>& Async::backgroundQueue() {
  static const auto* queue =
      new std::shared_ptr<SerialQueue>(std::make_shared<SerialQueue>("BackupSDK background queue"));
  return *queue;
}

void Async::background(std::function<void(std::optional<Error>)> completion,
                       std::function<void()> action) {
  backgroundQueue()->add([completion = std::move(completion), action = std::move(action)] {
    std::optional<Error> error;
    try {
      action();
    } catch (...) {
      error = errorFromException(std::current_exception());
    }
    if (completion) completion(error);
  });
}

}  // namespace tessellon
