#include "platform/contacts/VCardText.h"

#include <cstdint>

#include "platform/text/AsciiText.h"

namespace tessellon {
namespace {

constexpr size_t kFoldOctets = 75;

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

void appendCodePoint(std::string& out, uint32_t codePoint) {
  if (codePoint < 0x80) {
    out.push_back(static_cast<char>(codePoint));
  } else if (codePoint < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  }
}

// Windows-1252 differs from ISO-8859-1 only in 0x80..0x9F; 0 marks the five
// unassigned bytes, which keep their ISO-8859-1 meaning.
constexpr uint16_t kWindows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// The length of the UTF-8 sequence at `position`, 0 when none starts there.
size_t sequenceLength(std::string_view bytes, size_t position) {
  const auto lead = static_cast<unsigned char>(bytes[position]);
  size_t length = 0;
  uint32_t minimum = 0;
  uint32_t codePoint = 0;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, minimum = 0x80, codePoint = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, minimum = 0x800, codePoint = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, minimum = 0x10000, codePoint = lead & 0x07;
  } else {
    return 0;
  }
  if (bytes.size() - position < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(bytes[position + i]);
    if ((next & 0xC0) != 0x80) return 0;
    codePoint = (codePoint << 6) | (next & 0x3F);
  }
  if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
    return 0;
  }
  return length;
}

}  // namespace

std::string VCardText::unescape(std::string_view raw) {
  std::string text;
  text.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    const char c = raw[i];
    if (c != '\\' || i + 1 == raw.size()) {
      text.push_back(c);
      continue;
    }
    const char next = raw[i + 1];
    if (next == 'n' || next == 'N') {
      text.push_back('\n');
    } else if (next == '\\' || next == ',' || next == ';' || next == ':') {
      text.push_back(next);
    } else {
      text.push_back(c);
      continue;
    }
    ++i;
  }
  return text;
}

std::vector<std::string> VCardText::splitStructured(std::string_view raw) {
  std::vector<std::string> components;
  size_t start = 0;
  for (size_t i = 0; i <= raw.size(); ++i) {
    if (i < raw.size() && raw[i] == '\\') {
      ++i;
      continue;
    }
    if (i == raw.size() || raw[i] == ';') {
      components.push_back(unescape(raw.substr(start, i - start)));
      start = i + 1;
    }
  }
  return components;
}

std::string VCardText::escape(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size() + 8);
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    switch (c) {
      case '\\':
        escaped.append("\\\\");
        break;
      case '\r':
        // CRLF and a lone CR are both one line break.
        if (i + 1 < text.size() && text[i + 1] == '\n') break;
        escaped.append("\\n");
        break;
      case '\n':
        escaped.append("\\n");
        break;
      case ',':
        escaped.append("\\,");
        break;
      case ';':
        escaped.append("\\;");
        break;
      default:
        escaped.push_back(c);
    }
  }
  return escaped;
}

std::string VCardText::decodeQuotedPrintable(std::string_view raw) {
  std::string bytes;
  bytes.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '=' && i + 2 < raw.size() && hexValue(raw[i + 1]) >= 0 &&
        hexValue(raw[i + 2]) >= 0) {
      bytes.push_back(static_cast<char>(hexValue(raw[i + 1]) * 16 + hexValue(raw[i + 2])));
      i += 2;
    } else {
      bytes.push_back(raw[i]);
    }
  }
  return bytes;
}

std::optional<std::string> VCardText::toUtf8(std::string bytes, std::string_view charset) {
  const bool latin1 = equalsIgnoringCase(charset, "ISO-8859-1") ||
                      equalsIgnoringCase(charset, "ISO_8859-1") ||
                      equalsIgnoringCase(charset, "LATIN1");
  const bool windows1252 =
      equalsIgnoringCase(charset, "WINDOWS-1252") || equalsIgnoringCase(charset, "CP1252");
  if (!latin1 && !windows1252) {
    if (isValidUtf8(bytes)) return bytes;
    return std::nullopt;
  }
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    uint32_t codePoint = byte;
    if (windows1252 && byte >= 0x80 && byte <= 0x9F && kWindows1252High[byte - 0x80] != 0) {
      codePoint = kWindows1252High[byte - 0x80];
    }
    appendCodePoint(text, codePoint);
  }
  return text;
}

bool VCardText::isValidUtf8(std::string_view bytes) {
  for (size_t i = 0; i < bytes.size();) {
    const size_t length = sequenceLength(bytes, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

void VCardText::appendFolded(std::string& out, std::string_view line) {
  size_t limit = kFoldOctets;
  while (line.size() > limit) {
    size_t cut = limit;
    // Back up to the start of a UTF-8 sequence.
    while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
    if (cut == 0) cut = limit;
    out.append(line.substr(0, cut)).append("\r\n ");
    line.remove_prefix(cut);
    limit = kFoldOctets - 1;
  }
  out.append(line).append("\r\n");
}

}  // namespace tessellon
