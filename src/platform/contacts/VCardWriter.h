#pragma once

#include <string>

#include "platform/contacts/VCard.h"

namespace tessellon {

// Writes one card as vCard 3.0 text: CRLF line ends, lines folded at 75
// octets, values escaped, predefined labels as TYPE parameters and every other
// label as a grouped X-ABLabel line. Stateless; safe from any thread.
class VCardWriter {
 public:
  // Preconditions: `card.uid` is set (the store assigns one).
  static std::string write(const VCard& card);
};

}  // namespace tessellon
