#include "platform/contacts/ContactRepositoryFactory.h"

#include "platform/contacts/CNContactStoreHelper.h"
#include "platform/contacts/ContactRepository.h"

namespace tessellon {

std::shared_ptr<CNContactStoreHelper> ContactRepositoryFactory::createHelper() {
  return std::make_shared<CNContactStoreHelper>();
}

std::shared_ptr<ContactRepositoryProtocol> ContactRepositoryFactory::create(
    std::string root, std::shared_ptr<LoggerProtocol> logger,
    std::shared_ptr<CNContactStoreHelper> helper) {
  if (!helper) helper = createHelper();
  return std::make_shared<ContactRepository>(std::move(root), std::move(helper), std::move(logger));
}

}  // namespace tessellon
