#pragma once

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tessellon/Error.h"

#include "delegates/ObjectStore.h"

namespace tessellon::hosts {

struct ZipMember;

// Inflates an archive into a store that cannot unpack archives itself. A ZIP archive of plain
// members has its members kept as is uploaded straight from it, as ranges, each CRC-checked
// first, and its deflated members (documents) inflated in memory; any other archive is extracted
// into the local staging folder with SafeZipExtractor, which judges it, and each entry uploaded
// as soon as it is extracted. Several uploads run at once. An entry at the top of the
// destination (a category document, "backup.json") is uploaded only after every entry before it
// has landed, so the documents that name media files never reach the remote before those files
// do. One inflation per object; run() blocks.
class ArchiveUploader {
 public:
  // `stagingRoot` holds the archive at `archive` (components below it) and receives the
  // extracted files, which are removed as they land. `destination` is the store key that the
  // entries go below.
  ArchiveUploader(ObjectStore& store, std::string stagingRoot, std::vector<std::string> archive,
                  std::string destination, size_t transfers);

  ArchiveUploader(const ArchiveUploader&) = delete;
  ArchiveUploader& operator=(const ArchiveUploader&) = delete;

  // Nothing when every entry landed; otherwise the first failure (a 507 before any other), the
  // extractor's errors included. Entries uploaded before a failure stay on the remote.
  std::optional<Error> run();

 private:
  std::optional<Error> uploadMembers(const std::string& path, int archive,
                                     const std::vector<ZipMember>& members);
  std::optional<Error> extractAndUpload();
  // Makes the folders above an entry (and the entry, a folder) that `made` does not hold yet.
  std::optional<Error> makeFolders(const std::vector<std::string>& parts, bool folder,
                                   std::set<std::string>& made);
  std::optional<Error> upload(const std::vector<std::string>& parts);
  std::string keyOf(const std::vector<std::string>& parts) const;
  std::string localOf(const std::vector<std::string>& parts) const;

  ObjectStore& store_;
  const std::string stagingRoot_;
  const std::vector<std::string> archive_;
  const std::string destination_;
  const std::string extractFolder_;
  const size_t transfers_;
};

}  // namespace tessellon::hosts
