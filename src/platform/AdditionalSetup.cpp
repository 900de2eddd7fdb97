#include "platform/AdditionalSetup.h"

#include "media/MediaPathUtil.h"
#include "media/fingerprints/Hasher.h"
#include "platform/memorymap/FileContentReader.h"
#include "sdk/IoC.h"

namespace tessellon {

void AdditionalSetup::setupIoC(const PlatformRoots& roots) {
  IoC::registerLazySingleton<FileContentReaderProtocol>(
      [] { return std::make_shared<FileContentReader>(); });
  IoC::registerLazySingleton<HasherProtocol>([] { return std::make_shared<Hasher>(); });
  IoC::registerLazySingleton<MediaPathUtilProtocol>(
      [] { return std::make_shared<MediaPathUtil>(); });
  // The media, location and store implementations register here over `roots`.
  (void)roots;
}

}  // namespace tessellon
