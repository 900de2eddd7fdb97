// Restoring a backup of 10,000 cards twice into one address book, as a person does who is not
// sure the first run finished: the second run must find every card and add none. Prints
// "BENCH contacts_restore_10k_twice_s" (both runs together).

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "BenchReport.h"
#include "platform/contacts/CNContactStoreHelper.h"
#include "platform/contacts/ContactRepository.h"
#include "platform/contacts/VCardReader.h"
#include "platform/contacts/VCardWriter.h"
#include "restore/RestoreContactsUnit.h"

namespace tessellon {
namespace {

constexpr int kCards = 10'000;
constexpr double kSecondsTarget = 5.0;

// Records as a backup document holds them: names, phones and mails with predefined and custom
// labels, some addresses, birthdays, notes, and the shapes other devices write (empty lists, a
// messenger code, an untyped URL).
std::shared_ptr<Contact> generatedContact(int index, std::mt19937& random) {
  static const char* const kGiven[] = {"Maren", "Jürgen", "Aiyana", "Chidi", "Émilie", "Kenji"};
  static const char* const kLabels[] = {"_$!<Mobile>!$_", "_$!<Home>!$_", "_$!<Work>!$_",
                                        "Sommerhaus"};
  auto contact = std::make_shared<Contact>();
  contact->firstName = kGiven[random() % 6];
  contact->lastName = "Lindqvist" + std::to_string(index);
  if (random() % 3 == 0) contact->company = "Fjordlys Instruments AB";
  std::vector<PhoneNumber> phones;
  for (unsigned i = 0, n = random() % 3; i < n; ++i) {
    phones.push_back(
        {kLabels[random() % 4], "+46 70 " + std::to_string(1000000 + random() % 8999999)});
  }
  contact->numbers = phones;
  if (random() % 2 == 0) {
    contact->emails = std::vector<EmailAddress>{
        {"_$!<Home>!$_", "person" + std::to_string(index) + "@example.org"}};
  }
  if (random() % 2 == 0) {
    contact->addresses = std::vector<PostAddress>{{"_$!<Home>!$_", "411 38",
                                                   "Storgatan " + std::to_string(random() % 90),
                                                   "Göteborg", "Sweden", std::nullopt, "se"}};
  }
  if (random() % 4 == 0) {
    contact->instantMessageAddress =
        std::vector<InstantMessageAddress>{{"3", "user" + std::to_string(index), ""}};
  }
  if (random() % 4 == 0)
    contact->url = std::vector<Url>{{"", "https://example.org/" + std::to_string(index)}};
  if (random() % 5 == 0) contact->note = std::string(200, 'n') + "\nsecond line, with comma";
  return contact;
}

size_t cardFiles(const std::string& root) {
  size_t count = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    count += entry.path().extension() == ".vcf";
  }
  return count;
}

}  // namespace
}  // namespace tessellon

int main() {
  using namespace tessellon;
  // TMPDIR picks the file system: one that churned through millions of files spends most of
  // this run finding free inodes.
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                        "/tessellon-contacts-restore-bench-XXXXXX";
  const std::string root = ::mkdtemp(pattern.data());
  std::mt19937 random(42);
  std::vector<std::shared_ptr<Contact>> backup;
  for (int index = 0; index < kCards; ++index) backup.push_back(generatedContact(index, random));

  auto helper = std::make_shared<CNContactStoreHelper>();
  // Each card keeps the text an address book gave it, as a backup of this version holds it.
  for (int index = 0; index < kCards; ++index) {
    VCard card = helper->mapContact(*backup[index]);
    card.uid = "bench-" + std::to_string(index);
    backup[index]->vCard = VCardReader::read(VCardWriter::write(card)).cards.front().source;
  }
  RestoreContactsUnit unit(std::make_shared<ContactRepository>(root + "/contacts", helper), helper);
  const auto started = std::chrono::steady_clock::now();
  const bool first = unit.persist(backup).waitUntilCompleted().isSuccess();
  const double firstSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  const size_t afterFirst = cardFiles(root);
  const bool second = unit.persist(backup).waitUntilCompleted().isSuccess();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  const size_t afterSecond = cardFiles(root);
  std::system(("rm -rf '" + root + "'").c_str());

  std::printf("first run %s in %.2f s, %zu cards; second run %s, %zu cards\n",
              first ? "ok" : "FAILED", firstSeconds, afterFirst, second ? "ok" : "FAILED",
              afterSecond);
  if (!first || !second || afterFirst != static_cast<size_t>(kCards) || afterSecond != afterFirst) {
    std::printf("BENCH contacts_restore_10k_twice_s failed: a run failed or added cards twice\n");
    return 1;
  }
  bench::reportBench("contacts_restore_10k_twice_s", seconds, 2, "s", "<=", kSecondsTarget);
  return 0;
}
