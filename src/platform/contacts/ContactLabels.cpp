#include "platform/contacts/ContactLabels.h"

#include "platform/contacts/Contact.h"

namespace tessellon {
namespace {

constexpr std::string_view kLabelPrefix = "_$!<";
constexpr std::string_view kLabelSuffix = ">!$_";

}  // namespace

std::string ContactLabels::label(std::string_view word) {
  std::string text;
  text.reserve(kLabelPrefix.size() + word.size() + kLabelSuffix.size());
  text.append(kLabelPrefix).append(word).append(kLabelSuffix);
  return text;
}

std::optional<std::string_view> ContactLabels::wordOf(std::string_view label) {
  if (label.size() < kLabelPrefix.size() + kLabelSuffix.size() ||
      !label.starts_with(kLabelPrefix) || !label.ends_with(kLabelSuffix)) {
    return std::nullopt;
  }
  return label.substr(kLabelPrefix.size(),
                      label.size() - kLabelPrefix.size() - kLabelSuffix.size());
}

std::optional<std::string> ContactLabels::adoptPhoneNumberLabelFromAndroid(int64_t labelType) {
  using Type = PhoneNumber::AndroidPhoneNumberLabelType;
  // Checked first: a wide code must not wrap onto a known one.
  if (labelType < 0 || labelType > static_cast<int64_t>(Type::main)) return std::nullopt;
  switch (static_cast<Type>(labelType)) {
    case Type::home:
      return label("Home");
    case Type::mobile:
      return label("Mobile");
    case Type::work:
      return label("Work");
    case Type::workFax:
      return label("WorkFAX");
    case Type::homeFax:
      return label("HomeFAX");
    case Type::pager:
      return label("Pager");
    case Type::other:
      return label("Other");
    case Type::main:
      return label("Main");
    case Type::custom:
      break;
  }
  return std::nullopt;
}

std::optional<std::string> ContactLabels::adoptAddressLabelFromAndroid(int64_t labelType) {
  switch (labelType) {
    case 1:
      return label("Home");
    case 2:
      return label("Work");
    case 3:
      return label("Other");
    default:
      return std::nullopt;
  }
}

}  // namespace tessellon
