#pragma once

#include <string>

#include "platform/identity/DirectoryUtilsProtocol.h"
#include "platform/identity/UserHome.h"

namespace tessellon {

class DirectoryUtilsAdapter : public DirectoryUtilsProtocol {
 public:
  std::string getRealHomeDirectory() const override { return userHome(); }
};

}  // namespace tessellon
