#pragma once

#include <memory>
#include <string>

#include "tessellon/LoggerProtocol.h"

#include "media/DuplicateCollectionProtocol.h"
#include "media/ImageServiceProtocol.h"
#include "media/VideoServiceProtocol.h"
#include "media/caches/CachingServiceProtocol.h"
#include "media/discovery/MediaRepositoryHelperProtocol.h"
#include "media/discovery/MediaRepositoryProtocol.h"
#include "media/fingerprints/HashingUtilAdapterProtocol.h"
#include "media/placement/RestoreMediaItemHelperProtocol.h"
#include "media/placement/SolveNameConflictOnRestoreStrategyProtocol.h"
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
  std::shared_ptr<HashingUtilAdapterProtocol> hashing;
  std::shared_ptr<CachingServiceProtocol> caching;
  std::shared_ptr<DuplicateCollectionProtocol> duplicates;
  std::shared_ptr<SolveNameConflictOnRestoreStrategyProtocol> nameConflicts;
  std::shared_ptr<RestoreMediaItemHelperProtocol> restoreHelper;
  std::shared_ptr<MediaRepositoryHelperProtocol> helper;
  std::shared_ptr<ImageRepositoryProtocol> images;
  std::shared_ptr<VideoRepositoryProtocol> videos;
  std::shared_ptr<MediaRepositoryProtocol> repository;
  std::shared_ptr<ImageServiceProtocol> imageService;
  std::shared_ptr<VideoServiceProtocol> videoService;
};

}  // namespace tessellon
