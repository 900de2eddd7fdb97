#include "delegates/ArchiveUploader.h"

#include <unistd.h>
#include <condition_variable>
#include <deque>
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

// Entries waiting for an upload thread, and the first failure among them.
struct Pipeline {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::vector<std::string>> waiting;
  size_t busy = 0;
  bool closed = false;
  std::optional<Error> failure;

  void fail(Error error) {
    // A full remote stops the whole run, so it wins over whatever else went wrong.
    if (!failure || (error.code == 507 && failure->code != 507)) failure = std::move(error);
  }
};

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

// Entries upload while the extraction goes on: each one as soon as it is on the local disk.
std::optional<Error> ArchiveUploader::run() {
  Pipeline pipeline;
  std::vector<std::thread> uploaders;
  for (size_t i = 0; i < transfers_; ++i) {
    uploaders.emplace_back([this, &pipeline] {
      std::unique_lock lock(pipeline.mutex);
      for (;;) {
        pipeline.changed.wait(lock, [&] {
          return pipeline.failure || pipeline.closed || !pipeline.waiting.empty();
        });
        if (pipeline.failure || pipeline.waiting.empty()) return;
        std::vector<std::string> parts = std::move(pipeline.waiting.front());
        pipeline.waiting.pop_front();
        ++pipeline.busy;
        lock.unlock();
        std::optional<Error> error = upload(parts);
        lock.lock();
        --pipeline.busy;
        if (error) pipeline.fail(std::move(*error));
        pipeline.changed.notify_all();
      }
    });
  }
  // Waits until every entry handed over has landed; the first failure, if any.
  auto drain = [&pipeline] {
    std::unique_lock lock(pipeline.mutex);
    pipeline.changed.wait(lock, [&] {
      return pipeline.failure || (pipeline.waiting.empty() && pipeline.busy == 0);
    });
    return pipeline.failure;
  };

  std::set<std::string> folders;
  SafeZipExtractor extractor(stagingRoot_, archive_, {extractFolder_},
                             [](int64_t) { return true; });
  extractor.onWritten([&](const std::vector<std::string>& parts,
                          bool folder) -> std::optional<Error> {
    const size_t depth = folder ? parts.size() : parts.size() - 1;
    for (size_t count = 1; count <= depth; ++count) {
      const std::string key = keyOf({joined(parts, count)});
      if (!folders.insert(key).second) continue;
      StoreAnswer ignored = StoreAnswer::done;
      if (auto error = store_.makeFolder(key, ignored)) return error;
    }
    if (folder) return std::nullopt;
    if (parts.size() > 1) {
      std::lock_guard lock(pipeline.mutex);
      if (pipeline.failure) return pipeline.failure;
      pipeline.waiting.push_back(parts);
      pipeline.changed.notify_one();
      return std::nullopt;
    }
    // A document at the top waits for every entry before it.
    if (auto failure = drain()) return failure;
    return upload(parts);
  });
  std::optional<Error> failure = extractor.run();

  {
    std::lock_guard lock(pipeline.mutex);
    pipeline.closed = true;
  }
  pipeline.changed.notify_all();
  for (std::thread& uploader : uploaders) uploader.join();
  if (!failure) failure = pipeline.failure;

  std::error_code ignored;
  std::filesystem::remove_all(stagingRoot_ + "/" + extractFolder_, ignored);
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
