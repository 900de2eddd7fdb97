#include "platform/files/FolderWalk.h"

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <new>
#include <utility>

#include "futures/Executor.h"
#include "platform/files/PosixError.h"

namespace tessellon::posix {
namespace {

// How many entries the helper may hold listed ahead of the walk (each about a hundred bytes),
// so a huge tree costs a bounded amount of memory beyond what the walk's caller keeps.
constexpr size_t kMostBuffered = size_t{1} << 17;

bool isFolder(const ListedItem& item) {
  return item.attributes && item.attributes->type == FileAttributes::Type::directory;
}

// Listers fail with the platform error; anything else is taken as an I/O error.
int errnoOf(const Error& error) {
  return error.domain == kPosixErrorDomain && error.code != 0 ? error.code : EIO;
}

}  // namespace

FolderWalk::FolderWalk(Lister lister) : state_(std::make_shared<State>()) {
  state_->lister = std::move(lister);
}

FolderWalk::~FolderWalk() {
  std::unique_lock lock(state_->mutex);
  state_->stopping = true;
  state_->listed.wait(lock, [this] { return !state_->helperBusy; });
}

Result<void> FolderWalk::run(const std::function<bool(ListedItem&&)>& visit) {
  std::vector<std::shared_ptr<Job>> firstSubfolders;
  Listing first = take(std::make_shared<Job>(""), firstSubfolders);
  if (!first.ok()) return first.error();
  struct Pending {
    ListedItem item;
    std::shared_ptr<Job> job;  // for a folder
  };
  // Entries still to visit, each folder's in reverse, so the walk runs in pre-order.
  std::vector<Pending> stack;
  const auto push = [&stack](std::vector<ListedItem>&& entries,
                             std::vector<std::shared_ptr<Job>>&& jobs) {
    size_t next = 0;
    for (ListedItem& entry : entries) {
      std::shared_ptr<Job> job = isFolder(entry) ? std::move(jobs[next++]) : nullptr;
      stack.push_back({std::move(entry), std::move(job)});
    }
  };
  push(std::move(first).value(), std::move(firstSubfolders));
  while (!stack.empty()) {
    Pending pending = std::move(stack.back());
    stack.pop_back();
    // A folder is listed before it is visited, so one that cannot be listed reaches the caller
    // with the reason; the walk goes on without it: one private folder must not hide the rest.
    std::optional<Listing> listing;
    std::vector<std::shared_ptr<Job>> subfolders;
    if (pending.job) {
      listing = take(pending.job, subfolders);
      if (!listing->ok()) pending.item.listingError = errnoOf(listing->error());
    }
    if (!visit(std::move(pending.item))) break;
    if (listing && listing->ok()) push(std::move(*listing).value(), std::move(subfolders));
  }
  return {};
}

FolderWalk::Listing FolderWalk::take(const std::shared_ptr<Job>& job,
                                     std::vector<std::shared_ptr<Job>>& subfolders) {
  State& state = *state_;
  std::unique_lock lock(state.mutex);
  if (!job->claimed) {
    job->claimed = true;
    // The folder the walk wants next is the nearest one waiting: the back.
    const auto at = std::find(state.waiting.rbegin(), state.waiting.rend(), job);
    if (at != state.waiting.rend()) state.waiting.erase(std::next(at).base());
    list(state, job, true, lock);
  } else {
    state.listed.wait(lock, [&job] { return job->done; });
    if (job->listing->ok()) state.buffered -= job->listing->value().size();
  }
  subfolders = std::move(job->subfolders);
  Listing listing = std::move(*job->listing);
  const bool startHelper = !state.helperRunning && hasWorkForHelper(state);
  state.helperRunning = state.helperRunning || startHelper;
  lock.unlock();
  if (startHelper) Executor::utility().execute([state = state_] { help(state); });
  return listing;
}

// The nearest folder is left to the walk, which would otherwise wait for the helper.
bool FolderWalk::hasWorkForHelper(const State& state) {
  return !state.stopping && state.waiting.size() > 1 && state.buffered < kMostBuffered;
}

// Lists while there is work and then returns, so a pool thread is never held idle; the walk
// starts it again when there is more.
void FolderWalk::help(const std::shared_ptr<State>& state) {
  std::unique_lock lock(state->mutex);
  while (hasWorkForHelper(*state)) {
    std::shared_ptr<Job> job = std::move(state->waiting.front());
    state->waiting.pop_front();
    job->claimed = true;
    state->helperBusy = true;
    list(*state, job, false, lock);
    state->helperBusy = false;
    if (job->listing->ok()) state->buffered += job->listing->value().size();
    state->listed.notify_all();
  }
  state->helperRunning = false;
}

// Called with the lock held and `job` claimed; lists it without the lock and queues its
// subfolders where the walk will want them: right next (the near end) or after everything
// waiting (the far end, where the helper works).
void FolderWalk::list(State& state, const std::shared_ptr<Job>& job, bool nearEnd,
                      std::unique_lock<std::mutex>& lock) {
  lock.unlock();
  Listing listing = [&]() -> Listing {
    try {
      return state.lister(job->relative);
    } catch (const std::bad_alloc&) {
      return posixError("list " + job->relative, ENOMEM);
    }
  }();
  lock.lock();
  if (listing.ok()) {
    for (const ListedItem& entry : listing.value()) {
      if (isFolder(entry)) job->subfolders.push_back(std::make_shared<Job>(entry.relative));
    }
    // Entries come first-visited last, the order the queue keeps from front to back.
    state.waiting.insert(nearEnd ? state.waiting.end() : state.waiting.begin(),
                         job->subfolders.begin(), job->subfolders.end());
  }
  job->listing = std::move(listing);
  job->done = true;
}

}  // namespace tessellon::posix
