#pragma once

#include <memory>
#include <string>

#include "tessellon/LoggerProtocol.h"

#include "media/DuplicateCollection.h"
#include "media/ImageServiceProtocol.h"
#include "media/VideoServiceProtocol.h"
#include "media/caches/CachingService.h"
#include "media/discovery/MediaRepositoryHelper.h"
#include "media/discovery/MediaRepositoryProtocol.h"
#include "media/fingerprints/HashingUtilAdapter.h"
#include "media/placement/RestoreMediaItemHelper.h"
#include "media/placement/SolveNameConflictOnRestoreStrategy.h"
#include "platform/files/FileIOServiceProtocol.h"
#include "platform/locations/LocationProviderProtocol.h"
#include "platform/memorymap/FileContentReaderProtocol.h"
#include "platform/zip/ZipServiceProtocol.h"

namespace tessellon {

// The real media services wired as the container wires them, over a home folder ("Pictures",
// "Movies") and a temporary folder; the file service or content reader may be replaced.
struct MediaServices {
  struct Options {
    std::string home;
    std::string temporary;
    std::shared_ptr<FileIOServiceProtocol> files;       // default: the real file service
    std::shared_ptr<FileContentReaderProtocol> reader;  // default: the real reader
    std::shared_ptr<LoggerProtocol> logger;             // may stay null
  };

  // `zip` replaces the real zip service, e.g. with the disk-checking decorator.
  static MediaServices build(Options options, std::shared_ptr<ZipServiceProtocol> zip = nullptr);

  std::shared_ptr<FileIOServiceProtocol> files;
  std::shared_ptr<LocationProviderProtocol> locations;
  std::shared_ptr<ZipServiceProtocol> zip;
  std::shared_ptr<HashingUtilAdapter> hashing;
  std::shared_ptr<CachingService> caching;
  std::shared_ptr<DuplicateCollection> duplicates;
  std::shared_ptr<SolveNameConflictOnRestoreStrategy> nameConflicts;
  std::shared_ptr<RestoreMediaItemHelper> restoreHelper;
  std::shared_ptr<MediaRepositoryHelper> helper;
  std::shared_ptr<MediaItemRepository> images;
  std::shared_ptr<MediaItemRepository> videos;
  std::shared_ptr<MediaRepositoryProtocol> repository;
  std::shared_ptr<ImageServiceProtocol> imageService;
  std::shared_ptr<VideoServiceProtocol> videoService;
};

}  // namespace tessellon
