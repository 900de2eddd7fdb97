#pragma once

#include <string>

#include "platform/contacts/CNContactStoreHelperProtocol.h"

namespace tessellon {

// The mapping between vCard-backed cards and Contact records. No state.
class CNContactStoreHelper final : public CNContactStoreHelperProtocol {
 public:
  CNContactStoreHelper() = default;

  std::shared_ptr<Contact> mapContact(const VCard& card) const override;
  VCard mapContact(const Contact& contact) const override;
  Result<VCard> readSource(const std::string& source) const override;
  std::string sourceKey(const std::string& source) const override;

  // The service of a messenger name: decimal codes -1 to 9 of phone
  // applications map to service names, any other text is used as it is.
  static std::string getMappedInstantMessageServiceName(const std::string& messengerName);
  // Day, month and year of `birthday` in local time; no year for years 0 and 1.
  static VCard::Birthday createBirthdate(Date birthday);
};

}  // namespace tessellon
