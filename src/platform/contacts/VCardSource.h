#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tessellon {

// The whole text of one card as a backup keeps it (VCard::source): unfolded lines joined by "\n",
// from BEGIN:VCARD to END:VCARD. Kept text comes back from a document, so it is untrusted input:
// the store reads it again before writing it. Pure functions; safe from any thread.
struct VCardSource {
  // Larger cards travel as their record alone: a photo of a few hundred kilobytes fits, a card
  // that would swell "contacts.json" by megabytes does not.
  static constexpr size_t kMaxBytes = 2 << 20;

  // The text two equal cards share: without PRODID, REV and UID, which every writer and every
  // copy of a card changes.
  static std::string normalized(std::string_view source);

  // `source` with `uid` as its UID, added before END:VCARD when it has none.
  static std::string withUid(std::string_view source, std::string_view uid);

  // The file content: CRLF line ends, lines folded at 75 octets. Quoted-printable lines stay
  // whole: their line breaks are soft breaks inside the value, not folding.
  static std::string fileText(std::string_view source);
};

}  // namespace tessellon
