// Drives preview, backup, listing, verification and restore through the public facade over a host
// whose answers, timing, served documents and archives come from the fuzz input (ScriptedDelegate
// says how the bytes map to answers). The first three script bytes choose the run:
//   plan        bit 0 preview, 1 backup, 2 backup of the preview's record, 3 list, 4 restore a
//               listed backup, 5 verify it, 6 verify reading the data, 7 cancel each operation
//               right after starting it
//   categories  bit 0 images, 1 videos, 2 contacts, 3 calendars, 4 keep deleted items; bits 5-7
//               pick the listed backup
//   archive     the host's largest archive, from a table
// Beyond sanitizer reports, an execution aborts when a promise to the host breaks: an operation
// completes twice, with a value and an error, or not within its time once cancelled; the
// one-operation state leaks into the next execution; the library still holds the host after the
// execution; or a file outside the sandbox, or a file of the home, is written.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tessellon/BackupSDK.h"

#include "core/Async.h"
#include "core/IoC.h"
#include "delegates/LocalFolderDelegate.h"
#include "fuzz/FuzzSandbox.h"
#include "fuzz/FuzzScript.h"
#include "fuzz/ScriptedDelegate.h"

namespace tessellon::fuzz {
namespace {

using namespace std::chrono_literals;

// A well-behaved operation of the small home ends in a few milliseconds; past the budget it is
// cancelled, and a cancelled one must end within the grace time (sanitizers are slow).
constexpr auto kBudget = 100ms;
constexpr auto kGrace = 3s;
constexpr uint8_t kDefaultPlan = 0x1B;  // preview, backup, list, restore

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "remote fuzzer: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

// Calls every message closure, as a real logger would, and keeps nothing.
class DiscardingLogger final : public LoggerProtocol {
 public:
  void log(LogLevel, const std::function<std::string()>& message) override { (void)message(); }
};

// One operation's completion as the host sees it.
template <class T>
struct Completion {
  std::mutex mutex;
  std::promise<void> done;
  int calls = 0;
  T value{};
  std::optional<Error> error;

  void complete(T result, std::optional<Error> failure, const char* operation) {
    std::lock_guard lock(mutex);
    if (++calls > 1) fail(std::string(operation) + " completed twice");
    const bool hasValue = static_cast<bool>(result);
    if (hasValue && failure) fail(std::string(operation) + " completed with a value and an error");
    if (failure && failure->domain == "BackupSDKError" && failure->code == 101) {
      fail(std::string(operation) + " was refused: an earlier execution's operation still runs");
    }
    value = std::move(result);
    error = std::move(failure);
    done.set_value();
  }
};

class Execution {
 public:
  Execution(BackupSDK& sdk, bool cancelAtOnce) : sdk_(sdk), cancelAtOnce_(cancelAtOnce) {}

  // Starts an operation through `start`, then waits for it, cancelling it past the budget.
  template <class T, class Start>
  T run(const char* operation, Start&& start) {
    auto completion = std::make_shared<Completion<T>>();
    std::future<void> done = completion->done.get_future();
    start([completion, operation](T value, std::optional<Error> error) {
      completion->complete(std::move(value), std::move(error), operation);
    });
    if (cancelAtOnce_ || done.wait_for(kBudget) != std::future_status::ready) cancel(operation);
    if (done.wait_for(kGrace) != std::future_status::ready) {
      fail(std::string(operation) + " did not end after it was cancelled");
    }
    if (std::getenv("TESSELLON_FUZZ_TRACE")) {
      const auto& error = completion->error;
      std::fprintf(
          stderr, "%s: %s\n", operation,
          error ? (error->domain + " " + std::to_string(error->code) + " " + error->message).c_str()
          : completion->value ? "done"
                              : "cancelled");
    }
    return completion->value;
  }

 private:
  void cancel(const char* operation) {
    auto told = std::make_shared<std::promise<void>>();
    std::future<void> toldFuture = told->get_future();
    sdk_.cancel([told] { told->set_value(); });
    if (toldFuture.wait_for(kGrace) != std::future_status::ready) {
      fail(std::string("the cancel of ") + operation + " never completed");
    }
  }

  BackupSDK& sdk_;
  const bool cancelAtOnce_;
};

int64_t zipSizeFor(uint8_t selector) {
  static const int64_t sizes[] = {
      1, 200, 4096, 1 << 20, hosts::LocalFolderDelegate::kDefaultZipSize, 0, -1};
  return sizes[selector % std::size(sizes)];
}

void waitForBackgroundQueue() {
  auto drained = std::make_shared<std::promise<void>>();
  std::future<void> done = drained->get_future();
  Async::background([drained] { drained->set_value(); });
  if (done.wait_for(kGrace) != std::future_status::ready) {
    fail("the library's background queue is still busy after the execution");
  }
}

void operate(BackupSDK& sdk, uint8_t plan, uint8_t categories) {
  const bool images = categories & 1, videos = categories & 2, contacts = categories & 4,
             calendars = categories & 8, keepDeleted = categories & 16;
  const BackupSettings settings("fuzz", contacts, calendars, videos, images, keepDeleted);
  Execution execution(sdk, plan & 0x80);
  using BackupResult = std::shared_ptr<Backup>;
  using ReportResult = std::shared_ptr<ProcessReport>;
  using ListResult = std::optional<std::vector<std::shared_ptr<Backup>>>;

  BackupResult previewed;
  if (plan & 1) {
    previewed = execution.run<BackupResult>("preview", [&](auto done) {
      sdk.startPreview(
          settings, [](int) {}, done);
    });
  }
  if (plan & 2) {
    execution.run<ReportResult>("backup", [&](auto done) {
      sdk.startBackup(
          settings, [](const FileStatus&) {}, done);
    });
  }
  if ((plan & 4) && previewed) {
    execution.run<ReportResult>("backup of the previewed record", [&](auto done) {
      sdk.startBackup(
          previewed, [](const FileStatus&) {}, done);
    });
  }
  ListResult listed;
  if (plan & (8 | 16 | 32)) {
    listed =
        execution.run<ListResult>("listing", [&](auto done) { sdk.getAvailableBackups(done); });
  }
  if (!listed || listed->empty()) return;
  const std::shared_ptr<Backup> chosen = (*listed)[(categories >> 5) % listed->size()];
  if (!chosen) fail("the listing holds no backup where it says one is");
  if (plan & 16) {
    execution.run<ReportResult>("restore", [&](auto done) {
      sdk.startRestore(
          chosen, Settings(contacts, calendars, videos, images), [](const FileStatus&) {}, done);
    });
  }
  if (plan & 32) {
    execution.run<std::shared_ptr<VerifyReport>>(
        "verify", [&](auto done) { sdk.verify(chosen, plan & 64, done); });
  }
}

void execute(const uint8_t* data, size_t size) {
  auto script = std::make_shared<FuzzScript>(data, size);
  const uint8_t plan = script->byte(kDefaultPlan);
  const uint8_t categories = script->byte(0x0F);
  const int64_t zipSize = zipSizeFor(script->byte(2));

  FuzzSandbox sandbox;
  sandbox.serve(script->served());
  auto host = std::make_shared<ScriptedDelegate>(
      std::make_shared<hosts::LocalFolderDelegate>(sandbox.remote(), zipSize, std::nullopt,
                                                   sandbox.temporary()),
      script, ScriptedDelegate::Paths{sandbox.temporary(), sandbox.foreign(), sandbox.canary()},
      zipSize);
  {
    BackupSDK sdk(host, std::make_shared<DiscardingLogger>(), sandbox.options());
    host->onCancelRequest([&sdk] { sdk.cancel(nullptr); });
    operate(sdk, plan, categories);
    host->onCancelRequest(nullptr);
  }
  host->shutdown();
  // The services live in the process-wide container until the next set-up; an execution must
  // leave nothing behind, so it lets them go now.
  IoC::reset();
  waitForBackgroundQueue();
  const auto deadline = std::chrono::steady_clock::now() + kGrace;
  while (host.use_count() > 1) {
    if (std::chrono::steady_clock::now() > deadline) {
      fail("the library still holds the host after the execution");
    }
    std::this_thread::sleep_for(1ms);
  }
  if (std::string escaped = sandbox.violation(); !escaped.empty()) fail(escaped);
}

}  // namespace
}  // namespace tessellon::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tessellon::fuzz::execute(data, size);
  return 0;
}
