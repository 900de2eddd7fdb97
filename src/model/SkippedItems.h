#pragma once

#include <vector>

#include "tessellon/ProcessReport.h"
#include "tessellon/SkippedItem.h"

namespace tessellon {

// Counts each of `items` in its category's section of `report` (a section is created, with no
// items, where the run had none) and lists its path there. A path the section already lists is
// not counted again, so adding the same scan twice changes nothing. Sections are replaced, not
// changed in place: another holder of the old report keeps what it saw.
void addSkippedItems(ProcessReport& report, const std::vector<SkippedItem>& items);

}  // namespace tessellon
