// Full-content checksums: XXH3-128 throughput over a 256 MiB buffer, and what checksumming adds to
// packing a backup's media: the same ~1 GiB of files packed into archives as media entries (their
// checksum computed while they stream) and as plain entries.
// Prints "BENCH checksum_xxh3_gb_per_s ..." and "BENCH checksum_cost_full_backup ...".

#include <fcntl.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "BenchReport.h"
#include "platform/files/ContentChecksum.h"
#include "platform/zip/ZipServiceProtocol.h"
#include "support/MediaServices.h"

namespace tessellon {
namespace {

namespace fs = std::filesystem;

constexpr double kThroughputTarget = 2.0;  // GB/s
constexpr double kCostTarget = 1.05;       // packing time with checksums over without
constexpr std::size_t kBufferSize = std::size_t{256} << 20;
constexpr int kFiles = 128;
constexpr std::size_t kFileSize = std::size_t{8} << 20;  // 128 x 8 MiB = 1 GiB
constexpr std::size_t kArchiveSize = std::size_t{512} << 20;
constexpr int kRounds = 5;

std::vector<char> randomBuffer(std::size_t size, std::uint64_t seed) {
  std::vector<char> buffer(size);
  std::mt19937_64 generator(seed);
  for (std::size_t at = 0; at + 8 <= size; at += 8) {
    const std::uint64_t word = generator();
    std::copy_n(reinterpret_cast<const char*>(&word), 8, buffer.data() + at);
  }
  return buffer;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double threadCpuSeconds() {
  struct timespec now {};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void BM_ChecksumBuffer(benchmark::State& state) {
  const std::vector<char> buffer = randomBuffer(static_cast<std::size_t>(state.range(0)), 1);
  for (auto _ : state) {
    ContentChecksum checksum;
    checksum.update(buffer.data(), buffer.size());
    benchmark::DoNotOptimize(checksum.finish());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_ChecksumBuffer)
    ->Arg(4096)
    ->Arg(1 << 20)
    ->Arg(kBufferSize)
    ->Unit(benchmark::kMillisecond);

// GB/s (10^9 bytes) over the 256 MiB buffer, best of kRounds.
double throughput() {
  const std::vector<char> buffer = randomBuffer(kBufferSize, 2);
  double best = 1e9;
  for (int round = 0; round < kRounds; ++round) {
    const auto start = std::chrono::steady_clock::now();
    ContentChecksum checksum;
    checksum.update(buffer.data(), buffer.size());
    benchmark::DoNotOptimize(checksum.finish());
    best = std::min(best, secondsSince(start));
  }
  return static_cast<double>(kBufferSize) / 1e9 / best;
}

// Packs the same files into two series of archives, one as media entries (checksummed as they
// stream) and one as plain entries, taking turns file by file: a load that comes and goes on a
// shared machine then falls on both alike, which whole runs one after the other never achieve.
class PackingRun {
 public:
  struct Times {
    double wall = 0;
    double cpu = 0;  // of this thread: the checksum's share without the disk's waits
  };

  explicit PackingRun(std::string root) : root_(std::move(root)) {
    services_ = MediaServices::build({root_ + "/home", root_ + "/tmp", nullptr, nullptr, nullptr});
  }

  bool writeFiles() {
    fs::create_directories(root_ + "/home/Pictures");
    fs::create_directories(root_ + "/tmp");
    for (int i = 0; i < kFiles; ++i) {
      const std::vector<char> content = randomBuffer(kFileSize, 100 + static_cast<unsigned>(i));
      const std::string path = root_ + "/home/Pictures/" + std::to_string(i) + ".jpg";
      const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
      if (fd < 0) return false;
      const bool written =
          ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
      if (::close(fd) != 0 || !written) return false;
      files_.push_back(path);
    }
    return true;
  }

  // One round: every file into both series of archives of up to kArchiveSize; false on failure.
  // The archives are removed afterwards, outside the timing.
  bool pack(Times& plain, Times& checked) {
    ::sync();  // the previous round's archives must not be written back during this one
    Series series[2] = {{.name = "plain", .withChecksums = false, .times = plain},
                        {.name = "checked", .withChecksums = true, .times = checked}};
    bool ok = true;
    for (std::size_t i = 0; ok && i < files_.size(); ++i) {
      const bool checkedFirst = i % 2 == 1;
      ok = add(series[checkedFirst ? 1 : 0], i) && add(series[checkedFirst ? 0 : 1], i);
    }
    for (const Series& one : series) {
      for (int n = 0; n < one.archives; ++n) ::unlink(archivePath(one, n).c_str());
    }
    return ok;
  }

 private:
  struct Series {
    const char* name;
    bool withChecksums;
    Times& times;
    std::shared_ptr<Zip> zip;
    std::size_t inArchive = 0;
    int archives = 0;
  };

  std::string archivePath(const Series& series, int n) const {
    return root_ + "/tmp/" + series.name + "-" + std::to_string(n) + ".zip";
  }

  // Adds file `i` to the series, finishing its archive when full, and adds the time it took.
  bool add(Series& series, std::size_t i) {
    const double cpuStart = threadCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    if (!series.zip) {
      series.zip = services_.zip->generateZip(archivePath(series, series.archives++));
    }
    const std::string entry = "images/" + std::to_string(i) + ".jpg";
    bool ok =
        series.withChecksums
            ? services_.zip->appendMedia(series.zip, files_[i], entry, kFileSize, std::nullopt).ok()
            : services_.zip->append(series.zip, files_[i], entry, false).ok();
    series.inArchive += kFileSize;
    if (ok && (series.inArchive >= kArchiveSize || i + 1 == files_.size())) {
      ok = services_.zip->appendContent(series.zip, "{}", "backup.json", true).ok();
      series.zip.reset();
      series.inArchive = 0;
    }
    series.times.wall += secondsSince(start);
    series.times.cpu += threadCpuSeconds() - cpuStart;
    return ok;
  }

  std::string root_;
  MediaServices services_;
  std::vector<std::string> files_;
};

// The median over kRounds of (time with checksums / time without), in wall time; the CPU-time
// ratio is printed beside it.
int checksumCost() {
  const char* base = std::getenv("TMPDIR");
  const std::string root = std::string(base != nullptr && *base ? base : "/tmp") +
                           "/tessellon-checksumbench-" + std::to_string(::getpid());
  PackingRun run(root);
  PackingRun::Times ignoredPlain, ignoredChecked;
  // The first round also fills the page cache.
  bool ok = run.writeFiles() && run.pack(ignoredPlain, ignoredChecked);
  std::vector<double> wallRatios;
  std::vector<double> cpuRatios;
  for (int round = 0; ok && round < kRounds; ++round) {
    PackingRun::Times plain, checked;
    ok = run.pack(plain, checked);
    std::fprintf(stderr,
                 "checksum bench: round %d: plain %.2f s (cpu %.2f s), checksums %.2f s (cpu "
                 "%.2f s)\n",
                 round, plain.wall, plain.cpu, checked.wall, checked.cpu);
    wallRatios.push_back(checked.wall / plain.wall);
    cpuRatios.push_back(checked.cpu / plain.cpu);
  }
  std::error_code ignored;
  fs::remove_all(root, ignored);
  if (!ok) {
    std::fprintf(stderr, "checksum bench: cannot write or pack the files in %s\n", root.c_str());
    bench::reportBench("checksum_cost_full_backup", 0, 3, "ratio", "<=", kCostTarget);
    return 1;
  }
  std::sort(wallRatios.begin(), wallRatios.end());
  std::sort(cpuRatios.begin(), cpuRatios.end());
  std::fprintf(stderr, "checksum bench: median CPU-time ratio %.3f\n",
               cpuRatios[cpuRatios.size() / 2]);
  bench::reportBench("checksum_cost_full_backup", wallRatios[wallRatios.size() / 2], 3, "ratio",
                     "<=", kCostTarget);
  return 0;
}

}  // namespace
}  // namespace tessellon

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::fflush(stdout);
  tessellon::bench::reportBench("checksum_xxh3_gb_per_s", tessellon::throughput(), 2, "GB/s",
                                ">=", tessellon::kThroughputTarget);
  return tessellon::checksumCost();
}
