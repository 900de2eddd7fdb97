#include "cli/EmptyFolder.h"

#include <unistd.h>
#include <cstdlib>
#include <string>

namespace tessellon::cli {

EmptyFolder::EmptyFolder() {
  const char* tmp = std::getenv("TMPDIR");
  for (const std::string& parent :
       {std::string(tmp != nullptr && *tmp == '/' ? tmp : ""), std::string("/tmp")}) {
    if (parent.empty()) continue;
    std::string pattern = parent + "/tessellon-empty-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) {
      path_ = pattern;
      return;
    }
  }
}

EmptyFolder::~EmptyFolder() {
  if (!path_.empty()) rmdir(path_.c_str());
}

}  // namespace tessellon::cli
