#include "platform/contacts/ContactRepository.h"

#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/contacts/CNContactStoreHelper.h"
#include "support/AwaitResult.h"
#include "support/ErrorMatchers.h"
#include "support/RecordingLogger.h"
#include "support/TempDir.h"

namespace tessellon {
namespace {

std::vector<std::string> filesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class ContactRepositoryTest : public ::testing::Test {
 protected:
  std::string root() const { return dir_.file("contacts"); }
  std::unique_ptr<ContactRepository> repository() const {
    return std::make_unique<ContactRepository>(root(), helper_, logger_);
  }
  void writeCard(const std::string& relative, const std::string& text) const {
    dir_.write("contacts/" + relative, text);
  }
  std::vector<std::shared_ptr<Contact>> read() const {
    Result<std::vector<std::shared_ptr<Contact>>> contacts = repository()->getExistingContacts();
    EXPECT_TRUE(contacts.ok()) << (contacts.ok() ? "" : contacts.error().message);
    return contacts.ok() ? contacts.value() : std::vector<std::shared_ptr<Contact>>{};
  }
  static std::string named(const std::string& family) {
    return "BEGIN:VCARD\r\nVERSION:3.0\r\nN:" + family + ";;;;\r\nEND:VCARD\r\n";
  }
  std::vector<std::string> lastNames() const {
    std::vector<std::string> names;
    for (const auto& contact : read()) names.push_back(contact->lastName.value_or("-"));
    return names;
  }
  Result<void> save(const std::vector<Contact>& contacts) const {
    auto store = repository();
    for (const Contact& contact : contacts)
      store->saveRequest().addContact(helper_->mapContact(contact));
    return store->execute();
  }

  TempDir dir_;
  std::shared_ptr<CNContactStoreHelper> helper_ = std::make_shared<CNContactStoreHelper>();
  std::shared_ptr<RecordingLogger> logger_ = std::make_shared<RecordingLogger>();
};

TEST_F(ContactRepositoryTest, ReadsAddressBooksInNameOrderAndCardsInFileOrder) {
  EXPECT_TRUE(read().empty());  // no root folder yet
  writeCard("work/b.vcf", named("Work2"));
  writeCard("work/a.vcf", named("Work1"));
  writeCard("family/x.VCF", named("Family"));
  writeCard("family/notes.txt", named("Ignored"));
  writeCard("family/.hidden.vcf", named("Ignored"));
  writeCard("stray.vcf", named("Ignored"));
  EXPECT_EQ(lastNames(), (std::vector<std::string>{"Family", "Work1", "Work2"}));
}

TEST_F(ContactRepositoryTest, ListingFailuresCarryTheirCodes) {
  dir_.write("contacts", "a file where the address books should be");
  EXPECT_THAT(repository()->getExistingContacts().error(),
              HasCode(BackupSDKError::contactsFetchingContainersFailed));

  TempDir other;
  ASSERT_EQ(::mkdir(other.file("contacts").c_str(), 0700), 0);
  ASSERT_EQ(::symlink(other.file("nowhere").c_str(), other.file("contacts/broken").c_str()), 0);
  ContactRepository store(other.file("contacts"), helper_);
  EXPECT_THAT(store.getExistingContacts().error(),
              HasCode(BackupSDKError::contactsFetchingResultsForContainersFailed));
}

TEST_F(ContactRepositoryTest, AMissingRootFailsWith201UntilCreateStoreMakesIt) {
  // A missing folder may be an unmounted disk: reading it as an empty address book would wipe
  // the stored one.
  const auto missing = awaitResult(repository()->requestAccess());
  EXPECT_THAT(missing, FailsWith(BackupSDKError::contactsAccessDenied));
  EXPECT_NE(missing->failure().message.find(root()), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(root()));
  ASSERT_TRUE(repository()->createStore().ok());
  EXPECT_THAT(awaitResult(repository()->requestAccess()), SucceedsWith(Void{}));
}

TEST_F(ContactRepositoryTest, ARootBehindAFileCanNeitherBeAccessedNorCreated) {
  ContactRepository blocked(dir_.file("file/contacts"), helper_);
  dir_.write("file", "not a folder");
  EXPECT_THAT(awaitResult(blocked.requestAccess()),
              FailsWith(BackupSDKError::contactsAccessDenied));
  EXPECT_THAT(blocked.createStore().error(), HasCode(BackupSDKError::contactsAccessDenied));
}

TEST_F(ContactRepositoryTest, ExecuteWritesNewCardsIntoTheFirstAddressBook) {
  writeCard("b-book/old.vcf", named("Old"));
  writeCard("a-book/old.vcf", named("Older"));
  Contact ada;
  ada.lastName = "Lovelace";
  ASSERT_TRUE(save({ada, ada}).ok());
  EXPECT_EQ(filesIn(dir_.file("contacts/a-book")).size(), 3u);
  EXPECT_EQ(filesIn(dir_.file("contacts/b-book")), std::vector<std::string>{"old.vcf"});
  EXPECT_EQ(lastNames(), (std::vector<std::string>{"Lovelace", "Lovelace", "Older", "Old"}));
}

// A photo of a few hundred kilobytes travels with its card; a card of megabytes swells the
// document for every backup and travels as its record alone.
TEST_F(ContactRepositoryTest, ACardBeyondTheSizeBoundKeepsItsRecordAloneWithAWarning) {
  auto withPhoto = [](const std::string& family, size_t bytes) {
    std::string card = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:" + family + ";;;;\r\nPHOTO;ENCODING=b:";
    for (size_t written = 0; written < bytes; written += 74) card += std::string(74, 'Q') + "\r\n ";
    return card + "\r\nEND:VCARD\r\n";
  };
  writeCard("book/small.vcf", withPhoto("Small", 270 * 1024));
  writeCard("book/large.vcf", withPhoto("Large", 3 * 1024 * 1024));
  const auto contacts = read();
  ASSERT_EQ(contacts.size(), 2u);
  EXPECT_EQ(contacts[0]->lastName, "Large");
  EXPECT_FALSE(contacts[0]->vCard.has_value());
  EXPECT_EQ(contacts[1]->lastName, "Small");
  ASSERT_TRUE(contacts[1]->vCard.has_value());
  EXPECT_GT(contacts[1]->vCard->size(), 270u * 1024);
  const auto lines = logger_->lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].first, LogLevel::warning);
  EXPECT_NE(lines[0].second.find("large.vcf"), std::string::npos);
}

TEST_F(ContactRepositoryTest, ExecuteCreatesDefaultBookAndNeverReplacesACardOrReusesItsUid) {
  VCard card;
  card.uid = "same-uid";
  card.familyName = "First";
  auto store = repository();
  store->saveRequest().addContact(card);
  ASSERT_TRUE(store->execute().ok());
  EXPECT_TRUE(store->saveRequest().additions.empty());
  dir_.write("contacts/default/taken.vcf", "not a card");
  card.familyName = "Second";
  store->saveRequest().addContact(card);
  store->saveRequest().addContact(card);
  card.uid = "taken";
  store->saveRequest().addContact(card);
  ASSERT_TRUE(store->execute().ok());
  const std::vector<std::string> files = filesIn(dir_.file("contacts/default"));
  ASSERT_EQ(files.size(), 5u);
  EXPECT_NE(dir_.read("contacts/default/same-uid.vcf").find("N:First"), std::string::npos);
  EXPECT_EQ(dir_.read("contacts/default/taken.vcf"), "not a card");
  EXPECT_NE(dir_.read("contacts/default/taken-2.vcf").find("UID:taken"), std::string::npos);
  std::set<std::string> uids;
  const auto contacts = repository()->getExistingContacts();
  ASSERT_TRUE(contacts.ok());
  for (const auto& contact : contacts.value()) {
    const std::string text = contact->vCard.value_or("");
    const size_t at = text.find("\nUID:");
    ASSERT_NE(at, std::string::npos);
    uids.insert(text.substr(at + 5, text.find('\n', at + 1) - at - 5));
  }
  EXPECT_EQ(uids.size(), 4u);
  EXPECT_TRUE(repository()->execute().ok());
}

TEST_F(ContactRepositoryTest, FailedExecuteRemovesWhatItWroteAndKeepsTheRequest) {
  writeCard("a/old.vcf", named("Old"));
  dir_.write("contacts/z", "a file in place of an address book");
  auto store = repository();
  VCard card;
  card.familyName = "New";
  store->saveRequest().addContact(card, "a");
  store->saveRequest().addContact(card, "a");
  store->saveRequest().addContact(card, "z");
  const Result<void> result = store->execute();
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error().domain, "NSPOSIXErrorDomain");
  EXPECT_EQ(result.error().code, ENOTDIR);
  EXPECT_EQ(filesIn(dir_.file("contacts/a")), std::vector<std::string>{"old.vcf"});
  EXPECT_EQ(store->saveRequest().additions.size(), 3u);
}

}  // namespace
}  // namespace tessellon
