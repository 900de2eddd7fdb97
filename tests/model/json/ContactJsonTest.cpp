#include "model/json/ContactJson.h"

#include <string>

#include <gtest/gtest.h>

#include "model/json/JsonError.h"
#include "platform/text/DateText.h"

namespace tessellon {
namespace {

std::shared_ptr<Contact> readContact(const std::string& text) {
  auto result = ItemJson<Contact>::deserialize(Json::parse(text));
  EXPECT_TRUE(result.ok()) << (result.ok() ? "" : result.error().message);
  return result.ok() ? result.value() : std::make_shared<Contact>();
}

Contact everyField() {
  Contact contact;
  contact.firstName = "Grace";
  contact.lastName = "Hopper";
  contact.middleName = "Brewster";
  contact.previousFamilyName = "Murray";
  contact.company = "US Navy";
  contact.note = "COBOL\n\"nanoseconds\"";
  contact.numbers = std::vector<PhoneNumber>{{"_$!<Work>!$_", "+1 555 0100"}, {"desk", "42"}};
  contact.emails = std::vector<EmailAddress>{{"_$!<Home>!$_", "grace@example.org"}};
  contact.addresses = std::vector<PostAddress>{
      {"_$!<Work>!$_", "20350", "1 Navy Rd", "Washington", "USA", "DC", "us"},
      {"", std::nullopt, std::nullopt, "Arlington", std::nullopt, std::nullopt, std::nullopt}};
  contact.instantMessageAddress = std::vector<InstantMessageAddress>{{"Skype", "ghopper", ""}};
  contact.url = std::vector<Url>{};
  contact.birthday = toDate("1906-12-09");
  contact.nickname = "Amazing Grace";
  contact.jobTitle = "Rear Admiral";
  contact.departmentName = "Computing";
  contact.contactType = 0;
  return contact;
}

TEST(ContactJsonTest, WritesOnlyPresentFieldsAndReadsThemBack) {
  Contact only;
  only.firstName = "Ada";
  const Json object = *ItemJson<Contact>::serialize(only);
  EXPECT_EQ(object, Json({{"firstName", "Ada"}}));
  EXPECT_EQ(*readContact(object.dump()), only);

  const Contact full = everyField();
  const Json written = *ItemJson<Contact>::serialize(full);
  EXPECT_EQ(written.size(), 16u);
  EXPECT_EQ(written["url"], Json::array());
  EXPECT_EQ(written["addresses"][1], Json({{"label", ""}, {"city", "Arlington"}}));
  EXPECT_EQ(*readContact(written.dump()), full);
}

TEST(ContactJsonTest, AdoptsLabelCodesOfPhoneApplications) {
  const struct {
    const char* element;
    const char* expected;
  } rows[] = {
      {R"({"numbers": [{"label": "x", "number": "1", "labelType": 2}]})", "_$!<Mobile>!$_"},
      {R"({"numbers": [{"label": "x", "number": "1", "labelType": 4}]})", "_$!<WorkFAX>!$_"},
      {R"({"numbers": [{"label": "x", "number": "1", "labelType": 12}]})", "_$!<Main>!$_"},
      {R"({"numbers": [{"label": "x", "number": "1", "labelType": 9}]})", "x"},
      {R"({"numbers": [{"label": "x", "number": "1", "labelType": 4294967298}]})", "x"},
      {R"({"emails": [{"label": "x", "address": "a", "labelType": 2}]})", "_$!<Work>!$_"},
      {R"({"emails": [{"label": "x", "address": "a", "labelType": 4}]})", "x"},
      {R"({"addresses": [{"label": "x", "labelType": 3}]})", "_$!<Other>!$_"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.element);
    const auto contact = readContact(row.element);
    const std::string label = contact->numbers  ? contact->numbers->at(0).label
                              : contact->emails ? contact->emails->at(0).label
                                                : contact->addresses->at(0).label;
    EXPECT_EQ(label, row.expected);
  }
}

TEST(ContactJsonTest, ReadsFallbackKeysLenientValuesAndYearlessBirthdays) {
  auto contact = readContact(R"({"emailAddresses": [{"label": "", "address": "a@b"}],
      "postalAddresses": [{"label": "h", "city": "Oslo"}], "contactType": "1",
      "instantMessageAddress": [{"messengerName": "Skype", "username": "u"}],
      "birthday": "--04-12", "firstName": 12})");
  EXPECT_EQ(contact->emails, (std::vector<EmailAddress>{{"", "a@b"}}));
  EXPECT_EQ(contact->addresses->at(0).city, "Oslo");
  EXPECT_EQ(contact->contactType, 1);
  EXPECT_EQ(contact->instantMessageAddress->at(0).label, "Skype");
  EXPECT_EQ(contact->birthday, toDate("0001-04-12"));
  EXPECT_EQ(contact->firstName, "12");

  contact = readContact(R"({"emails": [{"label": "", "address": "kept"}],
      "emailAddresses": [{"label": "", "address": "ignored"}], "birthday": "someday"})");
  EXPECT_EQ(contact->emails->at(0).address, "kept");
  EXPECT_FALSE(contact->birthday);
  EXPECT_EQ(*readContact("[1, 2]"), Contact{});
}

TEST(ContactJsonTest, ElementWithoutRequiredKeyFailsTheContact) {
  const struct {
    const char* element;
    const char* missing;
  } rows[] = {
      {R"({"numbers": [{"label": "x"}]})", "missingProperty(number)"},
      {R"({"emails": [{"address": "a"}]})", "missingProperty(label)"},
      {R"({"addresses": [{"city": "c"}]})", "missingProperty(label)"},
      {R"({"instantMessageAddress": [{"messengerName": "m"}]})", "missingProperty(username)"},
      {R"({"url": [{"label": "x"}]})", "missingProperty(url)"},
      {R"({"numbers": [{"label": "x", "number": "1"}, 7]})", "missingProperty(label)"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.element);
    const auto result = ItemJson<Contact>::deserialize(Json::parse(row.element));
    ASSERT_FALSE(result.ok());
    EXPECT_TRUE(isError(result.error(), JsonError::missingProperty));
    EXPECT_EQ(result.error().message, row.missing);
  }
}

}  // namespace
}  // namespace tessellon
