#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tessellon/Date.h"

namespace tessellon {

// Labels are kept as the address book gives them: a predefined label is
// "_$!<" + word + ">!$_" ("_$!<Home>!$_"), anything else is a custom label, and
// a missing label is the empty text.

struct PhoneNumber {
  // The label codes phone applications of another platform write as
  // "labelType"; only read, never written.
  enum class AndroidPhoneNumberLabelType : int {
    custom = 0,
    home = 1,
    mobile = 2,
    work = 3,
    workFax = 4,
    homeFax = 5,
    pager = 6,
    other = 7,
    main = 12,
  };

  std::string label;
  std::string number;

  friend bool operator==(const PhoneNumber&, const PhoneNumber&) = default;
};

struct EmailAddress {
  std::string label;
  std::string address;

  friend bool operator==(const EmailAddress&, const EmailAddress&) = default;
};

struct Url {
  std::string label;
  std::string url;

  friend bool operator==(const Url&, const Url&) = default;
};

struct InstantMessageAddress {
  std::string messengerName;
  std::string username;
  std::string label;

  friend bool operator==(const InstantMessageAddress&, const InstantMessageAddress&) = default;
};

struct PostAddress {
  std::string label;
  std::optional<std::string> postalCode;
  std::optional<std::string> street;
  std::optional<std::string> city;
  std::optional<std::string> country;
  std::optional<std::string> state;
  std::optional<std::string> countryCode;

  friend bool operator==(const PostAddress&, const PostAddress&) = default;
};

// One address-book card as a backup stores it in "contacts.json". Every field
// is optional; an absent list differs from an empty one. Shared by reference
// (std::shared_ptr) between the backup's metadata and the restore.
struct Contact {
  // The key of the list in "contacts.json".
  static constexpr const char* kSerializationKey = "contacts";

  std::optional<std::string> firstName;
  std::optional<std::string> lastName;
  std::optional<std::string> middleName;
  std::optional<std::string> previousFamilyName;
  std::optional<std::string> company;
  std::optional<std::string> note;
  std::optional<std::vector<PhoneNumber>> numbers;
  std::optional<std::vector<EmailAddress>> emails;
  std::optional<std::vector<PostAddress>> addresses;
  std::optional<std::vector<InstantMessageAddress>> instantMessageAddress;
  std::optional<std::vector<Url>> url;
  // A birthday without a year is a day of year 1.
  std::optional<Date> birthday;
  std::optional<std::string> nickname;
  std::optional<std::string> jobTitle;
  std::optional<std::string> departmentName;
  // 0 person, 1 organisation.
  std::optional<int64_t> contactType;
  // The whole card as the address book held it (unfolded lines joined by "\n"), so a restore
  // brings back what the fields above cannot say: photo, prefix, display name, X- properties.
  // Stored as "vCard"; not part of equality, which the fields above decide.
  std::optional<std::string> vCard;

  // The same for every contact, so hashed containers decide by equality alone:
  // restore de-duplicates by equality of all fields, and any finer hash would
  // have to agree with it field by field.
  uint64_t hashValue() const { return 1; }

  // The pretty-printed JSON object of the contact, for log lines.
  std::string description() const;

  // All sixteen fields equal; lists element by element in order, the birthday
  // as an instant. The kept card text is not compared.
  friend bool operator==(const Contact& left, const Contact& right) {
    return left.firstName == right.firstName && left.lastName == right.lastName &&
           left.middleName == right.middleName &&
           left.previousFamilyName == right.previousFamilyName && left.company == right.company &&
           left.note == right.note && left.numbers == right.numbers &&
           left.emails == right.emails && left.addresses == right.addresses &&
           left.instantMessageAddress == right.instantMessageAddress && left.url == right.url &&
           left.birthday == right.birthday && left.nickname == right.nickname &&
           left.jobTitle == right.jobTitle && left.departmentName == right.departmentName &&
           left.contactType == right.contactType;
  }
};

}  // namespace tessellon
