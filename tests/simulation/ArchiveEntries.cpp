#include "simulation/ArchiveEntries.h"

#include <archive.h>
#include <archive_entry.h>

namespace tessellon::simulation {

std::vector<ArchiveEntry> archiveEntries(const std::string& path) {
  std::vector<ArchiveEntry> entries;
  archive* reader = archive_read_new();
  archive_read_support_format_zip(reader);
  if (archive_read_open_filename(reader, path.c_str(), 64 * 1024) == ARCHIVE_OK) {
    archive_entry* entry = nullptr;
    while (archive_read_next_header(reader, &entry) == ARCHIVE_OK) {
      ArchiveEntry& read = entries.emplace_back();
      read.name = archive_entry_pathname(entry);
      read.size = archive_entry_size(entry);
      char buffer[16 * 1024];
      for (la_ssize_t n; (n = archive_read_data(reader, buffer, sizeof buffer)) > 0;) {
        read.content.append(buffer, static_cast<size_t>(n));
      }
    }
  }
  archive_read_free(reader);
  return entries;
}

}  // namespace tessellon::simulation
