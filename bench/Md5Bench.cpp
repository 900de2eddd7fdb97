// MD5: our digest's throughput beside `openssl md5` over the same 1 GiB file, in one run.
// Prints "BENCH md5_vs_openssl <ratio> ratio ..." after the Google Benchmark report; the ratio is
// our throughput over openssl's, the best of three rounds each with the file in the page cache.

#include <fcntl.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "BenchReport.h"
#include "media/fingerprints/Md5.h"

namespace tessellon {
namespace {

constexpr double kRatioTarget = 0.8;
constexpr std::int64_t kFileSize = std::int64_t{1} << 30;
constexpr std::size_t kBlockSize = std::size_t{1} << 20;
constexpr int kRounds = 3;

void BM_Md5(benchmark::State& state) {
  std::vector<unsigned char> data(static_cast<std::size_t>(state.range(0)));
  std::mt19937 generator(1);
  for (unsigned char& byte : data) byte = static_cast<unsigned char>(generator());
  for (auto _ : state) {
    benchmark::DoNotOptimize(Md5::digest(data.data(), data.size()));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Md5)->Arg(64)->Arg(8192)->Arg(1 << 20);

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Writes kFileSize bytes of pseudo-random content; false on failure.
bool writeFile(const std::string& path) {
  const int descriptor = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
  if (descriptor < 0) return false;
  std::vector<std::uint64_t> block(kBlockSize / sizeof(std::uint64_t));
  std::mt19937_64 generator(42);
  bool ok = true;
  for (std::int64_t written = 0; ok && written < kFileSize; written += kBlockSize) {
    for (std::uint64_t& word : block) word = generator();
    ok = ::write(descriptor, block.data(), kBlockSize) == static_cast<ssize_t>(kBlockSize);
  }
  return ::close(descriptor) == 0 && ok;
}

// Our digest of the file read in 1 MiB blocks, as a file is hashed in practice.
std::string ourDigest(const std::string& path) {
  const int descriptor = ::open(path.c_str(), O_RDONLY);
  if (descriptor < 0) return {};
  std::vector<unsigned char> block(kBlockSize);
  Md5 md5;
  for (ssize_t count; (count = ::read(descriptor, block.data(), block.size())) > 0;) {
    md5.update(block.data(), static_cast<std::size_t>(count));
  }
  ::close(descriptor);
  return Md5::toHex(md5.finish());
}

// The digest `openssl md5 -r` prints for the file; empty when it cannot run.
std::string opensslDigest(const std::string& path) {
  FILE* pipe = ::popen(("openssl md5 -r '" + path + "' 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return {};
  char line[256] = {};
  const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
  if (::pclose(pipe) != 0 || !read) return {};
  return std::string(line).substr(0, 32);
}

int compareWithOpenssl() {
  const char* base = std::getenv("TMPDIR");
  const std::string path = std::string(base != nullptr && *base ? base : "/tmp") +
                           "/tessellon-md5bench-" + std::to_string(::getpid());
  if (!writeFile(path)) {
    std::fprintf(stderr, "md5 bench: cannot write %s\n", path.c_str());
    ::unlink(path.c_str());
    return 1;
  }
  std::string ours = ourDigest(path);  // also warms the page cache
  double oursBest = 1e9;
  double opensslBest = 1e9;
  std::string theirs;
  for (int round = 0; round < kRounds; ++round) {
    auto start = std::chrono::steady_clock::now();
    ours = ourDigest(path);
    oursBest = std::min(oursBest, secondsSince(start));
    start = std::chrono::steady_clock::now();
    theirs = opensslDigest(path);
    opensslBest = std::min(opensslBest, secondsSince(start));
  }
  ::unlink(path.c_str());

  if (theirs.empty()) {
    std::fprintf(stderr, "md5 bench: openssl md5 did not run\n");
    return 1;
  }
  const double mib = static_cast<double>(kFileSize) / (1 << 20);
  std::fprintf(stderr, "md5 bench: ours %.0f MiB/s (%s), openssl %.0f MiB/s (%s)\n", mib / oursBest,
               ours.c_str(), mib / opensslBest, theirs.c_str());
  if (ours != theirs) {
    std::fprintf(stderr, "md5 bench: digests differ\n");
    bench::reportBench("md5_vs_openssl", 0, 2, "ratio", ">=", kRatioTarget);
    return 1;
  }
  const double ratio = opensslBest / oursBest;
  bench::reportBench("md5_vs_openssl", ratio, 2, "ratio", ">=", kRatioTarget);
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
  return tessellon::compareWithOpenssl();
}
