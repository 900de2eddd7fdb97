#include "restore/RestoreContactsUnit.h"

#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/contacts/CNContactStoreHelper.h"
#include "platform/contacts/ContactRepository.h"
#include "support/AwaitResult.h"
#include "support/ErrorMatchers.h"
#include "support/TempDir.h"

namespace tessellon {
namespace {

namespace fs = std::filesystem;

std::shared_ptr<Contact> person(const std::string& first, std::vector<std::string> numbers = {}) {
  auto contact = std::make_shared<Contact>();
  contact->firstName = first;
  contact->lastName = "Berg";
  contact->contactType = 0;
  if (!numbers.empty()) {
    contact->numbers.emplace();
    for (auto& number : numbers) contact->numbers->push_back({"_$!<Mobile>!$_", number});
  }
  return contact;
}

class RestoreContactsUnitTest : public ::testing::Test {
 protected:
  std::shared_ptr<ContactRepository> repository() const {
    return std::make_shared<ContactRepository>(dir_.file("contacts"), helper_, nullptr);
  }
  std::optional<FutureResult<Void>> persist(const std::vector<std::shared_ptr<Contact>>& contacts) {
    return awaitResult(RestoreContactsUnit(repository(), helper_).persist(contacts));
  }
  size_t cards() const {
    size_t count = 0;
    if (!fs::exists(dir_.file("contacts"))) return 0;
    for (const auto& entry : fs::recursive_directory_iterator(dir_.file("contacts"))) {
      count += entry.path().extension() == ".vcf";
    }
    return count;
  }

  TempDir dir_;
  std::shared_ptr<CNContactStoreHelper> helper_ = std::make_shared<CNContactStoreHelper>();
};

TEST_F(RestoreContactsUnitTest, AChangedCardIsAddedBesideTheOldOneAndDuplicatesCountOnce) {
  ASSERT_THAT(persist({person("Anna", {"+49 1", "+49 2"})}), SucceedsWith(::testing::_));
  // Same numbers in another order, and two identical new cards against one existing one.
  const auto reordered = person("Anna", {"+49 2", "+49 1"});
  EXPECT_THAT(
      persist({reordered, person("Anna", {"+49 1", "+49 2"}), person("Anna", {"+49 1", "+49 2"})}),
      SucceedsWith(::testing::_));
  EXPECT_EQ(cards(), 3u);
}

TEST_F(RestoreContactsUnitTest, ACardKnownOnlyByItsKeptTextIsRestoredOnce) {
  // None of the record's fields: a photo and a property of another application.
  auto photoOnly = std::make_shared<Contact>();
  photoOnly->vCard =
      "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:photo-only\r\nPHOTO;ENCODING=b;TYPE=JPEG:/9j/4A==\r\n"
      "X-ANNIVERSARY:2001-05-04\r\nEND:VCARD\r\n";
  ASSERT_THAT(persist({photoOnly}), SucceedsWith(::testing::_));
  EXPECT_EQ(cards(), 1u);
  ASSERT_THAT(persist({photoOnly}), SucceedsWith(::testing::_));
  EXPECT_EQ(cards(), 1u);
}

}  // namespace
}  // namespace tessellon
