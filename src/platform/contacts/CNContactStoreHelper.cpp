#include "platform/contacts/CNContactStoreHelper.h"

#include <charconv>
#include <cstdio>

#include "tessellon/BackupSDKError.h"

#include "platform/contacts/VCardReader.h"
#include "platform/contacts/VCardSource.h"
#include "platform/text/DateText.h"

namespace tessellon {
namespace {

std::optional<std::string> nonEmpty(const std::string& text) {
  if (text.empty()) return std::nullopt;
  return text;
}

// The card's date components as a date, by the machine's calendar.
std::optional<Date> birthdayDate(const VCard::Birthday& birthday) {
  const int year = birthday.year.value_or(1);
  if (year < 1 || year > 9999) return std::nullopt;
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, birthday.month, birthday.day);
  return toDate(text);
}

template <class T, class Convert>
std::optional<std::vector<T>> mapList(const auto& entries, Convert convert) {
  if (entries.empty()) return std::nullopt;
  std::vector<T> list;
  list.reserve(entries.size());
  for (const auto& entry : entries) list.push_back(convert(entry));
  return list;
}

}  // namespace

std::shared_ptr<Contact> CNContactStoreHelper::mapContact(const VCard& card) const {
  auto contact = std::make_shared<Contact>();
  contact->firstName = nonEmpty(card.givenName);
  contact->middleName = nonEmpty(card.middleName);
  contact->lastName = nonEmpty(card.familyName);
  contact->previousFamilyName = nonEmpty(card.previousFamilyName);
  contact->company = nonEmpty(card.organizationName);
  if (card.birthday) contact->birthday = birthdayDate(*card.birthday);
  contact->note = nonEmpty(card.note);
  contact->nickname = nonEmpty(card.nickname);
  contact->jobTitle = nonEmpty(card.jobTitle);
  contact->departmentName = nonEmpty(card.departmentName);
  contact->contactType = card.contactType;
  contact->numbers = mapList<PhoneNumber>(card.phoneNumbers, [](const VCard::LabeledValue& phone) {
    return PhoneNumber{phone.label, phone.value};
  });
  contact->emails =
      mapList<EmailAddress>(card.emailAddresses, [](const VCard::LabeledValue& email) {
        return EmailAddress{email.label, email.value};
      });
  contact->addresses =
      mapList<PostAddress>(card.postalAddresses, [](const VCard::PostalAddress& address) {
        return PostAddress{address.label,
                           nonEmpty(address.postalCode),
                           nonEmpty(address.street),
                           nonEmpty(address.city),
                           nonEmpty(address.country),
                           nonEmpty(address.state),
                           nonEmpty(address.isoCountryCode)};
      });
  contact->url = mapList<Url>(card.urlAddresses, [](const VCard::LabeledValue& url) {
    return Url{url.label, url.value};
  });
  contact->instantMessageAddress = mapList<InstantMessageAddress>(
      card.instantMessageAddresses, [](const VCard::InstantMessageAddress& address) {
        // A numeric service (written by phones) reads as the name a restore would write, so a
        // restored card equals its record.
        return InstantMessageAddress{getMappedInstantMessageServiceName(address.service),
                                     address.username, address.label};
      });
  if (!card.source.empty()) contact->vCard = card.source;
  return contact;
}

Result<VCard> CNContactStoreHelper::readSource(const std::string& source) const {
  if (source.size() > VCardSource::kMaxBytes) {
    return makeError(BackupSDKError::contactsSaveContactFailed,
                     "kept card of " + std::to_string(source.size()) + " bytes is too large");
  }
  if (source.find('\0') != std::string::npos) {
    return makeError(BackupSDKError::contactsSaveContactFailed, "kept card holds a NUL byte");
  }
  VCardReader::Result read = VCardReader::read(source);
  if (!read.errors.empty()) {
    return makeError(BackupSDKError::contactsSaveContactFailed, read.errors.front());
  }
  if (read.cards.size() != 1) {
    return makeError(BackupSDKError::contactsSaveContactFailed,
                     "kept text holds " + std::to_string(read.cards.size()) + " cards");
  }
  return std::move(read.cards.front());
}

std::string CNContactStoreHelper::sourceKey(const std::string& source) const {
  return VCardSource::normalized(source);
}

VCard CNContactStoreHelper::mapContact(const Contact& contact) const {
  VCard card;
  card.givenName = contact.firstName.value_or("");
  card.middleName = contact.middleName.value_or("");
  card.familyName = contact.lastName.value_or("");
  card.previousFamilyName = contact.previousFamilyName.value_or("");
  card.organizationName = contact.company.value_or("");
  card.note = contact.note.value_or("");
  card.nickname = contact.nickname.value_or("");
  card.jobTitle = contact.jobTitle.value_or("");
  card.departmentName = contact.departmentName.value_or("");
  if (contact.contactType) {
    card.contactType =
        *contact.contactType == VCard::kOrganization ? VCard::kOrganization : VCard::kPerson;
  }
  if (contact.birthday) card.birthday = createBirthdate(*contact.birthday);
  for (const PhoneNumber& phone : contact.numbers.value_or(std::vector<PhoneNumber>{})) {
    card.phoneNumbers.push_back({phone.label, phone.number});
  }
  for (const EmailAddress& email : contact.emails.value_or(std::vector<EmailAddress>{})) {
    card.emailAddresses.push_back({email.label, email.address});
  }
  for (const PostAddress& address : contact.addresses.value_or(std::vector<PostAddress>{})) {
    card.postalAddresses.push_back({address.label, address.street.value_or(""),
                                    address.city.value_or(""), address.state.value_or(""),
                                    address.postalCode.value_or(""), address.country.value_or(""),
                                    address.countryCode.value_or("")});
  }
  for (const Url& url : contact.url.value_or(std::vector<Url>{})) {
    // An unlabelled address stays unlabelled: a made-up label would read back as another card.
    card.urlAddresses.push_back({url.label, url.url});
  }
  for (const InstantMessageAddress& address :
       contact.instantMessageAddress.value_or(std::vector<InstantMessageAddress>{})) {
    card.instantMessageAddresses.push_back(
        {address.label, getMappedInstantMessageServiceName(address.messengerName),
         address.username});
  }
  return card;
}

std::string CNContactStoreHelper::getMappedInstantMessageServiceName(
    const std::string& messengerName) {
  static const char* const kServices[] = {"AIM",         "MSN", "Yahoo",  "Skype",      "QQ",
                                          "Google Talk", "ICQ", "Jabber", "NetMeeting", "WhatsApp"};
  int code = 0;
  const char* end = messengerName.data() + messengerName.size();
  const auto [parsedEnd, error] = std::from_chars(messengerName.data(), end, code);
  if (messengerName.empty() || error != std::errc() || parsedEnd != end) return messengerName;
  if (code == -1) return "Custom";
  if (code >= 0 && code <= 9) return kServices[code];
  return messengerName;
}

VCard::Birthday CNContactStoreHelper::createBirthdate(Date birthday) {
  // The local calendar day, as the date's text form renders it.
  const std::string text = toString(birthday);
  VCard::Birthday components;
  int year = 0;
  const bool negative = !text.empty() && text[0] == '-';
  const size_t yearEnd = text.find('-', negative ? 1 : 0);
  std::from_chars(text.data() + (negative ? 1 : 0), text.data() + yearEnd, year);
  std::from_chars(text.data() + yearEnd + 1, text.data() + yearEnd + 3, components.month);
  std::from_chars(text.data() + yearEnd + 4, text.data() + yearEnd + 6, components.day);
  if (negative) year = -year;
  if (year != 0 && year != 1) components.year = year;
  return components;
}

}  // namespace tessellon
