#pragma once

#include <functional>

namespace tessellon {

// A host object that runs work in its own context (its own queue or thread).
// A context bound to the main queue is treated as the main executor.
class ManagedObjectContext {
 public:
  virtual ~ManagedObjectContext() = default;
  virtual void perform(std::function<void()> work) = 0;
  virtual bool isMainQueueContext() const = 0;
};

}  // namespace tessellon
