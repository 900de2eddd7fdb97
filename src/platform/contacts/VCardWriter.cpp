#include "platform/contacts/VCardWriter.h"

#include <cstdio>
#include <string_view>
#include <vector>

#include "platform/contacts/VCardLabels.h"
#include "platform/contacts/VCardText.h"

namespace tessellon {
namespace {

// Parameter values cannot hold quotes or line breaks; anything with a
// separator in it is quoted.
std::string parameterValue(std::string_view value) {
  std::string cleaned;
  bool needsQuotes = false;
  for (const char c : value) {
    if (c == '"' || c == '\r' || c == '\n') {
      cleaned.push_back(c == '"' ? '\'' : ' ');
      continue;
    }
    needsQuotes = needsQuotes || c == ';' || c == ':' || c == ',';
    cleaned.push_back(c);
  }
  return needsQuotes ? "\"" + cleaned + "\"" : cleaned;
}

class CardText {
 public:
  void line(std::string_view nameAndParameters, std::string_view escapedValue) {
    std::string content;
    content.reserve(nameAndParameters.size() + escapedValue.size() + 1);
    content.append(nameAndParameters).append(":").append(escapedValue);
    VCardText::appendFolded(out_, content);
  }
  void text(std::string_view name, std::string_view value) {
    if (!value.empty()) line(name, VCardText::escape(value));
  }

  // A labelled property: TYPE parameters for a predefined label, a group with
  // an X-ABLabel line for any other; `extraGroupLines` adds lines to that group.
  void labeled(VCardField field, const std::string& name, const std::string& label,
               const std::string& parameters, std::string_view escapedValue,
               const std::string& countryCode = {}) {
    const std::vector<std::string> types = VCardLabels::typesFor(field, label);
    const bool grouped = (types.empty() && !label.empty()) || !countryCode.empty();
    std::string head = grouped ? "item" + std::to_string(++groups_) + "." + name : name;
    if (!types.empty()) {
      head.append(";TYPE=");
      for (size_t i = 0; i < types.size(); ++i) head.append(i == 0 ? "" : ",").append(types[i]);
    }
    head.append(parameters);
    line(head, escapedValue);
    const std::string group = "item" + std::to_string(groups_) + ".";
    if (grouped && types.empty() && !label.empty()) {
      line(group + "X-ABLabel", VCardText::escape(label));
    }
    if (!countryCode.empty()) line(group + "X-ABADR", VCardText::escape(countryCode));
  }

  std::string take() { return std::move(out_); }

 private:
  std::string out_;
  int groups_ = 0;
};

std::string structured(std::initializer_list<std::string_view> components) {
  std::string value;
  bool first = true;
  for (std::string_view component : components) {
    if (!first) value.push_back(';');
    value.append(VCardText::escape(component));
    first = false;
  }
  return value;
}

std::string formattedName(const VCard& card) {
  std::string name;
  for (const std::string* part : {&card.givenName, &card.middleName, &card.familyName}) {
    if (part->empty()) continue;
    if (!name.empty()) name.push_back(' ');
    name.append(*part);
  }
  if (card.contactType == VCard::kOrganization && !card.organizationName.empty()) {
    return card.organizationName;
  }
  if (name.empty()) name = !card.organizationName.empty() ? card.organizationName : card.nickname;
  return name;
}

std::string birthdayText(const VCard::Birthday& birthday) {
  char text[16];
  if (birthday.year) {
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", *birthday.year, birthday.month,
                  birthday.day);
  } else {
    std::snprintf(text, sizeof text, "--%02d-%02d", birthday.month, birthday.day);
  }
  return text;
}

}  // namespace

std::string VCardWriter::write(const VCard& card) {
  CardText out;
  out.line("BEGIN", "VCARD");
  out.line("VERSION", "3.0");
  out.line("PRODID", "-//Tessellon//Contacts//EN");
  out.text("UID", card.uid);
  out.line("N", structured({card.familyName, card.givenName, card.middleName, "", ""}));
  out.line("FN", VCardText::escape(formattedName(card)));
  out.text("X-MAIDENNAME", card.previousFamilyName);
  out.text("NICKNAME", card.nickname);
  if (!card.organizationName.empty() || !card.departmentName.empty()) {
    out.line("ORG", structured({card.organizationName, card.departmentName}));
  }
  out.text("TITLE", card.jobTitle);
  if (card.birthday) out.line("BDAY", birthdayText(*card.birthday));
  if (card.contactType == VCard::kOrganization) out.line("X-ABShowAs", "COMPANY");
  for (const VCard::LabeledValue& phone : card.phoneNumbers) {
    out.labeled(VCardField::phone, "TEL", phone.label, "", VCardText::escape(phone.value));
  }
  for (const VCard::LabeledValue& email : card.emailAddresses) {
    out.labeled(VCardField::email, "EMAIL", email.label, ";TYPE=INTERNET",
                VCardText::escape(email.value));
  }
  for (const VCard::PostalAddress& address : card.postalAddresses) {
    out.labeled(VCardField::address, "ADR", address.label, "",
                structured({"", "", address.street, address.city, address.state, address.postalCode,
                            address.country}),
                address.isoCountryCode);
  }
  for (const VCard::LabeledValue& url : card.urlAddresses) {
    out.labeled(VCardField::url, "URL", url.label, "", VCardText::escape(url.value));
  }
  for (const VCard::InstantMessageAddress& address : card.instantMessageAddresses) {
    out.labeled(
        VCardField::instantMessage, "IMPP", address.label,
        ";X-SERVICE-TYPE=" + parameterValue(address.service),
        VCardText::escape(VCardLabels::schemeFor(address.service) + ":" + address.username));
  }
  out.text("NOTE", card.note);
  out.line("END", "VCARD");
  return out.take();
}

}  // namespace tessellon
