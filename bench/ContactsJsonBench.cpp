// "contacts.json" of 10,000 cards that carry their whole vCard text: the document written to a file
// and read back into records, through the serializer a backup and a restore use. The cards are
// read from an address book first, so each keeps the text the store read. Prints
// "BENCH contacts_json_10k_write_s" and "BENCH contacts_json_10k_read_s".

#include <sys/stat.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>

#include "BenchReport.h"
#include "model/json/MetadataSerializer.h"
#include "platform/contacts/CNContactStoreHelper.h"
#include "platform/contacts/ContactRepository.h"
#include "platform/contacts/VCardWriter.h"

namespace tessellon {
namespace {

constexpr int kCards = 10'000;
constexpr double kSecondsTarget = 1.0;

// Cards as people keep them, with what only the kept text holds: a prefix, a display name of its
// own, X- properties, categories, and on one card in fifty a small photo.
std::string cardText(int index, std::mt19937& random) {
  static const char* const kGiven[] = {"Maren", "Jürgen", "Aiyana", "Chidi", "Émilie", "Kenji"};
  VCard card;
  card.uid = "bench-" + std::to_string(index);
  card.givenName = kGiven[random() % 6];
  card.familyName = "Lindqvist" + std::to_string(index);
  for (unsigned i = 0, n = 1 + random() % 3; i < n; ++i) {
    card.phoneNumbers.push_back(
        {"_$!<Mobile>!$_", "+46 70 " + std::to_string(1000000 + random() % 8999999)});
  }
  card.emailAddresses.push_back(
      {"_$!<Home>!$_", "person" + std::to_string(index) + "@example.org"});
  if (random() % 5 == 0) card.note = std::string(200, 'n') + "\nsecond line, with comma";
  std::string text = VCardWriter::write(card);
  std::string extra = "FN:Dr. " + card.givenName +
                      "\r\nX-PHONETIC-LAST-NAME:Lindkvist\r\n"
                      "X-ANNIVERSARY:2011-06-1" +
                      std::to_string(index % 10) + "\r\nCATEGORIES:Family,Sailing\r\n";
  if (index % 50 == 0) {
    std::string photo = "PHOTO;ENCODING=b;TYPE=JPEG:";
    for (int i = 0; i < 8 * 1024; ++i) photo.push_back("ABCDEFGHIJKLMNOP"[random() % 16]);
    extra += photo.substr(0, 75) + "\r\n";
    for (size_t at = 75; at < photo.size(); at += 74) extra += " " + photo.substr(at, 74) + "\r\n";
  }
  text.insert(text.rfind("END:VCARD"), extra);
  return text;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace
}  // namespace tessellon

int main() {
  using namespace tessellon;
  char pattern[] = "/tmp/tessellon-contacts-json-bench-XXXXXX";
  const std::string root = ::mkdtemp(pattern);
  ::mkdir((root + "/contacts").c_str(), 0700);
  ::mkdir((root + "/contacts/book").c_str(), 0700);
  std::mt19937 random(42);
  for (int index = 0; index < kCards; ++index) {
    std::ofstream(root + "/contacts/book/card-" + std::to_string(index) + ".vcf", std::ios::binary)
        << cardText(index, random);
  }
  auto helper = std::make_shared<CNContactStoreHelper>();
  auto contacts = ContactRepository(root + "/contacts", helper).getExistingContacts();
  if (!contacts.ok() || contacts.value().size() != static_cast<size_t>(kCards)) {
    std::printf("BENCH contacts_json_10k_write_s failed: the address book did not read\n");
    return 1;
  }
  const ItemsMetaData<Contact> document(contacts.value());
  MetadataSerializer serializer;
  const std::string path = root + "/contacts.json";

  double bestWrite = 1e9;
  double bestRead = 1e9;
  size_t bytes = 0;
  bool readBack = true;
  for (int round = 0; round < 3; ++round) {
    auto started = std::chrono::steady_clock::now();
    const Result<std::string> text = serializer.serialize(document);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text.value();
    bestWrite = std::min(bestWrite, secondsSince(started));
    bytes = text.value().size();

    started = std::chrono::steady_clock::now();
    std::ifstream in(path, std::ios::binary);
    const std::string read{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const auto records = serializer.deserializeContacts(read);
    bestRead = std::min(bestRead, secondsSince(started));
    readBack = readBack && records.ok() && records.value()->items &&
               records.value()->items->size() == static_cast<size_t>(kCards) &&
               records.value()->items->back()->vCard == contacts.value().back()->vCard;
  }
  std::system(("rm -rf '" + root + "'").c_str());
  std::printf("contacts.json of %d cards with their text: %.1f MB\n", kCards, bytes / 1e6);
  if (!readBack) {
    std::printf("BENCH contacts_json_10k_read_s failed: the document did not read back\n");
    return 1;
  }
  const bool write =
      bench::reportBench("contacts_json_10k_write_s", bestWrite, 3, "s", "<=", kSecondsTarget);
  const bool read =
      bench::reportBench("contacts_json_10k_read_s", bestRead, 3, "s", "<=", kSecondsTarget);
  return write && read ? 0 : 1;
}
