// Reading a calendar folder of 1,000 events, 100 of them weekly series, with every series
// expanded over the two-year backup window: the work behind the calendars preview. The
// files are written by the store itself, so half of them carry a zone definition as ours do.
// Prints "BENCH ical_read_1k_s" after the Google Benchmark report.

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <string>

#include <benchmark/benchmark.h>

#include "BenchReport.h"
#include "platform/calendar/EventStoreProtocol.h"

namespace tessellon {
namespace {

constexpr int kEvents = 1'000;
constexpr int kSeries = 100;
constexpr double kSecondsTarget = 1.0;

std::string root() {
  const char* temporary = std::getenv("TMPDIR");
  return std::string(temporary != nullptr ? temporary : "/tmp") + "/tessellon-calendar-bench";
}

Date now() {
  return std::chrono::floor<std::chrono::milliseconds>(std::chrono::system_clock::now());
}

void writeCalendar() {
  std::error_code ignored;
  std::filesystem::remove_all(root(), ignored);
  std::filesystem::create_directories(root());
  auto store = openEventStore(root(), nullptr);
  if (!store->requestAccess().ok()) std::abort();
  auto calendar = store->newCalendar();
  calendar->title = "Work";
  if (!store->saveCalendar(calendar, true).ok()) std::abort();
  std::mt19937 random(7);
  const Date start = now() - std::chrono::days(365);
  static const char* const kZones[] = {"Europe/Berlin", "America/New_York"};
  for (int i = 0; i < kEvents; ++i) {
    auto event = store->newEvent();
    event->calendar = calendar;
    event->title = "Event " + std::to_string(i);
    event->notes = "Agenda for meeting " + std::to_string(i);
    event->location = "Room " + std::to_string(i % 40);
    event->startDate = start + std::chrono::minutes(random() % (730 * 24 * 60));
    event->endDate = event->startDate + std::chrono::minutes(30 + 30 * (random() % 4));
    if (i % 10 == 3) {
      event->isAllDay = true;
    } else if (i % 2 == 0) {
      event->timeZone = kZones[(i / 2) % 2];
    }
    if (i < kSeries) {
      event->startDate = start + std::chrono::hours(24 * (i % 7) + 9);
      event->endDate = event->startDate + std::chrono::hours(1);
      event->recurrenceRules = {RecurrenceRule{"FREQ=WEEKLY"}};
    }
    if (!store->saveEvent(event, StoreEventSpan::futureEvents, false).ok()) std::abort();
  }
  if (!store->commit().ok()) std::abort();
}

size_t readCalendar() {
  auto store = openEventStore(root(), nullptr);
  std::vector<std::shared_ptr<StoreEvent>> events =
      store->events(now() - std::chrono::days(366), now() + std::chrono::days(366), {});
  std::sort(events.begin(), events.end(),
            [](const auto& left, const auto& right) { return left->startDate < right->startDate; });
  return events.size();
}

std::optional<double> readSeconds;

void BM_ReadCalendar(benchmark::State& state) {
  writeCalendar();
  size_t occurrences = 0;
  for (auto _ : state) occurrences = readCalendar();
  // 900 single events and about 105 occurrences of each weekly series.
  if (occurrences < kEvents - kSeries + kSeries * 100) state.SkipWithError("events missing");
  state.counters["occurrences"] = static_cast<double>(occurrences);
}
BENCHMARK(BM_ReadCalendar)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

class CapturingReporter final : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.benchmark_name().rfind("BM_ReadCalendar", 0) == 0 && !run.error_occurred) {
        readSeconds = run.GetAdjustedRealTime() / 1000.0;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace
}  // namespace tessellon

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  tessellon::CapturingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::error_code ignored;
  std::filesystem::remove_all(tessellon::root(), ignored);
  if (!tessellon::readSeconds) return 1;
  tessellon::bench::reportBench("ical_read_1k_s", *tessellon::readSeconds, 3, "s",
                                "<=", tessellon::kSecondsTarget);
  return 0;
}
