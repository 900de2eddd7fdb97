#include "tessellon/BackupSettings.h"

#include <algorithm>
#include <string_view>

#include "platform/text/UserPerceivedCharacters.h"

namespace tessellon {
namespace {

// Whole characters as a person sees them are kept or dropped: a decomposed "ä" is kept as "ä",
// and "é" goes with its accent rather than leaving an "e" or a lone accent behind.
constexpr std::string_view kAcceptedAscii =
    "abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLKMNOPQRSTUVWXYZ1234567890_";
constexpr std::string_view kAcceptedUtf8[] = {"ä", "ö", "ü", "ß", "Ä", "Ü", "Ö"};

bool accepted(std::string_view character) {
  if (character.size() == 1) return kAcceptedAscii.find(character[0]) != std::string_view::npos;
  return std::find(std::begin(kAcceptedUtf8), std::end(kAcceptedUtf8), character) !=
         std::end(kAcceptedUtf8);
}

std::string filterName(const std::string& name) {
  std::string kept;
  for (const std::string& character : userPerceivedCharacters(name)) {
    if (accepted(character)) kept += character;
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
