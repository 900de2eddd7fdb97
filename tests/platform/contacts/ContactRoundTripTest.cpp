#include <sys/wait.h>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/json/ContactJson.h"
#include "model/json/ItemsMetaDataJson.h"
#include "model/json/JsonText.h"
#include "platform/contacts/CNContactStoreHelper.h"
#include "platform/contacts/ContactRepository.h"
#include "restore/RestoreContactsUnit.h"
#include "support/AwaitResult.h"
#include "support/ErrorMatchers.h"
#include "support/RecordingLogger.h"
#include "support/TempDir.h"

namespace tessellon {
namespace {

namespace fs = std::filesystem;
using Contacts = std::vector<std::shared_ptr<Contact>>;

// Backs address books up and restores them the way a run does: the store's records, through
// "contacts.json", into another store.
class ContactRoundTripTest : public ::testing::Test {
 protected:
  std::shared_ptr<ContactRepository> store(const std::string& name) const {
    return std::make_shared<ContactRepository>(dir_.file(name), helper_, logger_);
  }

  // The records of a store in a fixed order: file names (and so the order of reading) are the
  // store's own.
  std::vector<Contact> recordsIn(const std::string& name) const {
    auto contacts = store(name)->getExistingContacts();
    EXPECT_TRUE(contacts.ok());
    std::vector<Contact> records;
    for (const auto& contact : contacts.value()) records.push_back(*contact);
    std::sort(records.begin(), records.end(), [](const Contact& left, const Contact& right) {
      return left.description() < right.description();
    });
    return records;
  }

  // The records as "contacts.json" carries them and a restore reads them back.
  static Contacts throughDocument(const Contacts& contacts) {
    const std::string text =
        toJSONString(ItemsMetaDataJson<Contact>::serialize(ItemsMetaData<Contact>(contacts)))
            .value();
    auto read = ItemsMetaDataJson<Contact>::deserialize(parseJson(text).value());
    EXPECT_TRUE(read.ok());
    return read.ok() ? *read.value()->items : Contacts{};
  }

  void restore(const Contacts& contacts, const std::string& name) const {
    RestoreContactsUnit unit(store(name), helper_);
    EXPECT_THAT(awaitResult(unit.persist(contacts)), SucceedsWith(Void{}));
  }

  // khard's names of the cards of one address book folder, sorted; nothing without khard.
  std::optional<std::vector<std::string>> khardNames(const std::string& folder) const {
    if (std::system("command -v khard >/dev/null 2>&1") != 0) return std::nullopt;
    const std::string config =
        dir_.write("khard.conf", "[addressbooks]\n[[book]]\npath = " + folder +
                                     "\n[general]\ndefault_action = list\n"
                                     "[vcard]\nskip_unparsable = no\n");
    FILE* pipe = ::popen(("khard -c '" + config + "' list -p 2>&1").c_str(), "r");
    std::string output;
    char buffer[4096];
    while (size_t count = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, count);
    const int status = ::pclose(pipe);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
    std::vector<std::string> names;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
      const size_t first = line.find('\t');
      const size_t second = line.find('\t', first + 1);
      if (first != std::string::npos) names.push_back(line.substr(first + 1, second - first - 1));
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  // The name a card of `contact` is listed under.
  static std::string listedName(const Contact& contact) {
    std::string name;
    for (const auto& part : {contact.firstName, contact.middleName, contact.lastName}) {
      if (!part || part->empty()) continue;
      name += (name.empty() ? "" : " ") + *part;
    }
    if (contact.contactType == 1 && contact.company) return *contact.company;
    return name.empty() ? contact.company.value_or(contact.nickname.value_or("")) : name;
  }

  TempDir dir_;
  std::shared_ptr<CNContactStoreHelper> helper_ = std::make_shared<CNContactStoreHelper>();
  std::shared_ptr<RecordingLogger> logger_ = std::make_shared<RecordingLogger>();
};

// Each file of real exporters' shapes: its records survive "contacts.json" and two restores into
// an empty address book field for field, once each, and khard lists every one of them once.
TEST_F(ContactRoundTripTest, EveryExportedShapeComesBackExactlyOnce) {
  for (const auto& file : fs::directory_iterator(fs::path(TESSELLON_TEST_DATA_DIR) / "contacts")) {
    const std::string name = file.path().filename().string();
    SCOPED_TRACE(name);
    const std::string source = "source-" + name;
    const std::string target = "target-" + name;
    fs::create_directories(dir_.file(source + "/book"));
    fs::copy_file(file.path(), dir_.file(source + "/book/" + name));

    const std::vector<Contact> backedUp = recordsIn(source);
    ASSERT_FALSE(backedUp.empty());
    auto reader = store(source);
    ASSERT_TRUE(reader->getExistingContacts().ok());
    EXPECT_EQ(reader->skippedItems(), std::vector<SkippedItem>{});

    Contacts records;
    for (const Contact& record : backedUp) records.push_back(std::make_shared<Contact>(record));
    const Contacts document = throughDocument(records);
    restore(document, target);
    restore(document, target);
    EXPECT_EQ(recordsIn(target), backedUp);

    if (const auto listed = khardNames(dir_.file(target + "/default"))) {
      std::vector<std::string> expected;
      for (const Contact& record : backedUp) expected.push_back(listedName(record));
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(*listed, expected);
    }
  }
}

// Records written by another device or an older version say "nothing" in ways the address book
// cannot keep apart; a second and third restore must still find the cards the first one wrote.
TEST_F(ContactRoundTripTest, RecordsFromElsewhereAreAddedOnlyByTheFirstRestore) {
  Contact untypedUrl;
  untypedUrl.firstName = "Noor";
  untypedUrl.url = std::vector<Url>{{"", "https://noor.example"}};
  Contact messengerCode;
  messengerCode.firstName = "Kofi";
  messengerCode.instantMessageAddress =
      std::vector<InstantMessageAddress>{{"3", "kofi.m", "_$!<Home>!$_"}};
  Contact emptyLists;
  emptyLists.firstName = "Ilse";
  emptyLists.numbers = std::vector<PhoneNumber>{};
  emptyLists.emails = std::vector<EmailAddress>{};
  Contact emptyMiddle;
  emptyMiddle.firstName = "Tariq";
  emptyMiddle.middleName = "";
  emptyMiddle.lastName = "Haddad";
  Contact noKind;
  noKind.company = "Harbour Books";
  noKind.contactType = std::nullopt;
  const Contacts document = throughDocument(
      {std::make_shared<Contact>(untypedUrl), std::make_shared<Contact>(messengerCode),
       std::make_shared<Contact>(emptyLists), std::make_shared<Contact>(emptyMiddle),
       std::make_shared<Contact>(noKind)});

  for (int run = 1; run <= 3; ++run) {
    SCOPED_TRACE(run);
    restore(document, "contacts");
    EXPECT_EQ(recordsIn("contacts").size(), document.size());
  }
  const std::vector<Contact> restored = recordsIn("contacts");
  const auto kofi = std::find_if(restored.begin(), restored.end(),
                                 [](const Contact& c) { return c.firstName == "Kofi"; });
  ASSERT_NE(kofi, restored.end());
  EXPECT_EQ(kofi->instantMessageAddress->front().messengerName, "Skype");
  const auto noor = std::find_if(restored.begin(), restored.end(),
                                 [](const Contact& c) { return c.firstName == "Noor"; });
  ASSERT_NE(noor, restored.end());
  EXPECT_EQ(noor->url, untypedUrl.url);
}

TEST_F(ContactRoundTripTest, AnUnreadableCardIsSkippedByFileNameAndTheRestIsRead) {
  fs::create_directories(dir_.file("contacts/book"));
  dir_.write("contacts/book/good.vcf",
             "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Ade;Bola;;;\r\n"
             "FN:Bola Ade\r\nEND:VCARD\r\n");
  dir_.write("contacts/book/broken.vcf",
             "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lost;Half\r\nFN:Half Lost\r\n");
  dir_.write("contacts/book/latin1.vcf",
             "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Fran\xE7ois\r\nEND:VCARD\r\n");
  auto reader = store("contacts");
  const auto contacts = reader->getExistingContacts();
  ASSERT_TRUE(contacts.ok());
  ASSERT_EQ(contacts.value().size(), 1u);
  EXPECT_EQ(contacts.value().front()->firstName, "Bola");
  const std::vector<SkippedItem> skipped = reader->skippedItems();
  ASSERT_EQ(skipped.size(), 2u);
  EXPECT_EQ(skipped[0].path, dir_.file("contacts/book/broken.vcf"));
  EXPECT_EQ(skipped[1].path, dir_.file("contacts/book/latin1.vcf"));
  for (const SkippedItem& item : skipped) {
    EXPECT_EQ(item.category, SkippedItem::Category::contacts);
    EXPECT_FALSE(item.reason.empty());
  }
  const auto lines = logger_->lines();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const auto& line) { return line.first == LogLevel::warning; }),
            2);
}

}  // namespace
}  // namespace tessellon
