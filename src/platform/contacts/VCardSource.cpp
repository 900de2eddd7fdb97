#include "platform/contacts/VCardSource.h"

#include <cctype>

#include "platform/contacts/VCardText.h"

namespace tessellon {
namespace {

// The property name of a content line, upper case, without its group.
std::string propertyName(std::string_view line) {
  const size_t end = line.find_first_of(";:");
  std::string_view name = line.substr(0, end);
  if (const size_t dot = name.find('.'); dot != std::string_view::npos) name.remove_prefix(dot + 1);
  std::string upper(name);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

bool isQuotedPrintable(std::string_view line) {
  const size_t colon = line.find(':');
  std::string head(line.substr(0, colon));
  for (char& c : head) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return head.find("QUOTED-PRINTABLE") != std::string::npos;
}

template <class Visit>
void forEachLine(std::string_view source, Visit visit) {
  while (!source.empty()) {
    const size_t end = source.find('\n');
    visit(source.substr(0, end));
    if (end == std::string_view::npos) break;
    source.remove_prefix(end + 1);
  }
}

}  // namespace

std::string VCardSource::normalized(std::string_view source) {
  std::string kept;
  kept.reserve(source.size());
  forEachLine(source, [&](std::string_view line) {
    const std::string name = propertyName(line);
    if (name == "PRODID" || name == "REV" || name == "UID") return;
    kept.append(line).push_back('\n');
  });
  return kept;
}

std::string VCardSource::withUid(std::string_view source, std::string_view uid) {
  std::string result;
  result.reserve(source.size() + uid.size() + 8);
  bool placed = false;
  forEachLine(source, [&](std::string_view line) {
    const std::string name = propertyName(line);
    if (name == "UID") {
      if (placed) return;
      placed = true;
      result.append("UID:").append(uid).push_back('\n');
      return;
    }
    if (name == "END" && !placed) {
      placed = true;
      result.append("UID:").append(uid).push_back('\n');
    }
    result.append(line).push_back('\n');
  });
  if (!result.empty()) result.pop_back();
  return result;
}

std::string VCardSource::fileText(std::string_view source) {
  std::string text;
  text.reserve(source.size() + source.size() / 64 * 3 + 2);
  forEachLine(source, [&](std::string_view line) {
    if (isQuotedPrintable(line)) {
      text.append(line).append("\r\n");
    } else {
      VCardText::appendFolded(text, line);
    }
  });
  return text;
}

}  // namespace tessellon
