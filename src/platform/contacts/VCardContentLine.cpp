#include "platform/contacts/VCardContentLine.h"

#include <algorithm>
#include <cctype>

namespace tessellon {
namespace {

std::string upper(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return result;
}

// The position of the first `wanted` outside double quotes, or npos.
size_t findUnquoted(std::string_view text, char wanted, size_t from = 0) {
  bool quoted = false;
  for (size_t i = from; i < text.size(); ++i) {
    if (text[i] == '"') {
      quoted = !quoted;
    } else if (text[i] == wanted && !quoted) {
      return i;
    }
  }
  return std::string_view::npos;
}

// Quotes only delimit a parameter value; they are never part of it.
std::string unquoted(std::string_view text) {
  std::string value;
  value.reserve(text.size());
  for (const char c : text) {
    if (c != '"') value.push_back(c);
  }
  return value;
}

void addValues(VCardContentLine::Parameter& parameter, std::string_view raw) {
  size_t start = 0;
  while (start <= raw.size()) {
    size_t comma = findUnquoted(raw, ',', start);
    if (comma == std::string_view::npos) comma = raw.size();
    parameter.values.push_back(unquoted(raw.substr(start, comma - start)));
    start = comma + 1;
  }
}

VCardContentLine::Parameter parseParameter(std::string_view raw) {
  VCardContentLine::Parameter parameter;
  const size_t equals = findUnquoted(raw, '=');
  if (equals == std::string_view::npos) {
    // vCard 2.1 writes bare values: "TEL;HOME;VOICE", "NOTE;QUOTED-PRINTABLE".
    const std::string value = upper(raw);
    const bool encoding = value == "QUOTED-PRINTABLE" || value == "BASE64" || value == "8BIT" ||
                          value == "7BIT" || value == "B";
    parameter.name = encoding ? "ENCODING" : "TYPE";
    parameter.values.push_back(std::string(raw));
    return parameter;
  }
  parameter.name = upper(raw.substr(0, equals));
  addValues(parameter, raw.substr(equals + 1));
  return parameter;
}

}  // namespace

std::vector<std::string> VCardContentLine::parameterValues(std::string_view wanted) const {
  std::vector<std::string> values;
  const bool splitLists = wanted == "TYPE";
  for (const Parameter& parameter : parameters) {
    if (parameter.name != wanted) continue;
    for (const std::string& text : parameter.values) {
      // A quoted list (TYPE="voice,cell") is a list all the same.
      size_t start = 0;
      for (size_t comma = text.find(','); splitLists && comma != std::string::npos;
           comma = text.find(',', start)) {
        values.push_back(text.substr(start, comma - start));
        start = comma + 1;
      }
      values.push_back(text.substr(start));
    }
  }
  return values;
}

std::optional<std::string> VCardContentLine::parameter(std::string_view wanted) const {
  for (const Parameter& parameter : parameters) {
    if (parameter.name == wanted && !parameter.values.empty()) return parameter.values.front();
  }
  return std::nullopt;
}

// Only an ENCODING parameter counts: the same word in another parameter's
// value must not glue the next line on.
bool VCardContentLine::isQuotedPrintableStart(std::string_view line) {
  const std::string head = upper(line.substr(0, findUnquoted(line, ':')));
  if (head.find("QUOTED-PRINTABLE") == std::string::npos) return false;
  const std::optional<VCardContentLine> parsed = parse(line);
  if (!parsed) return false;
  const std::optional<std::string> encoding = parsed->parameter("ENCODING");
  return encoding && upper(*encoding) == "QUOTED-PRINTABLE";
}

std::optional<VCardContentLine> VCardContentLine::parse(std::string_view line) {
  const size_t colon = findUnquoted(line, ':');
  if (colon == std::string_view::npos) return std::nullopt;
  const std::string_view head = line.substr(0, colon);
  VCardContentLine content;
  content.value = std::string(line.substr(colon + 1));

  size_t semicolon = findUnquoted(head, ';');
  std::string_view name = head.substr(0, std::min(semicolon, head.size()));
  const size_t dot = name.find('.');
  if (dot != std::string_view::npos) {
    content.group = std::string(name.substr(0, dot));
    name.remove_prefix(dot + 1);
  }
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
  if (name.empty()) return std::nullopt;
  content.name = upper(name);

  while (semicolon != std::string_view::npos) {
    const size_t next = findUnquoted(head, ';', semicolon + 1);
    const std::string_view raw = head.substr(
        semicolon + 1, (next == std::string_view::npos ? head.size() : next) - semicolon - 1);
    if (!raw.empty()) content.parameters.push_back(parseParameter(raw));
    semicolon = next;
  }
  return content;
}

std::vector<std::string> VCardContentLine::unfold(std::string_view text) {
  std::vector<std::string> lines;
  bool quotedPrintable = false;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view physical = text.substr(start, end - start);
    start = end + 1;
    if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ++start;

    if (!lines.empty() && !physical.empty() && (physical[0] == ' ' || physical[0] == '\t')) {
      lines.back().append(physical.substr(1));
      continue;
    }
    if (!lines.empty() && quotedPrintable && !lines.back().empty() && lines.back().back() == '=') {
      lines.back().pop_back();
      lines.back().append(physical);
      continue;
    }
    if (physical.find_first_not_of(" \t") == std::string_view::npos) continue;
    lines.emplace_back(physical);
    quotedPrintable = isQuotedPrintableStart(physical);
  }
  return lines;
}

}  // namespace tessellon
