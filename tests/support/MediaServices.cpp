#include "support/MediaServices.h"

#include <algorithm>
#include <filesystem>
#include <utility>

#include "media/DuplicateCollection.h"
#include "media/MediaService.h"
#include "media/caches/CachingService.h"
#include "media/discovery/FileExtensionFilter.h"
#include "media/discovery/MediaItemRepository.h"
#include "media/discovery/MediaRepository.h"
#include "media/discovery/MediaRepositoryHelper.h"
#include "media/discovery/PathValidator.h"
#include "media/fingerprints/HashingUtilAdapter.h"
#include "media/placement/RestoreMediaItemHelper.h"
#include "media/placement/SolveNameConflictOnRestoreStrategy.h"
#include "platform/files/FileIOService.h"
#include "platform/memorymap/FileContentReader.h"
#include "platform/zip/ZipService.h"

namespace tessellon {
namespace {

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

}  // namespace

MediaServices MediaServices::build(Options options, std::shared_ptr<ZipServiceProtocol> zip) {
  MediaServices services;
  services.files =
      options.files ? options.files : std::make_shared<FileIOService>(options.temporary);
  services.locations = std::make_shared<FolderLocationProvider>(options.home);
  services.zip = zip ? zip : std::make_shared<ZipService>();
  auto reader = options.reader ? options.reader : std::make_shared<FileContentReader>();
  services.hashing = std::make_shared<HashingUtilAdapter>(reader);
  // The cache asks for the repository only when it refreshes, after everything is built.
  auto repositoryLater = std::make_shared<std::weak_ptr<MediaRepositoryProtocol>>();
  services.caching = std::make_shared<CachingService>(
      options.temporary, services.files, [repositoryLater] { return repositoryLater->lock(); });
  services.duplicates = std::make_shared<DuplicateCollection>(services.hashing);
  auto filter = std::make_shared<FileExtensionFilter>();
  services.nameConflicts = std::make_shared<SolveNameConflictOnRestoreStrategy>(services.files);
  services.restoreHelper = std::make_shared<RestoreMediaItemHelper>(
      services.caching, services.files, options.logger, services.locations, services.nameConflicts);
  services.helper = std::make_shared<MediaRepositoryHelper>(
      services.caching, services.zip, services.files, services.restoreHelper, services.locations,
      std::make_shared<PathValidator>(services.files), filter, services.duplicates,
      services.hashing, options.logger);
  services.images = std::make_shared<MediaItemRepository>(
      SkippedItem::Category::images, services.helper, services.locations, filter);
  services.videos = std::make_shared<MediaItemRepository>(
      SkippedItem::Category::videos, services.helper, services.locations, filter);
  services.repository = std::make_shared<MediaRepository>(services.videos, services.images,
                                                          services.caching, nullptr);
  *repositoryLater = services.repository;
  services.imageService = std::make_shared<ImageService>(services.repository);
  services.videoService = std::make_shared<VideoService>(services.repository);
  return services;
}

}  // namespace tessellon
