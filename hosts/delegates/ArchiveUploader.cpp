#include "delegates/ArchiveUploader.h"

#include <unistd.h>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <random>
#include <set>
#include <thread>
#include <utility>

#include "delegates/SafeZipExtractor.h"

namespace tessellon::hosts {

namespace {

std::string joined(const std::vector<std::string>& parts, size_t count) {
  std::string path;
  for (size_t i = 0; i < count; ++i) path += (i == 0 ? "" : "/") + parts[i];
  return path;
}

std::string freshName() {
  thread_local std::mt19937_64 random{std::random_device{}()};
  return "inflate-" + std::to_string(random());
}

}  // namespace

ArchiveUploader::ArchiveUploader(ObjectStore& store, std::string stagingRoot,
                                 std::vector<std::string> archive, std::string destination,
                                 size_t transfers)
    : store_(store),
      stagingRoot_(std::move(stagingRoot)),
      archive_(std::move(archive)),
      destination_(std::move(destination)),
      extractFolder_(freshName()),
      transfers_(std::max<size_t>(transfers, 1)) {}

std::string ArchiveUploader::keyOf(const std::vector<std::string>& parts) const {
  const std::string relative = joined(parts, parts.size());
  return destination_.empty() ? relative : destination_ + "/" + relative;
}

std::string ArchiveUploader::localOf(const std::vector<std::string>& parts) const {
  return stagingRoot_ + "/" + extractFolder_ + "/" + joined(parts, parts.size());
}

std::optional<Error> ArchiveUploader::run() {
  SafeZipExtractor extractor(stagingRoot_, archive_, {extractFolder_},
                             [](int64_t) { return true; });
  std::optional<Error> failure = extractor.run();

  // Every folder the entries need, parents before children (a prefix sorts first).
  std::set<std::string> folders;
  for (const auto& entry : extractor.written()) {
    const size_t depth = entry.folder ? entry.parts.size() : entry.parts.size() - 1;
    for (size_t count = 1; count <= depth; ++count) folders.insert(keyOf({joined(entry.parts, count)}));
  }
  for (auto it = folders.begin(); !failure && it != folders.end(); ++it) {
    StoreAnswer ignored = StoreAnswer::done;
    failure = store_.makeFolder(*it, ignored);
  }

  std::vector<std::vector<std::string>> batch;
  for (const auto& entry : extractor.written()) {
    if (failure) break;
    if (entry.folder) continue;
    if (entry.parts.size() > 1) {
      batch.push_back(entry.parts);
      continue;
    }
    failure = uploadInParallel(batch);
    batch.clear();
    if (!failure) failure = upload(entry.parts);
  }
  if (!failure) failure = uploadInParallel(batch);

  std::error_code ignored;
  std::filesystem::remove_all(stagingRoot_ + "/" + extractFolder_, ignored);
  return failure;
}

std::optional<Error> ArchiveUploader::uploadInParallel(
    const std::vector<std::vector<std::string>>& files) {
  std::atomic<size_t> next{0};
  std::mutex mutex;
  std::optional<Error> failure;
  auto work = [&] {
    for (;;) {
      {
        std::lock_guard lock(mutex);
        if (failure) return;
      }
      const size_t index = next.fetch_add(1);
      if (index >= files.size()) return;
      std::optional<Error> error = upload(files[index]);
      if (!error) continue;
      std::lock_guard lock(mutex);
      // A full remote stops the whole run, so it wins over whatever else went wrong.
      if (!failure || (error->code == 507 && failure->code != 507)) failure = std::move(error);
    }
  };
  std::vector<std::thread> threads;
  const size_t count = std::min(transfers_, files.size());
  for (size_t i = 1; i < count; ++i) threads.emplace_back(work);
  if (count > 0) work();
  for (std::thread& thread : threads) thread.join();
  return failure;
}

std::optional<Error> ArchiveUploader::upload(const std::vector<std::string>& parts) {
  const std::string local = localOf(parts);
  std::optional<Error> error = store_.putFile(local, keyOf(parts), TransferHooks{});
  // Landed files leave the staging folder at once: an archive may be as large as the disk allows.
  (void)::unlink(local.c_str());
  return error;
}

}  // namespace tessellon::hosts
