#include "media/caches/CacheIdentity.h"

#include "media/fingerprints/HashUtils.h"
#include "model/Constants.h"

namespace tessellon {

std::string cacheIdentity(const MediaItem& item) {
  return HashUtils::getHash(item.hashValueAsData(), Constants::backupVersion());
}

std::string cacheKey(std::string_view identityText) {
  return HashUtils::getHash(identityText, Constants::backupVersion());
}

}  // namespace tessellon
