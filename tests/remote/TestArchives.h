#pragma once

#include <memory>
#include <string>
#include <vector>

#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>

namespace tessellon {

// One member of an archive a test builds: a file with `content`, or a link to `target`.
struct ArchiveEntry {
  enum class Kind { file, folder, symlink, hardlink };
  ArchiveEntry(std::string entryName, std::string entryContent, Kind entryKind = Kind::file,
               std::string linkTarget = {})
      : name(std::move(entryName)),
        content(std::move(entryContent)),
        kind(entryKind),
        target(std::move(linkTarget)) {}
  std::string name;
  std::string content;
  Kind kind = Kind::file;
  std::string target;
};

enum class ArchiveFormat { zipStored, zipDeflated, tar };

// Writes the entries with libarchive exactly as given (no name cleaning), so tests can build
// hostile archives. ZIP cannot carry hard links; tar can.
inline void writeArchive(const std::string& path, const std::vector<ArchiveEntry>& entries,
                         ArchiveFormat format = ArchiveFormat::zipStored) {
  std::unique_ptr<archive, int (*)(archive*)> writer(archive_write_new(), archive_write_free);
  if (format == ArchiveFormat::tar) {
    archive_write_set_format_pax_restricted(writer.get());
  } else {
    archive_write_set_format_zip(writer.get());
    archive_write_set_format_option(writer.get(), "zip", "compression",
                                    format == ArchiveFormat::zipStored ? "store" : "deflate");
    // Names flagged as UTF-8, as the library's own archives are.
    archive_write_set_format_option(writer.get(), "zip", "hdrcharset", "UTF-8");
  }
  ASSERT_EQ(archive_write_open_filename(writer.get(), path.c_str()), ARCHIVE_OK);
  for (const ArchiveEntry& member : entries) {
    using Kind = ArchiveEntry::Kind;
    std::unique_ptr<archive_entry, void (*)(archive_entry*)> entry(archive_entry_new(),
                                                                   archive_entry_free);
    archive_entry_set_pathname_utf8(entry.get(), member.name.c_str());
    archive_entry_set_mtime(entry.get(), 1600000000, 0);
    archive_entry_set_filetype(entry.get(), member.kind == Kind::folder    ? AE_IFDIR
                                            : member.kind == Kind::symlink ? AE_IFLNK
                                                                           : AE_IFREG);
    archive_entry_set_perm(entry.get(), member.kind == Kind::folder ? 0755 : 0644);
    if (member.kind == Kind::file) archive_entry_set_size(entry.get(), member.content.size());
    if (member.kind == Kind::symlink) archive_entry_set_symlink(entry.get(), member.target.c_str());
    if (member.kind == Kind::hardlink)
      archive_entry_set_hardlink(entry.get(), member.target.c_str());
    ASSERT_GE(archive_write_header(writer.get(), entry.get()), ARCHIVE_WARN) << member.name;
    if (member.kind == Kind::file && !member.content.empty()) {
      ASSERT_EQ(archive_write_data(writer.get(), member.content.data(), member.content.size()),
                static_cast<la_ssize_t>(member.content.size()));
    }
  }
  ASSERT_EQ(archive_write_close(writer.get()), ARCHIVE_OK) << archive_error_string(writer.get());
}

}  // namespace tessellon
