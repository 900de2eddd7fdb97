#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/contacts/VCard.h"

namespace tessellon {

// Reads the cards of one vCard file: versions 2.1, 3.0 and 4.0, any mix of
// line endings. A card that cannot be read (no END, invalid UTF-8 in a field
// it uses, a line that is not "name:value") is left out and described in
// `errors`; the other cards of the file are still read. Each card keeps its
// own unfolded lines as its source. Linear in the input.
// Stateless; safe from any thread.
class VCardReader {
 public:
  struct Result {
    std::vector<VCard> cards;
    // One text per card left out: "card 2: invalid UTF-8 in NOTE".
    std::vector<std::string> errors;
  };

  static Result read(std::string_view text);
};

}  // namespace tessellon
