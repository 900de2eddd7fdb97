#pragma once

#include <string>
#include <string_view>

#include "model/MediaItem.h"

namespace tessellon {

// The identity text under which an item's fingerprints are cached: the scheme-1.2 text fingerprint
// of the decimal stable hash of its size and date. Files of equal size and date share it, and it
// survives renames and moves, so an unchanged library is never read again.
std::string cacheIdentity(const MediaItem& item);

// The key that names the cache file of an identity text (an item's identity, or a relative path).
std::string cacheKey(std::string_view identityText);

}  // namespace tessellon
