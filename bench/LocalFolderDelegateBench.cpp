// Times LocalFolderDelegate's upload + inflateZip of a 1 GiB archive of stored
// media files against `cp` of the same archive followed by `bsdtar -xf`, in
// the same run, alternating the two so that both see the same machine state.
// Prints "BENCH local_inflate_vs_cp_bsdtar <ours/peer> ratio target <= 1.5 PASS|MISS".
//
// Environment: TESSELLON_BENCH_FILES (default 64) and TESSELLON_BENCH_FILE_MB
// (default 16) shape the archive; TESSELLON_BENCH_ROUNDS (default 5) the rounds.

#include <stdlib.h>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <archive.h>
#include <archive_entry.h>
#include <benchmark/benchmark.h>

#include "BenchReport.h"
#include "delegates/LocalFolderDelegate.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr double kTargetRatio = 1.5;

int envInt(const char* name, int fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? std::atoi(value) : fallback;
}

// Incompressible, like camera files, and cheap to make.
void fillRandom(std::vector<char>& buffer, uint64_t& state) {
  for (size_t i = 0; i + 8 <= buffer.size(); i += 8) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    std::memcpy(buffer.data() + i, &state, 8);
  }
}

bool writeMediaArchive(const std::string& path, int files, int64_t fileSize) {
  std::unique_ptr<archive, int (*)(archive*)> writer(archive_write_new(), archive_write_free);
  archive_write_set_format_zip(writer.get());
  archive_write_set_format_option(writer.get(), "zip", "compression", "store");
  archive_write_set_format_option(writer.get(), "zip", "zip64", "1");
  if (archive_write_open_filename(writer.get(), path.c_str()) != ARCHIVE_OK) return false;
  std::vector<char> buffer(1 << 20);
  uint64_t state = 0x9E3779B97F4A7C15ull;
  for (int i = 0; i < files; ++i) {
    std::unique_ptr<archive_entry, void (*)(archive_entry*)> entry(archive_entry_new(),
                                                                   archive_entry_free);
    const std::string name = "images/" + std::to_string(100000 + i) + ".jpg";
    archive_entry_set_pathname(entry.get(), name.c_str());
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_entry_set_perm(entry.get(), 0644);
    archive_entry_set_size(entry.get(), fileSize);
    if (archive_write_header(writer.get(), entry.get()) != ARCHIVE_OK) return false;
    for (int64_t written = 0; written < fileSize;) {
      fillRandom(buffer, state);
      const auto chunk = static_cast<size_t>(
          std::min<int64_t>(static_cast<int64_t>(buffer.size()), fileSize - written));
      if (archive_write_data(writer.get(), buffer.data(), chunk) !=
          static_cast<la_ssize_t>(chunk)) {
        return false;
      }
      written += static_cast<int64_t>(chunk);
    }
  }
  return archive_write_close(writer.get()) == ARCHIVE_OK;
}

// Waits for one delegate answer carrying an optional error.
class Waiter {
 public:
  std::function<void(std::optional<tessellon::Error>)> callback() {
    return [this](std::optional<tessellon::Error> error) {
      std::lock_guard lock(mutex_);
      error_ = std::move(error);
      done_ = true;
      wake_.notify_all();
    };
  }
  std::optional<tessellon::Error> wait() {
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return done_; });
    return error_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  std::optional<tessellon::Error> error_;
};

// Seconds for upload + inflation into a fresh remote, or a negative value on failure.
double timeOurs(const std::string& archivePath, const std::string& root) {
  tessellon::hosts::LocalFolderDelegate delegate(root);
  fs::create_directories(root + "/dev1");
  const auto start = Clock::now();
  Waiter uploaded;
  delegate.uploadFile(archivePath, "dev1/dev1.zip", nullptr, uploaded.callback());
  if (auto error = uploaded.wait()) {
    std::fprintf(stderr, "upload failed: %s\n", tessellon::describe(*error).c_str());
    return -1;
  }
  const auto uploadedAt = Clock::now();
  Waiter inflated;
  delegate.inflateZip("dev1/dev1.zip", "dev1", inflated.callback());
  if (auto error = inflated.wait()) {
    std::fprintf(stderr, "inflate failed: %s\n", tessellon::describe(*error).c_str());
    return -1;
  }
  const auto inflatedAt = Clock::now();
  // Both sides are timed until their files are on disk: page-cache writeback
  // otherwise lands on whichever side happens to trip the dirty limit.
  ::sync();
  std::fprintf(stderr, "  ours: upload %.3f s, inflate %.3f s, sync %.3f s\n",
               std::chrono::duration<double>(uploadedAt - start).count(),
               std::chrono::duration<double>(inflatedAt - uploadedAt).count(),
               std::chrono::duration<double>(Clock::now() - inflatedAt).count());
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string quoted(const std::string& text) { return "'" + text + "'"; }

double timePeer(const std::string& archivePath, const std::string& root) {
  fs::create_directories(root + "/dev1");
  const std::string command = "cp " + quoted(archivePath) + " " + quoted(root + "/dev1/dev1.zip") +
                              " && cd " + quoted(root + "/dev1") +
                              " && bsdtar -xf dev1.zip && sync";
  const auto start = Clock::now();
  if (std::system(command.c_str()) != 0) return -1;
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Writeback of the previous round must not be billed to the next one.
void settle(const std::string& folder) {
  std::error_code ignored;
  fs::remove_all(folder, ignored);
  (void)std::system("sync");
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const int files = envInt("TESSELLON_BENCH_FILES", 64);
  const int fileMegabytes = envInt("TESSELLON_BENCH_FILE_MB", 16);
  const int rounds = std::max(1, envInt("TESSELLON_BENCH_ROUNDS", 5));
  if (std::system("command -v bsdtar >/dev/null 2>&1") != 0) {
    std::fprintf(stderr, "bsdtar is missing (Debian package libarchive-tools)\n");
    return 1;
  }

  const char* base = std::getenv("TMPDIR");
  std::string work = (base != nullptr && *base != '\0') ? base : "/tmp";
  work += "/tessellon-bench-XXXXXX";
  if (::mkdtemp(work.data()) == nullptr) return 1;
  const std::string archivePath = work + "/media.zip";
  std::fprintf(stderr, "writing %d stored files of %d MiB...\n", files, fileMegabytes);
  if (!writeMediaArchive(archivePath, files, int64_t{fileMegabytes} << 20)) {
    std::fprintf(stderr, "cannot write %s\n", archivePath.c_str());
    fs::remove_all(work);
    return 1;
  }
  settle(work + "/none");

  std::vector<double> ours;
  std::vector<double> peer;
  bool failed = false;
  for (int round = 0; round < rounds && !failed; ++round) {
    const double a = timeOurs(archivePath, work + "/ours");
    settle(work + "/ours");
    const double b = timePeer(archivePath, work + "/peer");
    settle(work + "/peer");
    failed = a < 0 || b < 0;
    std::fprintf(stderr, "round %d: ours %.3f s, cp + bsdtar %.3f s\n", round + 1, a, b);
    ours.push_back(a);
    peer.push_back(b);
  }
  fs::remove_all(work);
  if (failed) return 1;

  const double ratio = median(ours) / median(peer);
  tessellon::bench::reportBench("local_inflate_vs_cp_bsdtar", ratio, 2, "ratio",
                                "<=", kTargetRatio);
  benchmark::Shutdown();
  return 0;
}
