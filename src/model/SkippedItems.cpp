#include "model/SkippedItems.h"

#include <memory>
#include <string>
#include <unordered_set>

namespace tessellon {
namespace {

// A copy of the same dynamic type, so a media restore section keeps its path counts.
std::shared_ptr<ReportSection> copyOf(const std::shared_ptr<ReportSection>& section) {
  if (!section) return std::make_shared<ReportSection>();
  if (const auto* media = dynamic_cast<const RestoreMediaReportSection*>(section.get())) {
    return std::make_shared<RestoreMediaReportSection>(*media);
  }
  return std::make_shared<ReportSection>(*section);
}

std::shared_ptr<ReportSection>& sectionOf(ProcessReport& report, SkippedItem::Category category) {
  switch (category) {
    case SkippedItem::Category::contacts:
      return report.contacts;
    case SkippedItem::Category::calendars:
      return report.calendars;
    case SkippedItem::Category::images:
      return report.images;
    case SkippedItem::Category::videos:
      break;
  }
  return report.videos;
}

}  // namespace

void addSkippedItems(ProcessReport& report, const std::vector<SkippedItem>& items) {
  for (const SkippedItem::Category category :
       {SkippedItem::Category::contacts, SkippedItem::Category::calendars,
        SkippedItem::Category::images, SkippedItem::Category::videos}) {
    std::shared_ptr<ReportSection>& section = sectionOf(report, category);
    std::shared_ptr<ReportSection> updated;
    std::unordered_set<std::string> listed;
    for (const SkippedItem& item : items) {
      if (item.category != category) continue;
      if (!updated) {
        updated = copyOf(section);
        listed.insert(updated->skippedPaths.begin(), updated->skippedPaths.end());
      }
      if (!listed.insert(item.path).second) continue;
      updated->skippedPaths.push_back(item.path);
      ++updated->skipped;
    }
    if (updated) section = std::move(updated);
  }
}

}  // namespace tessellon
