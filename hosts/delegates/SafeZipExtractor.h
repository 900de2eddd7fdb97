#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tessellon/Error.h"

#include "delegates/FileDescriptor.h"

struct archive;
struct archive_entry;

namespace tessellon::hosts {

// Extracts a ZIP archive stored below a root folder into a folder below it and
// never reads or writes outside that root: the archive and the destination are
// reached without following links (a stored link on the way fails the request);
// an archive with an absolute path, a ".." component, a link or a special file
// is refused before anything is written; folders are entered without following
// links, so a link already in the destination cannot redirect a write; each
// file is written beside its target and renamed over it, which replaces a link
// of that name instead of writing through it. For LocalFolderDelegate's worker;
// one extraction per object. ObjectStoreDelegate extracts into a
// local staging folder with it before uploading the entries.
class SafeZipExtractor {
 public:
  // `archive` and `destination` are the components of normalized paths below `root` (an
  // empty destination is the root). `reserve(bytes)` is asked before `bytes` more are
  // written; false means the remote is full.
  SafeZipExtractor(std::string root, std::vector<std::string> archive,
                   std::vector<std::string> destination, std::function<bool(int64_t)> reserve);

  SafeZipExtractor(const SafeZipExtractor&) = delete;
  SafeZipExtractor& operator=(const SafeZipExtractor&) = delete;

  // Nothing on success. Errors: LocalFolderError unsafeArchive or unreadableArchive, code 507
  // when the remote is full, POSIX errors of the file system. Files extracted before a failure
  // stay; no temporary file does.
  std::optional<Error> run();

  // Called by run() after each file or folder is in place, in archive order, with its components
  // below the destination; an error stops the extraction with that error.
  using Written =
      std::function<std::optional<Error>(const std::vector<std::string>& parts, bool folder)>;
  void onWritten(Written written) { written_ = std::move(written); }

 private:
  using Visit = std::function<std::optional<Error>(archive*, archive_entry*,
                                                   const std::vector<std::string>&)>;

  std::optional<Error> openArchive();
  std::optional<Error> forEachEntry(const Visit& visit);
  Error unreadable(archive* reader) const;
  static std::optional<Error> check(archive_entry* entry, std::vector<std::string>& parts);
  std::optional<Error> openFolder(const std::vector<std::string>& parts, size_t count,
                                  FileDescriptor& folder);
  std::optional<Error> writeFile(archive* reader, const std::vector<std::string>& parts);
  std::optional<Error> copyEntry(archive* reader, int out, const std::string& name);

  const std::string root_;
  const std::vector<std::string> archive_;
  const std::vector<std::string> destination_;
  const std::string archiveName_;  // for messages
  const std::function<bool(int64_t)> reserve_;
  FileDescriptor rootFd_;
  FileDescriptor archiveFd_;
  FileDescriptor destinationFd_;
  Written written_;
};

}  // namespace tessellon::hosts
