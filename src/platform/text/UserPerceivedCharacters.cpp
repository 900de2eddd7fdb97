#include "platform/text/UserPerceivedCharacters.h"

#include <memory>

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

namespace tessellon {

std::vector<std::string> userPerceivedCharacters(std::string_view text) {
  const icu::UnicodeString given = icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
  icu::UnicodeString normal = U_SUCCESS(status) ? nfc->normalize(given, status) : given;
  if (U_FAILURE(status)) normal = given;
  std::vector<std::string> characters;
  status = U_ZERO_ERROR;
  std::unique_ptr<icu::BreakIterator> clusters(
      icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
  if (U_FAILURE(status) || !clusters) {
    // Without ICU's data: code points, which still never split one.
    for (int32_t at = 0; at < normal.length(); at = normal.moveIndex32(at, 1)) {
      std::string piece;
      normal.tempSubStringBetween(at, normal.moveIndex32(at, 1)).toUTF8String(piece);
      characters.push_back(std::move(piece));
    }
    return characters;
  }
  clusters->setText(normal);
  for (int32_t start = clusters->first(), end = clusters->next(); end != icu::BreakIterator::DONE;
       start = end, end = clusters->next()) {
    std::string piece;
    normal.tempSubStringBetween(start, end).toUTF8String(piece);
    characters.push_back(std::move(piece));
  }
  return characters;
}

}  // namespace tessellon
