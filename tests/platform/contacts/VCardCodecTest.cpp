#include <string>

#include <gtest/gtest.h>

#include "model/ModelTestSupport.h"
#include "platform/contacts/VCardReader.h"
#include "platform/contacts/VCardSource.h"
#include "platform/contacts/VCardText.h"
#include "platform/contacts/VCardWriter.h"

namespace tessellon {
namespace {

VCard onlyCard(const std::string& text) {
  VCardReader::Result result = VCardReader::read(text);
  EXPECT_TRUE(result.errors.empty()) << result.errors.front();
  EXPECT_EQ(result.cards.size(), 1u);
  return result.cards.empty() ? VCard{} : result.cards.front();
}

std::string card(const std::string& body) {
  return "BEGIN:VCARD\r\nVERSION:3.0\r\n" + body + "END:VCARD\r\n";
}

TEST(VCardReaderTest, ReadsAppleStyleCardWithGroupedLabels) {
  const VCard read = onlyCard(readTestData("contacts/apple-grouped.vcf"));
  EXPECT_EQ(read.uid, "7D0D1E0A-6B8F-4C3E-9F1A-0E2B5C6D7E8F");
  EXPECT_EQ(read.givenName, "Maren");
  EXPECT_EQ(read.middleName, "Sofie");
  EXPECT_EQ(read.familyName, "Lindqvist");
  EXPECT_EQ(read.previousFamilyName, "Berg");
  EXPECT_EQ(read.nickname, "Mare");
  EXPECT_EQ(read.organizationName, "Fjordlys Instruments AB");
  EXPECT_EQ(read.departmentName, "Research");
  EXPECT_EQ(read.jobTitle, "Lead Acoustician");
  EXPECT_EQ(read.note, "Prefers e-mail, not calls.\nAllergic to nuts.");
  EXPECT_EQ(read.birthday, (VCard::Birthday{std::nullopt, 3, 17}));
  EXPECT_EQ(read.contactType, VCard::kPerson);
  EXPECT_EQ(read.emailAddresses,
            (std::vector<VCard::LabeledValue>{{"_$!<Home>!$_", "maren@example.org"},
                                              {"_$!<Work>!$_", "m.lindqvist@fjordlys.example"}}));
  EXPECT_EQ(read.phoneNumbers,
            (std::vector<VCard::LabeledValue>{{"_$!<Mobile>!$_", "+46 70 123 45 67"},
                                              {"_$!<Work>!$_", "+46 8 555 010 20"},
                                              {"_$!<WorkFAX>!$_", "+46 8 555 010 21"},
                                              {"Sommarstuga", "+46 31 555 77 00"}}));
  EXPECT_EQ(read.postalAddresses,
            (std::vector<VCard::PostalAddress>{{"_$!<Home>!$_", "Storgatan 12\nLägenhet 4",
                                                "Göteborg", "", "411 38", "Sweden", "se"}}));
  EXPECT_EQ(
      read.urlAddresses,
      (std::vector<VCard::LabeledValue>{{"_$!<HomePage>!$_", "https://fjordlys.example/maren"}}));
  EXPECT_EQ(
      read.instantMessageAddresses,
      (std::vector<VCard::InstantMessageAddress>{{"_$!<Home>!$_", "Skype", "maren.lindqvist"}}));
}

TEST(VCardReaderTest, ReadsOrganisationShownAsCompany) {
  const VCard read = onlyCard(readTestData("contacts/organisation.vcf"));
  EXPECT_EQ(read.contactType, VCard::kOrganization);
  EXPECT_EQ(read.organizationName, "Kaffeerösterei Nordlicht GmbH");
  EXPECT_EQ(read.givenName, "");
  EXPECT_EQ(read.phoneNumbers[0].label, "_$!<Main>!$_");
  EXPECT_EQ(read.emailAddresses[0].label, "_$!<Other>!$_");
  EXPECT_EQ(read.postalAddresses[0].label, "_$!<Work>!$_");
}

TEST(VCardReaderTest, AnEmptyStructuredNameLeavesTheFormattedNameAsTheName) {
  const VCard read = onlyCard("BEGIN:VCARD\r\nVERSION:3.0\r\nN:;;;;\r\nFN:Mom\r\nEND:VCARD\r\n");
  EXPECT_EQ(read.givenName, "Mom");
}

TEST(VCardReaderTest, ReadsVersion21WithQuotedPrintableAndCharset) {
  const VCardReader::Result result = VCardReader::read(readTestData("contacts/legacy-21.vcf"));
  ASSERT_TRUE(result.errors.empty());
  ASSERT_EQ(result.cards.size(), 2u);
  const VCard& first = result.cards[0];
  EXPECT_EQ(first.familyName, "Müller");
  EXPECT_EQ(first.givenName, "Jürgen");
  EXPECT_EQ(first.note,
            "Erste Zeile\nzweite Zeile mit einem sehr langen Text, der umbrochen "
            "wurde €");
  EXPECT_EQ(first.birthday, (VCard::Birthday{1962, 7, 4}));
  EXPECT_EQ(first.phoneNumbers,
            (std::vector<VCard::LabeledValue>{{"_$!<Home>!$_", "030 5550123"},
                                              {"_$!<Mobile>!$_", "0170 5550123"}}));
  EXPECT_EQ(first.emailAddresses[0].label, "");
  EXPECT_EQ(result.cards[1].phoneNumbers[0].label, "_$!<WorkFAX>!$_");
}

TEST(VCardReaderTest, ReadsVersion40KindUrisAndYearlessBirthday) {
  const VCardReader::Result result = VCardReader::read(readTestData("contacts/v4.vcf"));
  ASSERT_TRUE(result.errors.empty());
  ASSERT_EQ(result.cards.size(), 2u);
  const VCard& person = result.cards[0];
  EXPECT_EQ(person.contactType, VCard::kPerson);
  EXPECT_EQ(person.birthday, (VCard::Birthday{std::nullopt, 2, 29}));
  EXPECT_EQ(person.phoneNumbers,
            (std::vector<VCard::LabeledValue>{{"_$!<Mobile>!$_", "+1-555-555-0199"}}));
  EXPECT_EQ(person.instantMessageAddresses,
            (std::vector<VCard::InstantMessageAddress>{{"", "Jabber", "aiyana@chat.example.com"}}));
  EXPECT_EQ(result.cards[1].contactType, VCard::kOrganization);
  EXPECT_EQ(result.cards[1].organizationName, "Tidewater Co-op");
  EXPECT_EQ(result.cards[1].givenName, "");
  // Text before a colon that is no URI scheme is part of the name, not a service.
  EXPECT_EQ(onlyCard(card("IMPP:not a scheme\\n:x\r\n")).instantMessageAddresses,
            (std::vector<VCard::InstantMessageAddress>{{"", "", "not a scheme\n:x"}}));
}

TEST(VCardReaderTest, ReadsBirthdayForms) {
  const struct {
    const char* line;
    std::optional<VCard::Birthday> expected;
  } rows[] = {
      {"BDAY:1985-04-12", VCard::Birthday{1985, 4, 12}},
      {"BDAY:19850412", VCard::Birthday{1985, 4, 12}},
      {"BDAY:1985-04-12T10:00:00Z", VCard::Birthday{1985, 4, 12}},
      {"BDAY:--04-12", VCard::Birthday{std::nullopt, 4, 12}},
      {"BDAY;X-APPLE-OMIT-YEAR=1604:1604-04-12", VCard::Birthday{std::nullopt, 4, 12}},
      {"BDAY;X-APPLE-OMIT-YEAR=1604:1990-04-12", VCard::Birthday{1990, 4, 12}},
      {"BDAY:1985-02-29", std::nullopt},
      {"BDAY;VALUE=text:circa 1800", std::nullopt},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    EXPECT_EQ(onlyCard(card(std::string(row.line) + "\r\n")).birthday, row.expected);
  }
}

TEST(VCardReaderTest, MapsTypeParametersToLabels) {
  const struct {
    const char* line;
    const char* label;
  } rows[] = {
      {"TEL;TYPE=HOME,VOICE:1", "_$!<Home>!$_"},
      {"TEL;TYPE=home;TYPE=fax:1", "_$!<HomeFAX>!$_"},
      {"TEL;TYPE=FAX:1", "_$!<OtherFAX>!$_"},
      {"TEL;TYPE=PAGER:1", "_$!<Pager>!$_"},
      {"TEL;TYPE=pref:1", ""},
      {"EMAIL;TYPE=INTERNET,WORK:a@b", "_$!<Work>!$_"},
      {"EMAIL;TYPE=CELL:a@b", ""},
      {"g1.TEL;TYPE=CELL:1\r\ng1.X-ABLabel:Boot", "Boot"},
      {"G1.X-ABLabel:_$!<Other>!$_\r\ng1.TEL:1", "_$!<Other>!$_"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    const VCard read = onlyCard(card(std::string(row.line) + "\r\n"));
    const std::string label =
        read.phoneNumbers.empty() ? read.emailAddresses.at(0).label : read.phoneNumbers[0].label;
    EXPECT_EQ(label, row.label);
  }
}

TEST(VCardReaderTest, SkipsMalformedCardsAndKeepsTheRest) {
  const std::string good = card("N:Good;One;;;\r\n");
  const struct {
    const char* name;
    std::string bad;
  } rows[] = {
      {"truncated", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Cut;"},
      {"invalid UTF-8", card("N:Bad\xC3\x28;x;;;\r\n")},
      {"line without colon", card("N;Oops\r\n")},
      {"bad charset bytes", card("NOTE;CHARSET=KOI8-R:\xFF\xFE\r\n")},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    // Between two good cards; a truncated one swallows up to the next BEGIN only.
    const VCardReader::Result result = VCardReader::read(good + row.bad + "\r\n" + good);
    EXPECT_EQ(result.errors.size(), 1u);
    ASSERT_EQ(result.cards.size(), 2u);
    EXPECT_EQ(result.cards[1].familyName, "Good");
  }
}

TEST(VCardReaderTest, ReadsHugeLinesAndBadEscapesWithoutFailing) {
  const std::string huge(1 << 20, 'x');
  const VCard read = onlyCard(card("NOTE:" + huge + "\\q\\\r\n"));
  EXPECT_EQ(read.note.size(), huge.size() + 3);
  EXPECT_TRUE(read.note.ends_with("\\q\\"));
  EXPECT_EQ(VCardReader::read("just some text").errors.size(), 1u);
  EXPECT_TRUE(VCardReader::read("").errors.empty());
}

TEST(VCardWriterTest, FoldsAtSeventyFiveOctetsWithoutSplittingCharacters) {
  VCard written;
  written.uid = "u1";
  written.note = std::string(3, 'a');
  for (int i = 0; i < 60; ++i) written.note += "é€";
  const std::string text = VCardWriter::write(written);
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    ASSERT_NE(end, std::string::npos);
    const std::string line = text.substr(start, end - start);
    EXPECT_LE(line.size(), 75u);
    EXPECT_TRUE(VCardText::isValidUtf8(line)) << line;
    start = end + 2;
  }
  EXPECT_EQ(onlyCard(text).note, written.note);
}

TEST(VCardWriterTest, WrittenCardReadsBackFieldForField) {
  VCard written;
  written.uid = "9F1A/odd:uid";
  written.givenName = "Ana; María";
  written.middleName = "de la, Cruz";
  written.familyName = "O'Brien\\Smith";
  written.previousFamilyName = "Ng";
  written.organizationName = "Acme; Rockets";
  written.departmentName = "R&D";
  written.jobTitle = "Chief: Tester";
  written.nickname = "Ana";
  written.note = "line one\nline two, with comma; and semicolon \\n literal";
  written.birthday = VCard::Birthday{std::nullopt, 12, 31};
  written.contactType = VCard::kOrganization;
  written.phoneNumbers = {{"_$!<Mobile>!$_", "+1 555"},
                          {"_$!<HomeFAX>!$_", "2"},
                          {"", "3"},
                          {"Yacht, aft", "4"},
                          {"_$!<Anniversary>!$_", "5"}};
  written.emailAddresses = {{"_$!<Work>!$_", "a@b.example"}, {"privat", "c@d.example"}};
  written.postalAddresses = {
      {"_$!<Home>!$_", "Main St 1\nFlat 2", "Springfield", "IL", "62701", "USA", "us"},
      {"", "", "Paris", "", "", "", ""}};
  written.urlAddresses = {{"Homepage", "https://example.org/a,b;c"}};
  written.instantMessageAddresses = {{"_$!<Work>!$_", "Skype", "ana.cruz"},
                                     {"chat", "WhatsApp", "+1:555"},
                                     {"", "", "nobody"},
                                     {"", "Odd;Service", "x"},
                                     {"", "QUOTED-PRINTABLE", "ends="}};
  VCard read = onlyCard(VCardWriter::write(written));
  // The kept text, written as it is, reads back as the very card.
  EXPECT_EQ(onlyCard(VCardSource::fileText(read.source)), read);
  read.source.clear();
  EXPECT_EQ(read, written);
}

}  // namespace
}  // namespace tessellon
