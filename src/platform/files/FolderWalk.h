#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "futures/Result.h"
#include "platform/files/ListedItem.h"

namespace tessellon::posix {

// A pre-order walk over a folder tree whose folders are listed both by the walking thread and
// by a helper on the shared pool. Listing (a look-up and a statx per entry) is most of a walk's
// time and spends it in the kernel, so two threads list a large tree in about half the time.
// The helper lists from the far end of what the walk has found (the folders it reaches last)
// and the walk from the near end, so they seldom want the same folder; `visit` still runs on
// the calling thread, in pre-order. A tree of one folder never involves the helper.
class FolderWalk {
 public:
  using Listing = Result<std::vector<ListedItem>>;
  // The entries of one folder given relative to the root ("" for the root itself), sorted with
  // the first to visit last; called from two threads at once.
  using Lister = std::function<Listing(const std::string& relative)>;

  explicit FolderWalk(Lister lister);
  FolderWalk(const FolderWalk&) = delete;
  FolderWalk& operator=(const FolderWalk&) = delete;
  // Waits for a listing the helper is in the middle of: it uses the lister.
  ~FolderWalk();

  // Hands every entry below the root to `visit` in pre-order until it answers false. Fails only
  // when the root cannot be listed; a folder below it that cannot be listed is visited with the
  // errno in `listingError`, and the walk goes on without its entries.
  Result<void> run(const std::function<bool(ListedItem&&)>& visit);

 private:
  struct Job {
    explicit Job(std::string folder) : relative(std::move(folder)) {}
    const std::string relative;
    bool claimed = false;
    bool done = false;
    std::optional<Listing> listing;
    // One per folder among the listing's entries, in the same order.
    std::vector<std::shared_ptr<Job>> subfolders;
  };
  // Shared with the helper's pool task, which may start after the walk has ended.
  struct State {
    Lister lister;
    std::mutex mutex;
    // The walk waits on it for a folder the helper is listing, and at its end for the helper to
    // finish the listing it is in.
    std::condition_variable listed;
    // Folders nobody has claimed yet, in the walk's order read from the back: the back is the
    // next one the walk wants, the front the one it wants last.
    std::deque<std::shared_ptr<Job>> waiting;
    size_t buffered = 0;         // entries the helper listed that the walk has not taken yet
    bool helperRunning = false;  // posted to the pool and not yet returned
    bool helperBusy = false;     // inside the lister
    bool stopping = false;
  };

  static void list(State& state, const std::shared_ptr<Job>& job, bool nearEnd,
                   std::unique_lock<std::mutex>& lock);
  static bool hasWorkForHelper(const State& state);
  static void help(const std::shared_ptr<State>& state);
  Listing take(const std::shared_ptr<Job>& job, std::vector<std::shared_ptr<Job>>& subfolders);

  std::shared_ptr<State> state_;
};

}  // namespace tessellon::posix
