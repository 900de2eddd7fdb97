#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/files/FileIOServiceProtocol.h"
#include "platform/identity/DirectoryUtilsProtocol.h"
#include "platform/locations/LocationProviderProtocol.h"

namespace tessellon {

// The media folders: the host's choice where it made one, else the real home's
// "Pictures" and "Movies", read from the user database on every call.
class LocationProvider final : public LocationProviderProtocol {
 public:
  LocationProvider(std::shared_ptr<DirectoryUtilsProtocol> directoryUtils,
                   std::shared_ptr<FileIOServiceProtocol> fileManager,
                   std::optional<std::string> pictures = std::nullopt,
                   std::optional<std::string> movies = std::nullopt);

  std::string localHomeDirectory() const override;
  std::string localImageDirectory() const override;
  std::string localVideoDirectory() const override;
  // Only the bundle itself is listed, never the folders inside it.
  std::vector<std::string> getPhotoLibraries(const std::string& directory) const override;

 private:
  std::shared_ptr<DirectoryUtilsProtocol> directoryUtils_;
  std::shared_ptr<FileIOServiceProtocol> fileManager_;
  std::optional<std::string> pictures_;
  std::optional<std::string> movies_;
};

}  // namespace tessellon
