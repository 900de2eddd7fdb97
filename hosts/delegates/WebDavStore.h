#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "delegates/HttpClient.h"
#include "delegates/ObjectStore.h"

namespace tessellon::hosts {

// A WebDAV collection as an object store: PUT, GET, MKCOL, DELETE, PROPFIND with depth 1, COPY
// and MOVE. A file is first PUT under a hidden name beside its target, naming this host and
// process, and then moved over it, so a reader never sees half of it even on servers that write in
// place; a server that refuses MOVE gets plain PUTs from then on. Create-if-absent first claims the
// target with a MKCOL of a folder beside it, which the server grants to one creator (a directory is
// made or not), then uploads under a hidden name and MOVEs with "Overwrite: F". Neither that MOVE
// nor a PUT with "If-None-Match: *" is enough alone: Apache checks both before it writes, so racing
// creators could all pass. Thread-safe.
class WebDavStore final : public ObjectStore {
 public:
  // `baseUrl` is "http[s]://host[:port][/path]", the collection that is the store's root.
  WebDavStore(std::string baseUrl, HttpOptions options);

  std::optional<Error> putFile(const std::string& localPath, const std::string& key,
                               const TransferHooks& hooks) override;
  std::optional<Error> putFileRange(const std::string& localPath, int64_t offset, int64_t length,
                                    const std::string& key, const TransferHooks& hooks) override;
  std::optional<Error> putFileIfAbsent(const std::string& localPath, const std::string& key,
                                       StoreAnswer& answer) override;
  std::optional<Error> getFile(const std::string& key, const std::string& localPath,
                               const TransferHooks& hooks, StoreAnswer& answer) override;
  std::optional<Error> readFile(const std::string& key,
                                const std::function<bool(const char*, size_t)>& consume,
                                const TransferHooks& hooks, StoreAnswer& answer) override;
  std::optional<Error> makeFolder(const std::string& key, StoreAnswer& answer) override;
  std::optional<Error> remove(const std::string& key, StoreAnswer& answer) override;
  // COPY and MOVE with "Overwrite: F", which the server decides in one step.
  std::optional<Error> copy(const std::string& from, const std::string& to,
                            StoreAnswer& answer) override;
  std::optional<Error> move(const std::string& from, const std::string& to,
                            StoreAnswer& answer) override;
  std::optional<Error> list(const std::string& key, std::vector<StoredMember>& members,
                            StoreAnswer& answer) override;
  // The hidden names of uploads and creates in the folder: this host's whose process has
  // ended, and other hosts' (or older names) unchanged for kStaleUploadAge.
  void removeStaleUploads(const std::string& key) override;

  HttpClient& client() { return client_; }

  // The claim folder's name beside the target, ".tessellon-claim-lock.json".
  static constexpr const char* kClaimPrefix = ".tessellon-claim-";
  // A creator holding a claim gives up before its MOVE past kClaimDeadline; a claim unchanged for
  // kClaimAbandonedAfter (the server's clock) is a killed creator's and is removed. Meanwhile a
  // creator waits at most kClaimPatience for the other's file, then fails with 423.
  static constexpr std::chrono::seconds kClaimDeadline{30};
  static constexpr std::chrono::minutes kClaimAbandonedAfter{5};
  static constexpr std::chrono::seconds kClaimPatience{15};
  static constexpr std::chrono::milliseconds kClaimPoll{100};

 private:
  std::string urlOf(const std::string& key, bool folder = false) const;
  // What is at `key`: `missing`, or `exists` with `folder` telling its kind and `age` (when
  // given) the seconds since it last changed by the server's own clock, when the server says.
  std::optional<Error> probe(const std::string& key, StoreAnswer& answer, bool& folder,
                             std::optional<int64_t>* age = nullptr);
  // `exists` into `answer` when something is at `key`; otherwise `answer` stays as it was.
  std::optional<Error> noteIfThere(const std::string& key, StoreAnswer& answer);
  // MKCOL of `claim`, waiting while another creator holds it; false with `exists` when the
  // target appeared meanwhile.
  std::optional<Error> takeClaim(const std::string& claim, const std::string& key, bool& claimed,
                                 StoreAnswer& answer);
  // The create itself, under the claim.
  std::optional<Error> createClaimed(const std::string& localPath, const std::string& key,
                                     std::chrono::steady_clock::time_point deadline,
                                     StoreAnswer& answer);
  // COPY or MOVE of `from` to `to` that never overwrites.
  std::optional<Error> transfer(const char* method, const std::string& from, const std::string& to,
                                StoreAnswer& answer);
  std::optional<Error> putDirect(const std::string& localPath, const std::string& key,
                                 const TransferHooks& hooks, int64_t offset = 0,
                                 int64_t length = -1);

  const std::string baseUrl_;
  // The root's path as the server writes it in listings, percent-decoded, with a final "/".
  const std::string basePath_;
  HttpClient client_;
  std::atomic<bool> moveRefused_{false};
};

}  // namespace tessellon::hosts
