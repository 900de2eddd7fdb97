// "images.json" of 100,000 items: writing the document to a file and reading it
// back into records, through the functions behind the metadata serializer.
// Prints "BENCH images_json_100k_write_s", "..._read_s" and "..._peak_rss_mb"
// after the Google Benchmark report.

#include <cstdio>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "BenchReport.h"
#include "model/json/MediaMetaDataJson.h"

namespace tessellon {
namespace {

constexpr int kItems = 100'000;
constexpr double kSecondsTarget = 1.0;
constexpr double kPeakRssTargetMb = 300;
const char* const kDocumentPath = "images-bench.json";

// A library as a camera and a phone fill it: dated folders, camera file names,
// a few files found twice, sizes from 100 kB to 8 MB, ten years of dates.
std::shared_ptr<MediaMetaData> library() {
  std::mt19937_64 random(42);
  static const char* const kFolders[] = {"Urlaub Italien", "Geburtstag", "Import", "Screenshots",
                                         "Photos Library.photoslibrary/originals/A"};
  static const char* const kExtensions[] = {"jpg", "JPG", "heic", "png", "CR2"};
  MediaMetaData::Items items;
  items.reserve(kItems);
  char hex[33];
  for (int i = 0; i < kItems; ++i) {
    const uint64_t high = random();
    const uint64_t low = random();
    std::snprintf(hex, sizeof hex, "%016llx%016llx", static_cast<unsigned long long>(high),
                  static_cast<unsigned long long>(low));
    const std::string extension = kExtensions[random() % 5];
    const std::string path = std::to_string(2012 + static_cast<int>(random() % 10)) + "/" +
                             kFolders[random() % 5] + "/IMG_" + std::to_string(10000 + i) + "." +
                             extension;
    std::vector<std::string> paths{path};
    if (i % 20 == 0) paths.push_back("Kopien/IMG_" + std::to_string(10000 + i) + "." + extension);
    const auto modified = Date(std::chrono::milliseconds(
        1'330'000'000'000 + static_cast<int64_t>(random() % 315'000'000'000)));
    items.push_back(
        std::make_shared<MediaItem>(extension, 100'000 + static_cast<int64_t>(random() % 8'000'000),
                                    path, modified, "1.1_" + std::string(hex), paths));
  }
  return std::make_shared<MediaMetaData>(std::move(items));
}

void writeDocument(const MediaMetaData& metaData) {
  const std::optional<std::string> text = MediaMetaDataJson::serializeText(metaData);
  std::ofstream(kDocumentPath, std::ios::binary | std::ios::trunc) << text.value();
}

std::shared_ptr<MediaMetaData> readDocument() {
  std::ifstream file(kDocumentPath, std::ios::binary | std::ios::ate);
  std::string content(static_cast<size_t>(file.tellg()), '\0');
  file.seekg(0);
  file.read(content.data(), static_cast<std::streamsize>(content.size()));
  Result<std::shared_ptr<MediaMetaData>> metaData = MediaMetaDataJson::deserializeText(content);
  return metaData.ok() ? metaData.value() : nullptr;
}

void BM_WriteImagesJson(benchmark::State& state) {
  const auto metaData = library();
  for (auto _ : state) writeDocument(*metaData);
}
BENCHMARK(BM_WriteImagesJson)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadImagesJson(benchmark::State& state) {
  writeDocument(*library());
  for (auto _ : state) {
    const auto metaData = readDocument();
    if (!metaData || metaData->items->size() != kItems) state.SkipWithError("document unreadable");
    benchmark::DoNotOptimize(metaData);
  }
}
BENCHMARK(BM_ReadImagesJson)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

class CapturingReporter final : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const double seconds = run.GetAdjustedRealTime() / 1000.0;  // reported in milliseconds
      if (run.benchmark_name().rfind("BM_WriteImagesJson", 0) == 0) writeSeconds = seconds;
      if (run.benchmark_name().rfind("BM_ReadImagesJson", 0) == 0) readSeconds = seconds;
    }
    ConsoleReporter::ReportRuns(runs);
  }

  std::optional<double> writeSeconds;
  std::optional<double> readSeconds;
};

void printResult(const char* name, double value, const char* unit, double target) {
  bench::reportBench(name, value, 3, unit, "<=", target);
}

}  // namespace
}  // namespace tessellon

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  tessellon::CapturingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::remove(tessellon::kDocumentPath);

  using tessellon::printResult;
  if (reporter.writeSeconds) {
    printResult("images_json_100k_write_s", *reporter.writeSeconds, "s", tessellon::kSecondsTarget);
  }
  if (reporter.readSeconds) {
    printResult("images_json_100k_read_s", *reporter.readSeconds, "s", tessellon::kSecondsTarget);
  }
  printResult("images_json_100k_peak_rss_mb", tessellon::bench::procStatusMb("VmHWM"), "MB",
              tessellon::kPeakRssTargetMb);
  return 0;
}
