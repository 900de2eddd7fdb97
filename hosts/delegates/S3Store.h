#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "delegates/HttpClient.h"
#include "delegates/ObjectStore.h"

namespace tessellon::hosts {

// An S3 bucket (or a prefix in it) as an object store, over libcurl's AWS Signature Version 4:
// PutObject, multipart uploads for files over 64 MiB (parts of 16 MiB, four in flight),
// GetObject, CopyObject, DeleteObjects in batches of a thousand and ListObjectsV2 with
// continuation. S3 has no folders: a folder is a zero-byte marker object "<key>/", and anything
// under "<key>/" makes it exist too. Create-if-absent is a PutObject with "If-None-Match: *", which
// the server decides atomically; a server that does not know the condition (501) gets a look first,
// then a plain put, which is not atomic. Thread-safe.
class S3Store final : public ObjectStore {
 public:
  struct Location {
    // "http[s]://host[:port]", without a path.
    std::string endpoint;
    std::string region = "us-east-1";
    std::string bucket;
    // Keys below it, without slashes at either end; may be empty.
    std::string prefix;
    // "bucket.host/key" rather than "host/bucket/key".
    bool virtualHosted = false;
    std::optional<std::string> sessionToken;
  };
  static constexpr int64_t kMultipartThreshold = int64_t{64} * 1024 * 1024;
  // Parts small enough that one large file keeps several connections busy; a file of more than
  // 10000 parts (160 GiB) gets larger ones, as S3 allows no more.
  static constexpr int64_t kPartSize = int64_t{16} * 1024 * 1024;
  static constexpr int kPartsAtOnce = 4;

  // `options` carries the access key as `user` and the secret as `password`; the signing is set
  // here. Files over `multipartThreshold` travel in parts of `partSize`.
  S3Store(Location location, HttpOptions options, int64_t partSize = kPartSize,
          int64_t multipartThreshold = kMultipartThreshold);

  std::optional<Error> putFile(const std::string& localPath, const std::string& key,
                               const TransferHooks& hooks) override;
  std::optional<Error> putFileRange(const std::string& localPath, int64_t offset, int64_t length,
                                    const std::string& key, const TransferHooks& hooks) override;
  std::optional<Error> putFileIfAbsent(const std::string& localPath, const std::string& key,
                                       StoreAnswer& answer) override;
  std::optional<Error> getFile(const std::string& key, const std::string& localPath,
                               const TransferHooks& hooks, StoreAnswer& answer) override;
  std::optional<Error> makeFolder(const std::string& key, StoreAnswer& answer) override;
  std::optional<Error> remove(const std::string& key, StoreAnswer& answer) override;
  // A server-side CopyObject, after a look that nothing is at `to` (not atomic: see the .cpp).
  std::optional<Error> copy(const std::string& from, const std::string& to,
                            StoreAnswer& answer) override;
  // A file is copied, then deleted. A folder has each object below it copied (kPartsAtOnce at a
  // time), and only once all have arrived are the sources deleted, as remove() does; a failed
  // copy removes what it had copied and leaves the source whole.
  std::optional<Error> move(const std::string& from, const std::string& to,
                            StoreAnswer& answer) override;
  std::optional<Error> list(const std::string& key, std::vector<StoredMember>& members,
                            StoreAnswer& answer) override;
  std::optional<Error> readFile(const std::string& key,
                                const std::function<bool(const char*, size_t)>& consume,
                                const TransferHooks& hooks, StoreAnswer& answer) override;
  // A PUT is atomic and a multipart upload shows no object until completed, but the parts of an
  // upload that a killed process never completed or aborted take space until they are aborted:
  // those below `key` with no part written for kStaleUploadAge are.
  void removeStaleUploads(const std::string& key) override;
  // As removeStaleUploads, with the age given; how many uploads were aborted.
  size_t abortUploadsIdleFor(const std::string& key, std::chrono::seconds age);

  // Creates the bucket; `exists` when this user has it already.
  std::optional<Error> makeBucket(StoreAnswer& answer);

 private:
  struct Listing;
  HttpRequest request(const std::string& method, const std::string& objectKey,
                      const std::string& query = "") const;
  std::string objectKey(const std::string& key) const;
  // Whether an object is at exactly `objectKey`.
  std::optional<Error> exists(const std::string& objectKey, bool& found);
  std::optional<Error> folderExists(const std::string& key, bool& found);
  // One page of ListObjectsV2 below `prefix`.
  std::optional<Error> listPage(const std::string& prefix, bool delimited, int maxKeys,
                                const std::string& token, Listing& page);
  std::optional<Error> putMultipart(const std::string& localPath, int64_t base,
                                    const std::string& key, int64_t size,
                                    const TransferHooks& hooks);
  std::optional<Error> deleteBatch(const std::vector<std::string>& objectKeys);
  // Whether `to` may be written by a copy or move: `exists` into `answer` when something is
  // there; an error when its folder is missing.
  std::optional<Error> checkTarget(const std::string& to, StoreAnswer& answer);
  // CopyObject from one object to another; `found` false when the source is not there.
  std::optional<Error> copyObject(const std::string& sourceObject, const std::string& targetObject,
                                  bool& found);
  // Copies each source object to the target at the same index, kPartsAtOnce at a time; `copied`
  // (as long as `sources`) tells which arrived. The first error stops the copying.
  std::optional<Error> copyObjects(const std::vector<std::string>& sources,
                                   const std::vector<std::string>& targets,
                                   std::vector<char>& copied);
  // DeleteObjects for any number of objects, a batch at a time.
  std::optional<Error> deleteAll(const std::vector<std::string>& objects);
  // Every object whose key starts with "<folderObject>/", its marker included.
  std::optional<Error> objectsBelow(const std::string& folderObject,
                                    std::vector<std::string>& objects);
  // Drops the remembered folder markers at or below `folderObject`.
  void forgetFolders(const std::string& folderObject);
  // When the upload last changed (its newest part, or its start), in seconds since 1970.
  std::optional<int64_t> lastChangeOf(const std::string& objectKey, const std::string& uploadId,
                                      int64_t initiated);

  const Location location_;
  const int64_t partSize_;
  const int64_t multipartThreshold_;
  HttpClient client_;
  std::atomic<bool> conditionUnknown_{false};
  // Folder markers this store has made or found, so that a folder (and every folder above it) is
  // asked for once per store, not once per archive; remove() forgets what it deletes. The device
  // lock keeps other runs from deleting them meanwhile.
  std::mutex foldersMutex_;
  std::set<std::string> knownFolders_;
};

}  // namespace tessellon::hosts
