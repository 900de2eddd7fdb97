#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tessellon {

// The characters of UTF-8 `text` as a person sees them: normalised to NFC, then split into
// grapheme clusters, so a decomposed "ä" is one "ä" and an accent is never apart from the letter
// it sits on. Ill-formed bytes come out as U+FFFD.
std::vector<std::string> userPerceivedCharacters(std::string_view text);

}  // namespace tessellon
