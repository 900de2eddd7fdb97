#include "cli/ListedItem.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

namespace tessellon::cli {

namespace {

// The length of the well-formed UTF-8 sequence at the start of `text`; 0 when it is not one.
size_t sequenceLength(std::string_view text) {
  const auto lead = static_cast<uint8_t>(text[0]);
  size_t length = 0;
  uint32_t codePoint = 0;
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) {
    length = 2;
    codePoint = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    codePoint = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    codePoint = lead & 0x07;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (size_t k = 1; k < length; ++k) {
    const auto next = static_cast<uint8_t>(text[k]);
    if ((next & 0xC0) != 0x80) return 0;
    codePoint = (codePoint << 6) | (next & 0x3F);
  }
  static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  const bool valid = codePoint >= kSmallest[length] && codePoint <= 0x10FFFF &&
                     (codePoint < 0xD800 || codePoint > 0xDFFF);
  return valid ? length : 0;
}

// What `add` takes from each present section, in the order contacts, calendars, images, videos.
template <class Add>
std::vector<ListedItem> fromSections(const tessellon::ProcessReport& report, Add add) {
  std::vector<ListedItem> entries;
  for (const auto& [category, section] :
       {std::pair{"contacts", &report.contacts}, std::pair{"calendars", &report.calendars},
        std::pair{"images", &report.images}, std::pair{"videos", &report.videos}}) {
    if (*section) add(entries, category, **section);
  }
  return entries;
}

void printList(std::ostream& out, const std::string& heading,
               const std::vector<ListedItem>& entries) {
  if (entries.empty()) return;
  out << heading << "\n";
  const size_t listed = std::min(entries.size(), kMostListed);
  for (size_t index = 0; index < listed; ++index) {
    const ListedItem& entry = entries[index];
    out << "  " << entry.category << ": " << printablePath(entry.path);
    if (!entry.reason.empty()) out << " (" << entry.reason << ")";
    out << "\n";
  }
  if (entries.size() > listed) out << "  and " << entries.size() - listed << " more\n";
}

}  // namespace

std::vector<ListedItem> skippedEntries(const tessellon::ProcessReport& report) {
  return fromSections(report, [](std::vector<ListedItem>& entries, const char* category,
                                 const tessellon::ReportSection& section) {
    for (const std::string& path : section.skippedPaths) entries.push_back({category, path, ""});
  });
}

std::vector<ListedItem> skippedEntries(const std::vector<tessellon::SkippedItem>& items) {
  std::vector<ListedItem> entries;
  entries.reserve(items.size());
  for (const tessellon::SkippedItem& item : items) {
    entries.push_back({categoryName(item.category), item.path, item.reason});
  }
  return entries;
}

std::vector<ListedItem> failedEntries(const tessellon::ProcessReport& report) {
  return fromSections(report, [](std::vector<ListedItem>& entries, const char* category,
                                 const tessellon::ReportSection& section) {
    for (const tessellon::FailedItem& item : section.failedItems) {
      entries.push_back({category, item.path, item.reason});
    }
  });
}

std::string categoryName(tessellon::SkippedItem::Category category) {
  switch (category) {
    case tessellon::SkippedItem::Category::contacts:
      return "contacts";
    case tessellon::SkippedItem::Category::calendars:
      return "calendars";
    case tessellon::SkippedItem::Category::images:
      return "images";
    case tessellon::SkippedItem::Category::videos:
      break;
  }
  return "videos";
}

std::string printablePath(std::string_view path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string printable;
  printable.reserve(path.size());
  while (!path.empty()) {
    const size_t length = sequenceLength(path);
    const auto byte = static_cast<uint8_t>(path[0]);
    if (length == 0 || byte < 0x20 || byte == 0x7F) {
      printable += "\\x";
      printable.push_back(kHex[byte >> 4]);
      printable.push_back(kHex[byte & 0x0F]);
      path.remove_prefix(1);
    } else {
      printable.append(path.substr(0, length));
      path.remove_prefix(length);
    }
  }
  return printable;
}

void printSkipped(std::ostream& out, const std::vector<ListedItem>& entries) {
  printList(out,
            "Skipped " + std::to_string(entries.size()) +
                (entries.size() == 1 ? " file or folder" : " files or folders") +
                " that cannot be backed up:",
            entries);
}

void printFailed(std::ostream& out, const std::vector<ListedItem>& entries) {
  printList(out, "Failed (" + std::to_string(entries.size()) + "):", entries);
}

std::vector<std::string> skippedCategories(const std::vector<ListedItem>& entries) {
  std::vector<std::string> categories;
  for (const ListedItem& entry : entries) {
    if (std::find(categories.begin(), categories.end(), entry.category) == categories.end()) {
      categories.push_back(entry.category);
    }
  }
  return categories;
}

}  // namespace tessellon::cli
