#include "platform/contacts/VCardLabels.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "platform/contacts/ContactLabels.h"
#include "platform/text/AsciiText.h"

namespace tessellon {
namespace {

struct LabelRow {
  std::string_view word;
  std::array<std::string_view, 2> typeSlots;  // lower case; an empty slot is unused
  bool phoneOnly;

  std::vector<std::string_view> types() const {
    std::vector<std::string_view> used;
    for (std::string_view type : typeSlots) {
      if (!type.empty()) used.push_back(type);
    }
    return used;
  }
};

// More specific rows first: reading falls back to the largest row whose types
// are all present.
constexpr std::array<LabelRow, 9> kLabelRows{{
    {"HomeFAX", {"home", "fax"}, true},
    {"WorkFAX", {"work", "fax"}, true},
    {"OtherFAX", {"fax"}, true},
    {"Mobile", {"cell"}, true},
    {"Main", {"main"}, true},
    {"Pager", {"pager"}, true},
    {"Home", {"home"}, false},
    {"Work", {"work"}, false},
    {"Other", {"other"}, false},
}};

// TYPE values that qualify a property without naming its label.
constexpr std::array<std::string_view, 10> kMarkers{"pref", "voice",  "internet", "x400", "dom",
                                                    "intl", "postal", "parcel",   "msg",  "text"};

struct ServiceRow {
  std::string_view service;
  std::string_view scheme;
  std::string_view property;  // the property older cards use instead of IMPP
};

constexpr std::array<ServiceRow, 9> kServiceRows{{
    {"AIM", "aim", "X-AIM"},
    {"Jabber", "xmpp", "X-JABBER"},
    {"MSN", "msnim", "X-MSN"},
    {"Yahoo", "ymsgr", "X-YAHOO"},
    {"Skype", "skype", "X-SKYPE"},
    {"ICQ", "icq", "X-ICQ"},
    {"GoogleTalk", "gtalk", "X-GOOGLE-TALK"},
    {"QQ", "qq", "X-QQ"},
    {"GaduGadu", "gg", "X-GADUGADU"},
}};

bool appliesTo(const LabelRow& row, VCardField field) {
  return !row.phoneOnly || field == VCardField::phone;
}

}  // namespace

std::vector<std::string> VCardLabels::typesFor(VCardField field, std::string_view label) {
  const std::optional<std::string_view> word = ContactLabels::wordOf(label);
  if (!word) return {};
  for (const LabelRow& row : kLabelRows) {
    if (row.word != *word || !appliesTo(row, field)) continue;
    std::vector<std::string> types;
    for (std::string_view type : row.types()) {
      std::string upper(type);
      for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      types.push_back(std::move(upper));
    }
    return types;
  }
  return {};
}

std::string VCardLabels::labelFor(VCardField field, const std::vector<std::string>& types) {
  std::vector<std::string> named;
  for (const std::string& type : types) {
    std::string value = lowered(type);
    if (std::find(kMarkers.begin(), kMarkers.end(), value) == kMarkers.end()) {
      named.push_back(std::move(value));
    }
  }
  if (named.empty()) return {};
  const LabelRow* best = nullptr;
  for (const LabelRow& row : kLabelRows) {
    if (!appliesTo(row, field)) continue;
    const std::vector<std::string_view> rowTypes = row.types();
    const bool allPresent = std::all_of(rowTypes.begin(), rowTypes.end(), [&](auto type) {
      return std::find(named.begin(), named.end(), type) != named.end();
    });
    if (allPresent && (best == nullptr || rowTypes.size() > best->types().size())) best = &row;
  }
  return best == nullptr ? std::string() : ContactLabels::label(best->word);
}

std::string VCardLabels::schemeFor(std::string_view service) {
  for (const ServiceRow& row : kServiceRows) {
    if (row.service == service) return std::string(row.scheme);
  }
  return "x-im";
}

std::string VCardLabels::serviceFor(std::string_view scheme) {
  const std::string wanted = lowered(scheme);
  for (const ServiceRow& row : kServiceRows) {
    if (row.scheme == wanted) return std::string(row.service);
  }
  return {};
}

std::string VCardLabels::serviceForProperty(std::string_view propertyName) {
  for (const ServiceRow& row : kServiceRows) {
    if (row.property == propertyName) return std::string(row.service);
  }
  if (propertyName == "X-SKYPE-USERNAME") return "Skype";
  return {};
}

}  // namespace tessellon
