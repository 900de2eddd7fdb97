#include "platform/calendar/ICalEventSource.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <vector>

#include "platform/calendar/ICalComponents.h"

namespace tessellon {
namespace {

// libical's CRLF text, folded at 75 octets, as unfolded lines joined by "\n".
std::string unfolded(std::string_view text) {
  std::string lines;
  lines.reserve(text.size());
  for (size_t index = 0; index < text.size(); ++index) {
    if (text[index] == '\r') continue;
    if (text[index] == '\n') {
      const size_t next = index + 1;
      if (next < text.size() && (text[next] == ' ' || text[next] == '\t')) {
        ++index;
        continue;
      }
      if (next < text.size()) lines.push_back('\n');
      continue;
    }
    lines.push_back(text[index]);
  }
  return lines;
}

std::string nameOf(std::string_view line) {
  std::string name(line.substr(0, line.find_first_of(";:")));
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

}  // namespace

std::string ICalEventSource::of(icalcomponent* event) {
  Owned calendar(icalcomponent_new(ICAL_VCALENDAR_COMPONENT));
  icalcomponent_add_property(calendar.get(), icalproperty_new_version("2.0"));
  icalcomponent* parent = icalcomponent_get_parent(event);
  std::set<std::string> zones;
  for (icalproperty* property : ical::properties(event, ICAL_ANY_PROPERTY)) {
    icalparameter* tzid = icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER);
    const char* name = tzid != nullptr ? icalparameter_get_tzid(tzid) : nullptr;
    if (name != nullptr) zones.insert(name);
  }
  if (parent != nullptr) {
    for (icalcomponent* zone : ical::children(parent, ICAL_VTIMEZONE_COMPONENT)) {
      icalproperty* tzid = icalcomponent_get_first_property(zone, ICAL_TZID_PROPERTY);
      const char* name = tzid != nullptr ? icalproperty_get_tzid(tzid) : nullptr;
      if (name != nullptr && zones.count(name) != 0) {
        icalcomponent_add_component(calendar.get(), icalcomponent_new_clone(zone));
      }
    }
  }
  icalcomponent_add_component(calendar.get(), icalcomponent_new_clone(event));
  char* text = icalcomponent_as_ical_string_r(calendar.get());
  if (text == nullptr) return {};
  std::string result = unfolded(text);
  icalmemory_free_buffer(text);
  return result;
}

ICalEventSource::Owned ICalEventSource::parse(const std::string& source) {
  if (source.size() > kMaxBytes || source.find('\0') != std::string::npos) return nullptr;
  Owned calendar(icalparser_parse_string(source.c_str()));
  if (!calendar || icalcomponent_isa(calendar.get()) != ICAL_VCALENDAR_COMPONENT) return nullptr;
  if (ical::children(calendar.get(), ICAL_VEVENT_COMPONENT).size() != 1) return nullptr;
  return calendar;
}

icalcomponent* ICalEventSource::eventOf(icalcomponent* calendar) {
  return icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT);
}

std::string ICalEventSource::uidOf(const std::string& source) {
  const Owned calendar = parse(source);
  if (!calendar) return {};
  const char* uid = icalcomponent_get_uid(eventOf(calendar.get()));
  return uid != nullptr ? uid : "";
}

std::string ICalEventSource::key(std::string_view source) {
  std::vector<std::string_view> lines;
  int depth = 0;
  while (!source.empty()) {
    const size_t end = source.find('\n');
    const std::string_view line = source.substr(0, end);
    source.remove_prefix(end == std::string_view::npos ? source.size() : end + 1);
    const std::string name = nameOf(line);
    if (name == "BEGIN" && (depth > 0 || line.substr(6) == "VEVENT")) ++depth;
    if (depth > 0 && name != "DTSTAMP" && name != "UID") lines.push_back(line);
    if (name == "END" && depth > 0) --depth;
  }
  std::sort(lines.begin(), lines.end());
  std::string joined;
  for (const std::string_view line : lines) joined.append(line).push_back('\n');
  return joined;
}

}  // namespace tessellon
