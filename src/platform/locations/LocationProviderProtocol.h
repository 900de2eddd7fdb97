#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tessellon {

// Where the user's media folders are and which photo-library bundles they hold.
// Read by media discovery, the access check and restore.
class LocationProviderProtocol {
 public:
  static constexpr std::string_view kProtocolName = "LocationProviderProtocol";
  LocationProviderProtocol() = default;
  virtual ~LocationProviderProtocol() = default;
  LocationProviderProtocol(const LocationProviderProtocol&) = delete;
  LocationProviderProtocol& operator=(const LocationProviderProtocol&) = delete;

  virtual std::string localHomeDirectory() const = 0;
  // The picture folder: the host's choice, else the real home + "Pictures".
  virtual std::string localImageDirectory() const = 0;
  // The movie folder: the host's choice, else the real home + "Movies".
  virtual std::string localVideoDirectory() const = 0;
  // The ".photoslibrary" bundles below `directory`, relative to it, in listing
  // order; empty when the folder cannot be listed.
  virtual std::vector<std::string> getPhotoLibraries(const std::string& directory) const = 0;
};

}  // namespace tessellon
