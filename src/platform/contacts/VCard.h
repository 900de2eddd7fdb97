#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tessellon {

// The platform card: one vCard as the contact store keeps it, in the address
// book's own terms. Labels are the address book's ("_$!<Home>!$_", a custom
// text, or empty); the codec maps them to and from TYPE parameters and
// grouped X-ABLabel lines. Empty text means "not set".
struct VCard {
  struct LabeledValue {
    std::string label;
    std::string value;

    friend bool operator==(const LabeledValue&, const LabeledValue&) = default;
  };

  struct PostalAddress {
    std::string label;
    std::string street;
    std::string city;
    std::string state;
    std::string postalCode;
    std::string country;
    std::string isoCountryCode;

    friend bool operator==(const PostalAddress&, const PostalAddress&) = default;
  };

  struct InstantMessageAddress {
    std::string label;
    std::string service;
    std::string username;

    friend bool operator==(const InstantMessageAddress&, const InstantMessageAddress&) = default;
  };

  // Date components; a birthday without a year has none.
  struct Birthday {
    std::optional<int> year;
    int month = 1;
    int day = 1;

    friend bool operator==(const Birthday&, const Birthday&) = default;
  };

  static constexpr int kPerson = 0;
  static constexpr int kOrganization = 1;

  // Empty until the store writes the card; then also the base of its file name.
  std::string uid;
  std::string givenName;
  std::string middleName;
  std::string familyName;
  std::string previousFamilyName;
  std::string organizationName;
  std::string departmentName;
  std::string jobTitle;
  std::string nickname;
  std::string note;
  std::optional<Birthday> birthday;
  int contactType = kPerson;
  std::vector<LabeledValue> phoneNumbers;
  std::vector<LabeledValue> emailAddresses;
  std::vector<PostalAddress> postalAddresses;
  std::vector<LabeledValue> urlAddresses;
  std::vector<InstantMessageAddress> instantMessageAddresses;
  // The card as read: its unfolded lines from BEGIN to END joined by "\n"; empty for a card made
  // from a record. When set, the store writes this text rather than the fields above.
  std::string source;

  friend bool operator==(const VCard&, const VCard&) = default;
};

}  // namespace tessellon
