#include "platform/contacts/VCardReader.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>

#include "platform/contacts/VCardContentLine.h"
#include "platform/contacts/VCardLabels.h"
#include "platform/contacts/VCardText.h"
#include "platform/text/AsciiText.h"

namespace tessellon {
namespace {

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::optional<int> digits(std::string_view text) {
  if (text.empty() || text.size() > 4) return std::nullopt;
  int value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

bool isValidDay(std::optional<int> year, int month, int day) {
  static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1 || day > kDays[month - 1]) return false;
  if (month == 2 && day == 29 && year) {
    return *year % 4 == 0 && (*year % 100 != 0 || *year % 400 == 0);
  }
  return true;
}

// "1985-04-12", "19850412", "--04-12", "--0412", optionally followed by a time.
// A year equal to `omittedYear` (X-APPLE-OMIT-YEAR) means the year is unknown.
std::optional<VCard::Birthday> parseBirthday(std::string_view value,
                                             std::optional<std::string> omittedYear) {
  value = trimmed(value);
  value = value.substr(0, value.find('T'));
  std::optional<int> year;
  std::string_view monthDay;
  if (value.starts_with("--")) {
    monthDay = value.substr(2);
  } else if (value.size() == 10 && value[4] == '-' && value[7] == '-') {
    year = digits(value.substr(0, 4));
    if (!year) return std::nullopt;
    monthDay = value.substr(5);
  } else if (value.size() == 8) {
    year = digits(value.substr(0, 4));
    if (!year) return std::nullopt;
    monthDay = value.substr(4);
  } else {
    return std::nullopt;
  }
  std::optional<int> month;
  std::optional<int> day;
  if (monthDay.size() == 5 && monthDay[2] == '-') {
    month = digits(monthDay.substr(0, 2));
    day = digits(monthDay.substr(3));
  } else if (monthDay.size() == 4) {
    month = digits(monthDay.substr(0, 2));
    day = digits(monthDay.substr(2));
  }
  if (!month || !day) return std::nullopt;
  if (year && omittedYear && digits(*omittedYear) == year) year.reset();
  if (!isValidDay(year, *month, *day)) return std::nullopt;
  return VCard::Birthday{year, *month, *day};
}

// Collects the properties of one card; labels of grouped properties are
// resolved when the card ends, since X-ABLabel may follow its property.
class CardBuilder {
 public:
  // An error text when the line makes the card unreadable.
  std::optional<std::string> add(const VCardContentLine& line);
  VCard finish();

 private:
  struct Labeled {
    VCardField field;
    size_t index;
    std::string group;
  };

  std::optional<std::string> text(const VCardContentLine& line, std::string& error) const;
  void addLabeled(VCardField field, size_t index, const VCardContentLine& line);
  std::string& labelOf(const Labeled& labeled);

  VCard card_;
  std::optional<std::string> formattedName_;
  bool hasName_ = false;
  std::vector<Labeled> labeled_;
  std::map<std::string, std::string> groupLabels_;
  std::map<std::string, std::string> groupCountryCodes_;
};

// The line's value as UTF-8 text, still escaped.
std::optional<std::string> CardBuilder::text(const VCardContentLine& line,
                                             std::string& error) const {
  std::string bytes = line.value;
  const std::optional<std::string> encoding = line.parameter("ENCODING");
  if (encoding && equalsIgnoringCase(*encoding, "QUOTED-PRINTABLE")) {
    bytes = VCardText::decodeQuotedPrintable(bytes);
    // Encoded line breaks are CRLF or CR; escaped ones, as every other text
    // has them, LF.
    size_t kept = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
      if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
      bytes[kept++] = bytes[i] == '\r' ? '\n' : bytes[i];
    }
    bytes.resize(kept);
  }
  std::optional<std::string> utf8 =
      VCardText::toUtf8(std::move(bytes), line.parameter("CHARSET").value_or("UTF-8"));
  if (!utf8) error = "invalid UTF-8 in " + line.name;
  return utf8;
}

void CardBuilder::addLabeled(VCardField field, size_t index, const VCardContentLine& line) {
  labeled_.push_back({field, index, lowered(line.group)});
  std::string label = VCardLabels::labelFor(field, line.parameterValues("TYPE"));
  Labeled& added = labeled_.back();
  labelOf(added) = std::move(label);
}

std::string& CardBuilder::labelOf(const Labeled& labeled) {
  switch (labeled.field) {
    case VCardField::phone:
      return card_.phoneNumbers[labeled.index].label;
    case VCardField::email:
      return card_.emailAddresses[labeled.index].label;
    case VCardField::address:
      return card_.postalAddresses[labeled.index].label;
    case VCardField::url:
      return card_.urlAddresses[labeled.index].label;
    case VCardField::instantMessage:
      break;
  }
  return card_.instantMessageAddresses[labeled.index].label;
}

std::optional<std::string> CardBuilder::add(const VCardContentLine& line) {
  const std::string& name = line.name;
  // Binary data (photos, keys) is not part of the record.
  const std::optional<std::string> encoding = line.parameter("ENCODING");
  if (encoding && (equalsIgnoringCase(*encoding, "B") || equalsIgnoringCase(*encoding, "BASE64"))) {
    return std::nullopt;
  }
  static const char* const kUsed[] = {
      "UID", "N",    "FN",   "NICKNAME",     "NOTE",      "TITLE",
      "ORG", "BDAY", "KIND", "X-ABSHOWAS",   "TEL",       "EMAIL",
      "URL", "ADR",  "IMPP", "X-MAIDENNAME", "X-ABLABEL", "X-ABADR"};
  const bool used = std::find(std::begin(kUsed), std::end(kUsed), name) != std::end(kUsed) ||
                    !VCardLabels::serviceForProperty(name).empty();
  if (!used) return std::nullopt;

  std::string error;
  const std::optional<std::string> raw = text(line, error);
  if (!raw) return error;
  const std::string value = VCardText::unescape(*raw);

  if (name == "UID") {
    card_.uid = value;
  } else if (name == "N") {
    std::vector<std::string> parts = VCardText::splitStructured(*raw);
    parts.resize(std::max<size_t>(parts.size(), 3));
    card_.familyName = parts[0];
    card_.givenName = parts[1];
    card_.middleName = parts[2];
    // "N:;;;;" names nobody: the formatted name, if any, is the name.
    hasName_ =
        std::any_of(parts.begin(), parts.end(), [](const auto& part) { return !part.empty(); });
  } else if (name == "FN") {
    formattedName_ = value;
  } else if (name == "NICKNAME") {
    card_.nickname = value;
  } else if (name == "NOTE") {
    card_.note = value;
  } else if (name == "TITLE") {
    card_.jobTitle = value;
  } else if (name == "X-MAIDENNAME") {
    card_.previousFamilyName = value;
  } else if (name == "ORG") {
    std::vector<std::string> parts = VCardText::splitStructured(*raw);
    parts.resize(std::max<size_t>(parts.size(), 2));
    card_.organizationName = parts[0];
    card_.departmentName = parts[1];
  } else if (name == "BDAY") {
    const std::optional<std::string> kind = line.parameter("VALUE");
    if (!kind || !equalsIgnoringCase(*kind, "text")) {
      card_.birthday = parseBirthday(value, line.parameter("X-APPLE-OMIT-YEAR"));
    }
  } else if (name == "KIND") {
    const std::string kind = lowered(trimmed(value));
    if (kind == "org" || kind == "organization") card_.contactType = VCard::kOrganization;
  } else if (name == "X-ABSHOWAS") {
    if (equalsIgnoringCase(trimmed(value), "COMPANY")) card_.contactType = VCard::kOrganization;
  } else if (name == "TEL") {
    std::string number = value;
    const std::optional<std::string> kind = line.parameter("VALUE");
    if (kind && equalsIgnoringCase(*kind, "uri") && number.size() >= 4 &&
        equalsIgnoringCase(std::string_view(number).substr(0, 4), "tel:")) {
      number.erase(0, 4);
    }
    card_.phoneNumbers.push_back({"", std::move(number)});
    addLabeled(VCardField::phone, card_.phoneNumbers.size() - 1, line);
  } else if (name == "EMAIL") {
    card_.emailAddresses.push_back({"", value});
    addLabeled(VCardField::email, card_.emailAddresses.size() - 1, line);
  } else if (name == "URL") {
    card_.urlAddresses.push_back({"", value});
    addLabeled(VCardField::url, card_.urlAddresses.size() - 1, line);
  } else if (name == "ADR") {
    std::vector<std::string> parts = VCardText::splitStructured(*raw);
    parts.resize(std::max<size_t>(parts.size(), 7));
    VCard::PostalAddress address;
    // Post-office box and extended address have no field of their own.
    address.street = parts[2];
    for (const std::string* extra : {&parts[1], &parts[0]}) {
      if (extra->empty()) continue;
      address.street = address.street.empty() ? *extra : address.street + "\n" + *extra;
    }
    address.city = parts[3];
    address.state = parts[4];
    address.postalCode = parts[5];
    address.country = parts[6];
    card_.postalAddresses.push_back(std::move(address));
    addLabeled(VCardField::address, card_.postalAddresses.size() - 1, line);
  } else if (name == "IMPP" || !VCardLabels::serviceForProperty(name).empty()) {
    VCard::InstantMessageAddress address;
    if (name == "IMPP") {
      size_t colon = value.find(':');
      // Only a URI scheme names a service; other text before a colon is the name.
      const bool hasScheme =
          colon != std::string::npos && colon > 0 &&
          std::all_of(value.begin(), value.begin() + static_cast<std::ptrdiff_t>(colon),
                      [](char c) {
                        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' ||
                               c == '-' || c == '.';
                      });
      if (!hasScheme) colon = std::string::npos;
      const std::string scheme = colon == std::string::npos ? "" : value.substr(0, colon);
      address.username = colon == std::string::npos ? value : value.substr(colon + 1);
      if (std::optional<std::string> service = line.parameter("X-SERVICE-TYPE")) {
        if (!VCardText::isValidUtf8(*service)) return "invalid UTF-8 in IMPP";
        address.service = std::move(*service);
      } else {
        address.service = VCardLabels::serviceFor(scheme);
        if (address.service.empty()) address.service = scheme;
      }
    } else {
      address.service = VCardLabels::serviceForProperty(name);
      address.username = value;
    }
    card_.instantMessageAddresses.push_back(std::move(address));
    addLabeled(VCardField::instantMessage, card_.instantMessageAddresses.size() - 1, line);
  } else if (name == "X-ABLABEL") {
    if (!line.group.empty()) groupLabels_[lowered(line.group)] = value;
  } else if (name == "X-ABADR") {
    if (!line.group.empty()) groupCountryCodes_[lowered(line.group)] = value;
  }
  return std::nullopt;
}

VCard CardBuilder::finish() {
  for (const Labeled& labeled : labeled_) {
    if (labeled.group.empty()) continue;
    if (auto label = groupLabels_.find(labeled.group); label != groupLabels_.end()) {
      labelOf(labeled) = label->second;
    }
    if (labeled.field != VCardField::address) continue;
    if (auto code = groupCountryCodes_.find(labeled.group); code != groupCountryCodes_.end()) {
      card_.postalAddresses[labeled.index].isoCountryCode = code->second;
    }
  }
  // Cards with only a formatted name (common in 4.0) keep it as the
  // organisation's or the person's name.
  if (!hasName_ && formattedName_ && !formattedName_->empty()) {
    if (card_.contactType == VCard::kOrganization) {
      // A company's formatted name is how it is shown, never a person's name.
      if (card_.organizationName.empty()) card_.organizationName = *formattedName_;
    } else if (*formattedName_ != card_.organizationName) {
      card_.givenName = *formattedName_;
    }
  }
  return std::move(card_);
}

}  // namespace

VCardReader::Result VCardReader::read(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  Result result;
  std::optional<CardBuilder> builder;
  std::optional<std::string> cardError;
  size_t cardNumber = 0;
  bool inBinary = false;
  auto fail = [&](const std::string& reason) {
    result.errors.push_back("card " + std::to_string(cardNumber) + ": " + reason);
  };

  // The card's own lines, kept so that what the fields cannot hold still travels with it.
  std::string source;
  for (const std::string& physical : VCardContentLine::unfold(text)) {
    std::optional<VCardContentLine> line = VCardContentLine::parse(physical);
    const bool begins =
        line && line->name == "BEGIN" && equalsIgnoringCase(trimmed(line->value), "VCARD");
    const bool ends =
        line && line->name == "END" && equalsIgnoringCase(trimmed(line->value), "VCARD");
    if (builder || begins) {
      if (begins) source.clear();
      source.append(physical).push_back('\n');
    }
    if (begins) {
      if (builder) fail(cardError.value_or("BEGIN before END"));
      ++cardNumber;
      builder.emplace();
      cardError.reset();
      inBinary = false;
    } else if (ends) {
      if (!builder) continue;
      if (cardError) {
        fail(*cardError);
      } else {
        result.cards.push_back(builder->finish());
        source.pop_back();
        result.cards.back().source = std::move(source);
        source.clear();
      }
      builder.reset();
    } else if (builder && !cardError) {
      if (!line) {
        // Older writers continue base64 data on lines of their own.
        if (!inBinary) cardError = "a line without \":\"";
        continue;
      }
      const std::optional<std::string> encoding = line->parameter("ENCODING");
      inBinary = encoding &&
                 (equalsIgnoringCase(*encoding, "B") || equalsIgnoringCase(*encoding, "BASE64"));
      if (std::optional<std::string> error = builder->add(*line)) {
        cardError = std::move(error);
      }
    }
  }
  if (builder) fail(cardError.value_or("no END:VCARD"));
  if (cardNumber == 0 && text.find_first_not_of(" \t\r\n") != std::string_view::npos) {
    result.errors.push_back("no vCard in the file");
  }
  return result;
}

}  // namespace tessellon
