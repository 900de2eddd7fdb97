#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tessellon/Error.h"

namespace tessellon::hosts {

// One thing below a folder of a store. `key` is relative to the store's root.
struct StoredMember {
  std::string key;
  int64_t size = 0;
  bool folder = false;
  std::optional<int64_t> modified;  // seconds since 1970, when the listing tells
};

// What one transfer may be told and may tell: a flag that aborts it at once, and the fraction
// of its bytes moved so far.
struct TransferHooks {
  const std::atomic<bool>* cancelled = nullptr;
  std::function<void(double fraction)> progress;
};

// How a store names a request's outcome beside its error.
enum class StoreAnswer { done, exists, missing };

// The handful of requests a remote storage answers, so that ObjectStoreDelegate holds what the
// remotes share (threads, archives, downloads) and each remote is only its requests. Keys are
// "/"-separated, relative to the store's root, without leading or trailing slashes; "" is the
// root. Every call blocks until the remote has answered (retries included) and may be made from
// several threads at once.
//
// Errors: a full remote carries code 507; rejected credentials carry 401 or 403 with a message
// that says so; a cancelled transfer is "NSURLErrorDomain" -999; other failures carry the
// HTTP status or the transport's error.
class ObjectStore {
 public:
  virtual ~ObjectStore() = default;
  ObjectStore() = default;
  ObjectStore(const ObjectStore&) = delete;
  ObjectStore& operator=(const ObjectStore&) = delete;

  // Streams the local file to `key`, replacing what is there; readers see the old or the new
  // content, never a part of it.
  virtual std::optional<Error> putFile(const std::string& localPath, const std::string& key,
                                       const TransferHooks& hooks) = 0;
  // As putFile, with `length` bytes from `offset` of the local file (a member kept as is in an
  // archive) as the content.
  virtual std::optional<Error> putFileRange(const std::string& localPath, int64_t offset,
                                            int64_t length, const std::string& key,
                                            const TransferHooks& hooks) = 0;
  // As putFile, but only when nothing is at `key` (a file or a folder): `exists` when something
  // was, which stays untouched. Of two concurrent requests at most one answers `done`.
  virtual std::optional<Error> putFileIfAbsent(const std::string& localPath, const std::string& key,
                                               StoreAnswer& answer) = 0;
  // Streams `key` into the local file (created or truncated); `missing` when there is no such
  // file.
  virtual std::optional<Error> getFile(const std::string& key, const std::string& localPath,
                                       const TransferHooks& hooks, StoreAnswer& answer) = 0;
  // Streams `key`'s bytes, in order, to `consume` on the calling thread, without a local copy;
  // `missing` when there is no such file. `consume` answering false ends the read early, without
  // an error.
  virtual std::optional<Error> readFile(const std::string& key,
                                        const std::function<bool(const char*, size_t)>& consume,
                                        const TransferHooks& hooks, StoreAnswer& answer) = 0;
  // Makes the folder and its missing parents; `exists` when it was there before.
  virtual std::optional<Error> makeFolder(const std::string& key, StoreAnswer& answer) = 0;
  // Removes a file, or a folder with all it holds; `missing` when nothing was there.
  virtual std::optional<Error> remove(const std::string& key, StoreAnswer& answer) = 0;
  // Copies the file at `from` to `to` on the remote; `missing` when no file is at `from`,
  // `exists` when something (a file or a folder) is at `to`, which then stays untouched. The
  // folder holding `to` must exist.
  virtual std::optional<Error> copy(const std::string& from, const std::string& to,
                                    StoreAnswer& answer) = 0;
  // Moves the file or folder (with all it holds) at `from` to `to`, with copy's answers; the
  // source goes only once everything has arrived.
  virtual std::optional<Error> move(const std::string& from, const std::string& to,
                                    StoreAnswer& answer) = 0;
  // The direct members of a folder; `missing` when there is no such folder.
  virtual std::optional<Error> list(const std::string& key, std::vector<StoredMember>& members,
                                    StoreAnswer& answer) = 0;
  // Removes from the folder `key` the temporary objects of this store's own uploads that a
  // killed process left: only those provably not being written (their process on this host has
  // ended, or nothing changed them for kStaleUploadAge). Best effort: failures are ignored.
  virtual void removeStaleUploads(const std::string& key) = 0;

  // As long as a lock record takes to go stale: no upload of a live run waits that long between
  // two writes.
  static constexpr std::chrono::minutes kStaleUploadAge{10};
};

}  // namespace tessellon::hosts
