#include <sys/wait.h>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/json/ContactJson.h"
#include "model/json/ItemsMetaDataJson.h"
#include "model/json/JsonText.h"
#include "platform/Warnings.h"
#include "platform/contacts/CNContactStoreHelper.h"
#include "platform/contacts/ContactRepository.h"
#include "platform/contacts/VCardContentLine.h"
#include "platform/contacts/VCardText.h"
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
    RestoreContactsUnit unit(store(name), helper_, logger_);
    EXPECT_THAT(awaitResult(unit.persist(contacts)), SucceedsWith(Void{}));
  }

  // khard's names of the cards of one address book folder, sorted; nothing without khard.
  std::optional<std::vector<std::string>> khardNames(const std::string& folder,
                                                     bool skipUnparsable = false) const {
    if (std::system("command -v khard >/dev/null 2>&1") != 0) return std::nullopt;
    const std::string config =
        dir_.write("khard.conf", "[addressbooks]\n[[book]]\npath = " + folder +
                                     "\n[general]\ndefault_action = list\n"
                                     "[vcard]\nskip_unparsable = " +
                                     (skipUnparsable ? "yes" : "no") + "\n");
    FILE* pipe = ::popen(("khard -c '" + config + "' list -p 2>&1").c_str(), "r");
    std::string output;
    char buffer[4096];
    while (size_t count = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, count);
    const int status = ::pclose(pipe);
    if (!skipUnparsable) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
    }
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

  // Every property line of the cards in `folder`, unfolded and sorted, without PRODID and REV
  // (which writers change); UID lines only where `keptUids` holds their value, since a card that
  // had none is given one.
  static std::vector<std::string> propertiesIn(const std::string& folder,
                                               const std::set<std::string>* keptUids = nullptr) {
    std::vector<std::string> lines;
    for (const auto& file : fs::directory_iterator(folder)) {
      std::ifstream stream(file.path(), std::ios::binary);
      const std::string text{std::istreambuf_iterator<char>(stream), {}};
      for (std::string& line : VCardContentLine::unfold(text)) {
        const std::string name = line.substr(0, line.find_first_of(";:"));
        if (name == "PRODID" || name == "REV") continue;
        if (keptUids && name == "UID" && keptUids->count(line.substr(4)) == 0) continue;
        lines.push_back(std::move(line));
      }
    }
    std::sort(lines.begin(), lines.end());
    return lines;
  }

  static std::set<std::string> uidsIn(const std::vector<std::string>& lines) {
    std::set<std::string> uids;
    for (const std::string& line : lines) {
      if (line.starts_with("UID:")) uids.insert(line.substr(4));
    }
    return uids;
  }

  // A card of the shapes the record cannot hold: a photo of about 200 KB, name prefix and
  // suffix, a display name that is not "first last", several X- properties.
  static std::string richCard() {
    std::mt19937 bytes(/*seed=*/18);
    std::string photo(200 * 1024, '\0');
    for (char& byte : photo) byte = static_cast<char>(bytes());
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string encoded;
    for (size_t index = 0; index + 2 < photo.size(); index += 3) {
      const uint32_t bits = (static_cast<uint8_t>(photo[index]) << 16) |
                            (static_cast<uint8_t>(photo[index + 1]) << 8) |
                            static_cast<uint8_t>(photo[index + 2]);
      for (int shift = 18; shift >= 0; shift -= 6)
        encoded.push_back(kAlphabet[(bits >> shift) & 63]);
    }
    std::string card;
    for (const std::string& line : std::vector<std::string>{"BEGIN:VCARD",
                                                            "VERSION:3.0",
                                                            "PRODID:-//Example Phone//EN",
                                                            "UID:rich-card-1",
                                                            "N:Wesker;Albert;Ozwell;Dr.;Sr.",
                                                            "FN:Chairman Wesker",
                                                            "NICKNAME:Al",
                                                            "ORG:Umbrella Holdings;Board",
                                                            "TITLE:Chairman",
                                                            "PHOTO;ENCODING=b;TYPE=JPEG:" + encoded,
                                                            "X-ANNIVERSARY:1998-07-24",
                                                            "X-SPOUSE:Alex Wesker",
                                                            "X-PHONETIC-LAST-NAME:Wessker",
                                                            "X-ASSISTANT:Birkin",
                                                            "CATEGORIES:Board,Red Queen",
                                                            "item1.X-ABRELATEDNAMES:Alex",
                                                            "item1.X-ABLabel:_$!<Sister>!$_",
                                                            "TEL;TYPE=WORK,VOICE:+1 555 0100",
                                                            "REV:2026-01-02T03:04:05Z",
                                                            "END:VCARD"}) {
      VCardText::appendFolded(card, line);
    }
    return card;
  }

  // khard's names of the cards of `content`, each in a file of its own as khard expects; cards
  // khard cannot read (2.1 soft line breaks) are left out. Nothing without khard.
  std::optional<std::vector<std::string>> khardNamesOfSource(const std::string& name,
                                                             const std::string& content) const {
    size_t count = 0;
    for (size_t begin = content.find("BEGIN:VCARD"); begin != std::string::npos;) {
      const size_t next = content.find("BEGIN:VCARD", begin + 1);
      dir_.write("split-" + name + "/" + std::to_string(++count) + ".vcf",
                 content.substr(begin, next == std::string::npos ? next : next - begin));
      begin = next;
    }
    return khardNames(dir_.file("split-" + name), /*skipUnparsable=*/true);
  }

  TempDir dir_;
  std::shared_ptr<CNContactStoreHelper> helper_ = std::make_shared<CNContactStoreHelper>();
  std::shared_ptr<RecordingLogger> logger_ = std::make_shared<RecordingLogger>();
};

// Each file of real exporters' shapes, and a card with a photo and what the record cannot hold:
// its records survive "contacts.json" and two restores into an empty address book field for
// field, once each; the restored cards are the source's property for property, and khard lists
// them as it lists the source. A document without the kept cards restores the records as before.
TEST_F(ContactRoundTripTest, EveryExportedShapeComesBackExactlyOnce) {
  std::vector<std::pair<std::string, std::string>> files;
  for (const auto& file : fs::directory_iterator(fs::path(TESSELLON_TEST_DATA_DIR) / "contacts")) {
    std::ifstream stream(file.path(), std::ios::binary);
    files.emplace_back(file.path().filename().string(),
                       std::string{std::istreambuf_iterator<char>(stream), {}});
  }
  files.emplace_back("rich.vcf", richCard());
  for (const auto& [name, content] : files) {
    SCOPED_TRACE(name);
    const std::string source = "source-" + name;
    const std::string target = "target-" + name;
    dir_.write(source + "/book/" + name, content);

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
    const std::vector<std::string> expected = propertiesIn(dir_.file(source + "/book"));
    const std::set<std::string> uids = uidsIn(expected);
    EXPECT_EQ(propertiesIn(dir_.file(target + "/default"), &uids), expected);
    if (const auto listed = khardNames(dir_.file(target + "/default"))) {
      EXPECT_EQ(listed->size(), backedUp.size());
      const std::vector<std::string> shownForSource =
          khardNamesOfSource(name, content).value_or(std::vector<std::string>{});
      for (const std::string& shown : shownForSource) {
        EXPECT_NE(std::find(listed->begin(), listed->end(), shown), listed->end()) << shown;
      }
    }

    Contacts recordsOnly;
    for (const auto& record : document) {
      recordsOnly.push_back(std::make_shared<Contact>(*record));
      recordsOnly.back()->vCard.reset();
    }
    restore(recordsOnly, "records-" + name);
    restore(document, "records-" + name);
    EXPECT_EQ(recordsIn("records-" + name), backedUp);
  }
  for (const auto& [level, line] : logger_->lines()) EXPECT_NE(level, LogLevel::warning) << line;
}

// A kept card comes from a document anyone may have edited: it is read before it is written,
// never written outside the address book, and the record wins where the two disagree.
TEST_F(ContactRoundTripTest, AKeptCardIsCheckedBeforeItIsWritten) {
  dir_.write("source/book/a.vcf",
             "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:../../outside\r\nN:Ade;Bola;;;\r\n"
             "FN:Dr Bola\r\nX-PET:Rex\r\nEND:VCARD\r\n"
             "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:shared-uid\r\nN:Okafor;Chidi;;;\r\n"
             "FN:Chidi\r\nX-PET:Tom\r\nEND:VCARD\r\n"
             "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:edited\r\nN:Old;Name;;;\r\n"
             "FN:Old Name\r\nX-PET:Kit\r\nEND:VCARD\r\n");
  Contacts document = throughDocument(store("source")->getExistingContacts().value());
  ASSERT_EQ(document.size(), 3u);
  document[2]->firstName = "New";
  auto twoCards = std::make_shared<Contact>(*document[0]);
  twoCards->firstName = "Two";
  twoCards->vCard = *document[0]->vCard + "\n" + *document[1]->vCard;
  document.push_back(twoCards);
  // The target already has a different card under one of the UIDs.
  dir_.write("target/default/mine.vcf",
             "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:shared-uid\r\nN:Mine;Only;;;\r\nEND:VCARD\r\n");

  restore(document, "target");
  restore(document, "target");

  std::vector<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(dir_.path())) {
    const std::string path = entry.path().string();
    if (path.find("/target/") != std::string::npos || path.find("/source/") != std::string::npos) {
      continue;
    }
    if (entry.is_regular_file()) files.push_back(path);
  }
  EXPECT_EQ(files, std::vector<std::string>{});
  const std::vector<std::string> lines = propertiesIn(dir_.file("target/default"));
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "UID:shared-uid"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "X-PET:Tom"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "X-PET:Rex"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "N:Old;New;;;"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "X-PET:Kit"), 0);
  EXPECT_EQ(recordsIn("target").size(), 5u);
  EXPECT_EQ(warningsContaining(*logger_, "from its fields"), 4u);
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
  // A file whose second card is cut off keeps its first.
  dir_.write("contacts/book/two.vcf",
             "BEGIN:VCARD\r\nVERSION:3.0\r\nN:First;;;;\r\nEND:VCARD\r\nBEGIN:VCARD\r\nN:Cut");
  auto reader = store("contacts");
  const auto contacts = reader->getExistingContacts();
  ASSERT_TRUE(contacts.ok());
  ASSERT_EQ(contacts.value().size(), 2u);
  EXPECT_EQ(contacts.value()[0]->firstName, "Bola");
  EXPECT_EQ(contacts.value()[1]->lastName, "First");
  const std::vector<SkippedItem> skipped = reader->skippedItems();
  ASSERT_EQ(skipped.size(), 3u);
  EXPECT_EQ(skipped[0].path, dir_.file("contacts/book/broken.vcf"));
  EXPECT_EQ(skipped[1].path, dir_.file("contacts/book/latin1.vcf"));
  EXPECT_EQ(skipped[2].path, dir_.file("contacts/book/two.vcf"));
  for (const SkippedItem& item : skipped) {
    EXPECT_EQ(item.category, SkippedItem::Category::contacts);
    EXPECT_FALSE(item.reason.empty());
  }
  EXPECT_EQ(warningsContaining(*logger_, ""), 3u);
}

}  // namespace
}  // namespace tessellon
