#pragma once

#include <string>

#include "platform/identity/DirectoryUtilsProtocol.h"

namespace tessellon {

class DirectoryUtilsAdapter : public DirectoryUtilsProtocol {
 public:
  std::string getRealHomeDirectory() const override;
};

}  // namespace tessellon
