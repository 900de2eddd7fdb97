// The media scans over a prepared home folder, through the real services: "preview <home> <temp>"
// times the preview scan of the picture folder and measures its peak memory per item;
// "fingerprint <home> <temp>" fingerprints every picture with an empty cache. Prints one
// "RESULT <seconds> <items> <peak bytes per item>" line for the comparison scripts, and on standard
// error when the cache files written behind the scan were all on disk. Without arguments (as
// bench/run-all calls every program) it does nothing.

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "BenchReport.h"
#include "support/AwaitResult.h"
#include "support/MediaServices.h"

int main(int argc, char** argv) {
  using namespace tessellon;
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s preview|fingerprint <home> <temporary>\n", argv[0]);
    return 0;
  }
  const bool preview = std::strcmp(argv[1], "preview") == 0;
  MediaServices services = MediaServices::build({argv[2], argv[3], nullptr, nullptr, nullptr});
  const double baselineMb = bench::procStatusMb("VmRSS");
  const auto token = std::make_shared<CancelToken>();
  const auto start = std::chrono::steady_clock::now();
  size_t items = 0;
  if (preview) {
    auto result =
        awaitResult(services.images->getItemsOnBackupPreview(token), std::chrono::minutes(30));
    if (!result || !result->isSuccess()) return 1;
    items = result->successValue().size();
  } else {
    auto result = awaitResult(services.images->getItemsWithHashOnRestore(token, {Version(1, 1)}),
                              std::chrono::minutes(30));
    if (!result || !result->isSuccess()) return 1;
    items = result->successValue().size();
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double peakBytes = (bench::procStatusMb("VmHWM") - baselineMb) * 1024 * 1024;
  std::printf("RESULT %.4f %zu %.1f\n", seconds, items, items ? peakBytes / items : 0.0);
  // Cache files are written behind the scan; say when the last one is on disk, outside the result.
  std::fflush(stdout);
  services.caching->waitForCacheFiles();
  const double written =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::fprintf(stderr, "cache files on disk %.4f s after the start\n", written);
  return 0;
}
