#pragma once

#include <memory>
#include <string>

#include "tessellon/LoggerProtocol.h"

#include "platform/contacts/CNContactStoreHelper.h"
#include "platform/contacts/ContactRepositoryProtocol.h"

namespace tessellon {

// Builds the contact store over a vCard folder, for the container setup and
// for programs that measure it.
struct ContactRepositoryFactory {
  static std::shared_ptr<CNContactStoreHelper> createHelper();
  // `logger` may be null; `helper` null means a new one of createHelper().
  static std::shared_ptr<ContactRepositoryProtocol> create(
      std::string root, std::shared_ptr<LoggerProtocol> logger = nullptr,
      std::shared_ptr<CNContactStoreHelper> helper = nullptr);
};

}  // namespace tessellon
