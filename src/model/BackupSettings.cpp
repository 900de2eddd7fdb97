#include "tessellon/BackupSettings.h"

#include <algorithm>
#include <string_view>

namespace tessellon {
namespace {

// Multi-byte characters are compared whole: a name keeps "ä" but never half of
// another two-byte character that shares its first byte.
constexpr std::string_view kAcceptedAscii =
    "abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLKMNOPQRSTUVWXYZ1234567890_";
constexpr std::string_view kAcceptedUtf8[] = {"ä", "ö", "ü", "ß", "Ä", "Ü", "Ö"};

size_t utf8Length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead >> 5) == 0x6) return 2;
  if ((lead >> 4) == 0xE) return 3;
  if ((lead >> 3) == 0x1E) return 4;
  return 1;
}

std::string filterName(const std::string& name) {
  std::string kept;
  for (size_t i = 0; i < name.size();) {
    size_t length = std::min(utf8Length(static_cast<unsigned char>(name[i])), name.size() - i);
    std::string_view character(name.data() + i, length);
    bool accepted = length == 1 ? kAcceptedAscii.find(character[0]) != std::string_view::npos
                                : std::find(std::begin(kAcceptedUtf8), std::end(kAcceptedUtf8),
                                            character) != std::end(kAcceptedUtf8);
    if (accepted) kept.append(character);
    i += length;
  }
  return kept;
}

}  // namespace

BackupSettings::BackupSettings(const std::string& name, bool withContacts, bool withCalendars,
                               bool withVideos, bool withImages, bool keepDeleted)
    : Settings(withContacts, withCalendars, withVideos, withImages),
      backupName(filterName(name)),
      keepDeletedItems(keepDeleted) {}

}  // namespace tessellon
