#include <sys/wait.h>
#include <cstdio>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "platform/contacts/CNContactStoreHelper.h"
#include "platform/contacts/ContactRepository.h"
#include "platform/text/DateText.h"
#include "support/TempDir.h"

namespace tessellon {
namespace {

// The output of a shell command, or nothing when it fails.
std::optional<std::string> run(const std::string& command) {
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return std::nullopt;
  std::string output;
  char buffer[4096];
  while (size_t count = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, count);
  const int status = ::pclose(pipe);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    ADD_FAILURE() << command << "\n" << output;
    return std::nullopt;
  }
  return output;
}

TEST(KhardReadsOurCardsTest, ListsAndShowsCardsOurStoreWrote) {
  if (std::system("command -v khard >/dev/null 2>&1") != 0) GTEST_SKIP() << "khard missing";
  TempDir dir;
  auto helper = std::make_shared<CNContactStoreHelper>();
  ContactRepository store(dir.file("contacts"), helper);

  Contact person;
  person.firstName = "Émilie";
  person.lastName = "Du Châtelet";
  person.company = "Académie; Cirey";
  person.jobTitle = "Physicist";
  person.birthday = toDate("1706-12-17");
  person.numbers = std::vector<PhoneNumber>{{"_$!<Mobile>!$_", "+33 6 12 34 56 78"},
                                            {"Salon, rive gauche", "+33 1 55 55 01 02"}};
  person.emails = std::vector<EmailAddress>{{"_$!<Work>!$_", "emilie@cirey.example"}};
  person.addresses = std::vector<PostAddress>{{"_$!<Home>!$_", "52150", "Rue du Château 1",
                                               "Cirey-sur-Blaise", "France", std::nullopt, "fr"}};
  person.note = std::string(120, 'n') + ", with a comma";
  Contact company;
  company.company = "Tidewater Co-op";
  company.contactType = 1;
  store.saveRequest().addContact(helper->mapContact(person));
  store.saveRequest().addContact(helper->mapContact(company));
  ASSERT_TRUE(store.execute().ok());

  const std::string config = dir.write(
      "khard.conf", "[addressbooks]\n[[restored]]\npath = " + dir.file("contacts/default") +
                        "\n[general]\ndefault_action = list\n"
                        "[contact table]\nshow_uids = no\n"
                        "[vcard]\nskip_unparsable = no\n");
  const std::optional<std::string> list = run("khard -c " + config + " list");
  ASSERT_TRUE(list);
  EXPECT_NE(list->find("Émilie Du Châtelet"), std::string::npos) << *list;
  EXPECT_NE(list->find("Tidewater Co-op"), std::string::npos) << *list;

  const std::optional<std::string> shown =
      run("khard -c " + config + " show --format yaml 'Châtelet'");
  ASSERT_TRUE(shown);
  for (const char* expected :
       {"Émilie", "Du Châtelet", "Académie; Cirey", "Physicist", "1706-12-17", "+33 6 12 34 56 78",
        "Salon, rive gauche", "+33 1 55 55 01 02", "emilie@cirey.example", "Rue du Château 1",
        "Cirey-sur-Blaise", "52150", "with a comma"}) {
    EXPECT_NE(shown->find(expected), std::string::npos) << expected << "\n" << *shown;
  }
  // The note was folded over three lines in the file.
  EXPECT_NE(shown->find(std::string(120, 'n')), std::string::npos);
}

}  // namespace
}  // namespace tessellon
