#pragma once

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/locations/LocationProviderProtocol.h"

namespace tessellon {

// Media folders under a test's home folder: "<home>/Pictures" and "<home>/Movies"; photo libraries
// are the ".photoslibrary" folders directly inside the folder asked about.
class FolderLocationProvider final : public LocationProviderProtocol {
 public:
  explicit FolderLocationProvider(std::string home) : home_(std::move(home)) {}

  std::string localHomeDirectory() const override { return home_; }
  std::string localImageDirectory() const override { return home_ + "/Pictures"; }
  std::string localVideoDirectory() const override { return home_ + "/Movies"; }
  std::vector<std::string> getPhotoLibraries(const std::string& directory) const override {
    std::vector<std::string> libraries;
    std::error_code error;
    for (std::filesystem::directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error)) {
      const std::string name = it->path().filename().string();
      if (name.ends_with(".photoslibrary") && it->is_directory()) libraries.push_back(name);
    }
    std::sort(libraries.begin(), libraries.end());
    return libraries;
  }

 private:
  std::string home_;
};

}  // namespace tessellon
