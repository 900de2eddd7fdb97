// Reading an address book of 10,000 cards through the contact store: every file
// opened, parsed and mapped to a record, as the backup preview does. Prints
// "BENCH vcard_read_10k_s" after the Google Benchmark report.

#include <sys/stat.h>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "BenchReport.h"
#include "platform/contacts/ContactRepositoryFactory.h"
#include "platform/contacts/VCardWriter.h"

namespace tessellon {
namespace {

constexpr int kCards = 10'000;
constexpr double kSecondsTarget = 1.0;

// Cards as people keep them: names, one to three phones and mails, some
// addresses, custom labels, birthdays with and without a year, a few notes.
VCard generatedCard(int index, std::mt19937& random) {
  static const char* const kGiven[] = {"Maren", "Jürgen", "Aiyana", "Chidi", "Émilie", "Kenji"};
  static const char* const kFamily[] = {"Lindqvist", "Müller", "Redcloud", "Okafor", "Nakamura"};
  static const char* const kPhoneLabels[] = {"_$!<Mobile>!$_", "_$!<Home>!$_", "_$!<Work>!$_",
                                             "Sommerhaus"};
  VCard card;
  card.uid = "bench-" + std::to_string(index);
  card.givenName = kGiven[random() % 6];
  card.familyName = std::string(kFamily[random() % 5]) + std::to_string(index);
  if (random() % 3 == 0) card.organizationName = "Fjordlys Instruments AB";
  for (unsigned i = 0, n = 1 + random() % 3; i < n; ++i) {
    card.phoneNumbers.push_back(
        {kPhoneLabels[random() % 4], "+46 70 " + std::to_string(1000000 + random() % 8999999)});
  }
  for (unsigned i = 0, n = random() % 3; i < n; ++i) {
    card.emailAddresses.push_back({"_$!<Home>!$_", "person" + std::to_string(index) + "." +
                                                       std::to_string(i) + "@example.org"});
  }
  if (random() % 2 == 0) {
    card.postalAddresses.push_back({"_$!<Home>!$_", "Storgatan " + std::to_string(random() % 90),
                                    "Göteborg", "", "411 38", "Sweden", "se"});
  }
  if (random() % 2 == 0) {
    card.birthday =
        VCard::Birthday{random() % 4 == 0 ? std::nullopt : std::optional<int>(1950 + random() % 60),
                        static_cast<int>(1 + random() % 12), static_cast<int>(1 + random() % 28)};
  }
  if (random() % 5 == 0) card.note = std::string(200, 'n') + "\nsecond line, with comma";
  return card;
}

std::string makeAddressBook() {
  char pattern[] = "/tmp/tessellon-vcard-bench-XXXXXX";
  const std::string root = ::mkdtemp(pattern);
  const std::string book = root + "/book";
  ::mkdir(book.c_str(), 0700);
  std::mt19937 random(42);
  for (int i = 0; i < kCards; ++i) {
    const std::string path = book + "/card-" + std::to_string(i) + ".vcf";
    FILE* file = std::fopen(path.c_str(), "wb");
    const std::string text = VCardWriter::write(generatedCard(i, random));
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
  }
  return root;
}

std::string& addressBook() {
  static std::string root = makeAddressBook();
  return root;
}

void BM_ReadAddressBook(benchmark::State& state) {
  const auto store = ContactRepositoryFactory::create(addressBook());
  for (auto _ : state) {
    auto contacts = store->getExistingContacts();
    if (!contacts.ok() || contacts.value().size() != kCards) {
      state.SkipWithError("address book unreadable");
    }
    benchmark::DoNotOptimize(contacts);
  }
}
BENCHMARK(BM_ReadAddressBook)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

class CapturingReporter final : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.benchmark_name().rfind("BM_ReadAddressBook", 0) == 0 && !run.error_occurred) {
        readSeconds = run.GetAdjustedRealTime() / 1000.0;  // reported in milliseconds
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  std::optional<double> readSeconds;
};

}  // namespace
}  // namespace tessellon

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  tessellon::CapturingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::system(("rm -rf '" + tessellon::addressBook() + "'").c_str());
  if (reporter.readSeconds) {
    tessellon::bench::reportBench("vcard_read_10k_s", *reporter.readSeconds, 3, "s",
                                  "<=", tessellon::kSecondsTarget);
  }
  return 0;
}
