#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tessellon {

// The kinds of labelled vCard properties.
enum class VCardField { phone, email, address, url, instantMessage };

// The one mapping between the address book's predefined labels and vCard TYPE
// parameter values, and between instant-message services and IMPP URI schemes.
// Labels without a TYPE form (custom texts, predefined words not listed) travel
// as grouped X-ABLabel lines instead.
struct VCardLabels {
  // Upper-case TYPE values for `label` on `field`; empty when the label has no
  // TYPE form.
  static std::vector<std::string> typesFor(VCardField field, std::string_view label);

  // The predefined label that `types` (TYPE values in any case, PREF and
  // similar markers ignored) stand for on `field`; empty when none does.
  static std::string labelFor(VCardField field, const std::vector<std::string>& types);

  // The IMPP URI scheme of a service ("Skype" -> "skype"), "x-im" for services
  // without a scheme of their own.
  static std::string schemeFor(std::string_view service);
  // The service an IMPP URI scheme names; empty for unknown schemes.
  static std::string serviceFor(std::string_view scheme);
  // The service of a pre-IMPP property ("X-SKYPE" -> "Skype"); empty when the
  // upper-case `propertyName` is none of them.
  static std::string serviceForProperty(std::string_view propertyName);
};

}  // namespace tessellon
