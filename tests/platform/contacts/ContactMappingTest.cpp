#include <string>

#include <gtest/gtest.h>

#include "platform/contacts/CNContactStoreHelper.h"
#include "platform/text/DateText.h"

namespace tessellon {
namespace {

class ContactMappingTest : public ::testing::Test {
 protected:
  CNContactStoreHelper helper_;
};

TEST_F(ContactMappingTest, CardToContactTurnsEmptyIntoAbsent) {
  VCard card;
  card.givenName = "Ida";
  card.postalAddresses = {{"", "Main 1", "", "", "", "", "de"}};
  const auto contact = helper_.mapContact(card);
  EXPECT_EQ(contact->firstName, "Ida");
  EXPECT_FALSE(contact->lastName);
  EXPECT_FALSE(contact->company);
  EXPECT_FALSE(contact->numbers);
  EXPECT_FALSE(contact->birthday);
  EXPECT_EQ(contact->contactType, 0);
  EXPECT_EQ(contact->addresses, (std::vector<PostAddress>{{"", std::nullopt, "Main 1", std::nullopt,
                                                           std::nullopt, std::nullopt, "de"}}));
}

TEST_F(ContactMappingTest, BirthdaysWithoutYearLiveInYearOne) {
  VCard card;
  card.birthday = VCard::Birthday{std::nullopt, 4, 12};
  const auto contact = helper_.mapContact(card);
  ASSERT_TRUE(contact->birthday);
  EXPECT_EQ(contact->birthday, toDate("--04-12"));
  EXPECT_EQ(helper_.mapContact(*contact).birthday, (VCard::Birthday{std::nullopt, 4, 12}));

  Contact dated;
  dated.birthday = toDate("1985-04-12");
  EXPECT_EQ(helper_.mapContact(dated).birthday, (VCard::Birthday{1985, 4, 12}));
  // No such day in year 1: the card keeps no birthday rather than a wrong one.
  card.birthday = VCard::Birthday{std::nullopt, 2, 29};
  EXPECT_FALSE(helper_.mapContact(card)->birthday);
}

TEST_F(ContactMappingTest, RestoreKeepsUrlLabelsAndNamesMessengerServices) {
  Contact contact;
  contact.url = std::vector<Url>{{"", "https://a.example"}, {"_$!<Work>!$_", "https://b.example"}};
  contact.instantMessageAddress =
      std::vector<InstantMessageAddress>{{"3", "sky", "l"}, {"Signal", "sig", ""}};
  contact.contactType = 1;
  const VCard card = helper_.mapContact(contact);
  EXPECT_EQ(card.urlAddresses,
            (std::vector<VCard::LabeledValue>{{"", "https://a.example"},
                                              {"_$!<Work>!$_", "https://b.example"}}));
  EXPECT_EQ(card.instantMessageAddresses[0].service, "Skype");
  EXPECT_EQ(card.instantMessageAddresses[1].service, "Signal");
  EXPECT_EQ(card.contactType, VCard::kOrganization);
  EXPECT_TRUE(card.uid.empty());
}

TEST_F(ContactMappingTest, MessengerCodesMapToServices) {
  const struct {
    const char* name;
    const char* service;
  } rows[] = {{"-1", "Custom"},
              {"9", "WhatsApp"},
              {"10", "10"},
              {"3x", "3x"},
              {"99999999999", "99999999999"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(CNContactStoreHelper::getMappedInstantMessageServiceName(row.name), row.service);
  }
}

}  // namespace
}  // namespace tessellon
