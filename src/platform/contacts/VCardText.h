#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessellon {

// The value encodings of vCard text: escapes, structured values, quoted-
// printable, legacy character sets, and folding of written lines. Pure
// functions; every one is linear in its input.
struct VCardText {
  // Undoes "\\", "\n" ("\N"), "\,", "\;" and "\:". Other backslashes are
  // kept: older writers leave them unescaped (a path in a note).
  static std::string unescape(std::string_view raw);
  // The components of a structured value (N, ADR, ORG), split at unescaped
  // ";" and unescaped.
  static std::vector<std::string> splitStructured(std::string_view raw);
  // Escapes "\", newline, "," and ";".
  static std::string escape(std::string_view text);

  // Quoted-printable bytes; "=" not followed by two hex digits stays as is.
  static std::string decodeQuotedPrintable(std::string_view raw);
  // `bytes` in `charset` as UTF-8; nothing for invalid UTF-8 or an unknown
  // charset whose bytes are not UTF-8 either. ISO-8859-1, Windows-1252 and
  // US-ASCII are converted.
  static std::optional<std::string> toUtf8(std::string bytes, std::string_view charset);
  static bool isValidUtf8(std::string_view bytes);

  // `line` folded at 75 octets, continuation lines led by one space, never
  // inside a UTF-8 sequence; each physical line ends with CRLF.
  static void appendFolded(std::string& out, std::string_view line);
};

}  // namespace tessellon
