// Futures: continuation hops per second through the pool, latency from a
// completion to its continuation starting, and memory over a million-step chain.
// Prints "BENCH futures_hops_per_s ..." and "BENCH futures_chain_rss_growth_mb ..."
// after the Google Benchmark report.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "BenchReport.h"
#include "futures/Future.h"
#include "futures/ThreadPool.h"

namespace tessellon {
namespace {

constexpr double kHopsTarget = 100'000;
constexpr double kRssGrowthTargetMb = 64;

// Waits without the main-thread warning of waitUntilCompleted.
template <class T>
FutureResult<T> await(const Future<T>& future) {
  std::mutex mutex;
  std::condition_variable done;
  std::optional<FutureResult<T>> result;
  future.onComplete(Executor::immediate(), [&](const FutureResult<T>& r) {
    std::lock_guard lock(mutex);
    result = r;
    done.notify_all();
  });
  std::unique_lock lock(mutex);
  done.wait(lock, [&] { return result.has_value(); });
  return *result;
}

// A chain of `hops` onSuccess(+1) links on the default executor.
Future<int> addOneChain(Future<int> start, int hops) {
  for (int i = 0; i < hops; ++i) start = start.onSuccess([](int v) { return v + 1; });
  return start;
}

// Completes from a pool thread, so every link of a default chain is a pool work item.
void completeOnPool(const Promise<int>& promise) {
  ThreadPool::shared()->add([promise] { promise.completeWithSuccess(0); });
}

// Makes VmHWM restart from the current RSS.
void resetPeakRss() { std::ofstream("/proc/self/clear_refs") << "5"; }

// Hands the allocator's free lists back to the system, so that the RSS left is
// memory still in use rather than freed chunks glibc keeps for reuse.
void releaseFreeMemory() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

void BM_ContinuationHops(benchmark::State& state) {
  const int hops = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    Promise<int> promise;
    const Future<int> last = addOneChain(promise.future, hops);
    state.ResumeTiming();
    completeOnPool(promise);
    const FutureResult<int> result = await(last);
    if (!result.isSuccess() || result.successValue() != hops) state.SkipWithError("wrong result");
  }
  state.SetItemsProcessed(state.iterations() * hops);
}
BENCHMARK(BM_ContinuationHops)->Arg(10'000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PromiseToContinuation(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  for (auto _ : state) {
    Promise<int> promise;
    std::atomic<bool> started{false};
    Clock::time_point startedAt;
    promise.future.onSuccess(Executor::defaultQoS(), [&](int) {
      startedAt = Clock::now();
      started = true;
      started.notify_one();
    });
    const Clock::time_point completedAt = Clock::now();
    promise.completeWithSuccess(1);
    started.wait(false);
    state.SetIterationTime(std::chrono::duration<double>(startedAt - completedAt).count());
  }
}
BENCHMARK(BM_PromiseToContinuation)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The whole chain is built before it runs, so the peak holds a million pending
// links; once it has run, every link but the last must have been released.
void BM_MillionStepChainMemory(benchmark::State& state) {
  constexpr int kSteps = 1'000'000;
  for (auto _ : state) {
    releaseFreeMemory();
    const double before = bench::procStatusMb("VmRSS");
    resetPeakRss();
    Promise<int> promise;
    const Future<int> last = addOneChain(promise.future, kSteps);
    completeOnPool(promise);
    if (await(last).successValue() != kSteps) state.SkipWithError("wrong result");
    const double peak = bench::procStatusMb("VmHWM");
    state.counters["rss_untrimmed_mb"] = bench::procStatusMb("VmRSS") - before;
    releaseFreeMemory();
    state.counters["rss_growth_mb"] = bench::procStatusMb("VmRSS") - before;
    state.counters["peak_growth_mb"] = peak - before;
    state.counters["bytes_per_pending_link"] = (peak - before) * 1024 * 1024 / kSteps;
  }
}
BENCHMARK(BM_MillionStepChainMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

// Keeps the figures the BENCH lines need while the console report goes on as usual.
class CapturingReporter final : public benchmark::ConsoleReporter {
 public:
  // Without colour: the output usually ends up in a log file.
  CapturingReporter() : ConsoleReporter(OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const std::string name = run.benchmark_name();
      if (name.rfind("BM_ContinuationHops", 0) == 0) {
        hopsPerSecond = run.counters.at("items_per_second").value;
      } else if (name.rfind("BM_MillionStepChainMemory", 0) == 0) {
        rssGrowthMb = run.counters.at("rss_growth_mb").value;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  std::optional<double> hopsPerSecond;
  std::optional<double> rssGrowthMb;
};

}  // namespace
}  // namespace tessellon

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  tessellon::CapturingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  using tessellon::kHopsTarget;
  using tessellon::kRssGrowthTargetMb;
  if (reporter.hopsPerSecond) {
    tessellon::bench::reportBench("futures_hops_per_s", *reporter.hopsPerSecond, 0, "hops/s",
                                  ">=", kHopsTarget);
  }
  if (reporter.rssGrowthMb) {
    reporter.rssGrowthMb = std::max(0.0, *reporter.rssGrowthMb);  // a shrink is no growth
    tessellon::bench::reportBench("futures_chain_rss_growth_mb", *reporter.rssGrowthMb, 1, "MB",
                                  "<=", kRssGrowthTargetMb);
  }
  return 0;
}
