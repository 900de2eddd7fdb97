#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessellon {

// The address book's predefined labels and the numeric label codes that phone
// applications of another platform write into "contacts.json".
struct ContactLabels {
  // "_$!<" + word + ">!$_".
  static std::string label(std::string_view word);
  // The word of a predefined label, or nothing for a custom or empty label.
  static std::optional<std::string_view> wordOf(std::string_view label);

  // The label a phone "labelType" code stands for: 1 Home, 2 Mobile, 3 Work,
  // 4 WorkFAX, 5 HomeFAX, 6 Pager, 7 Other, 12 Main; nothing for every other
  // code (custom, and codes without a counterpart here), which keeps the
  // stored label.
  static std::optional<std::string> adoptPhoneNumberLabelFromAndroid(int64_t labelType);
  // The same for e-mail and postal addresses: 1 Home, 2 Work, 3 Other.
  static std::optional<std::string> adoptAddressLabelFromAndroid(int64_t labelType);
};

}  // namespace tessellon
