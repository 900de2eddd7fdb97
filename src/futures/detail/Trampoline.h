#pragma once

#include <functional>
#include <memory>

namespace tessellon::detail {

// Completion callbacks run through a per-thread loop: a completion triggered
// while this thread is already running callbacks nests up to a small depth and
// beyond it is queued for the outermost loop, which runs it after the stack has
// unwound. So completing a future that completes another (completeUsing links,
// immediate continuations) behaves naturally in short chains and cannot
// overflow the stack in long ones.
void runCompletionWork(std::function<void()> work);

// Destroys `item` without nesting: objects it releases that call bury()
// themselves are destroyed by the outermost call's loop. Used for pending
// callback lists, which may own the next future of a long chain.
void bury(std::shared_ptr<void> item);

}  // namespace tessellon::detail
