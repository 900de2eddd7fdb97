#pragma once

#include <functional>
#include <memory>

namespace tessellon::detail {

// Completion callbacks run through a per-thread loop: a completion triggered
// while this thread is already running callbacks is queued and run by the
// outer loop after the current callback returns. So completing a future that
// completes another (completeUsing links, immediate continuations) never
// nests, however long the chain.
void runCompletionWork(std::function<void()> work);

// Destroys `item` without nesting: objects it releases that call bury()
// themselves are destroyed by the outermost call's loop. Used for pending
// callback lists, which may own the next future of a long chain.
void bury(std::shared_ptr<void> item);

}  // namespace tessellon::detail
