#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessellon {

// A stored file that failed the check.
struct VerifyItem {
  // The file's name in its remote folder: "<fingerprint>.<extension>" in "images" or
  // "videos", the document's name ("contacts.json") among the documents.
  std::string remoteName;
  // Where the file was when it was backed up, relative to the picture or movie folder; empty
  // for documents.
  std::vector<std::string> localPaths;
  // The size the record gives; 0 for documents.
  int64_t bytes = 0;
  // What is wrong, in words: "not on the remote", "8 bytes instead of 4096", "the content
  // differs from its checksum", "does not read: ...".
  std::string problem;
};

// The outcome of one category.
struct VerifySection {
  // Items (or documents) the stored record names.
  int checked = 0;
  // Of those, how many were read back and compared with their checksum.
  int contentChecked = 0;
  std::vector<VerifyItem> missing;
  std::vector<VerifyItem> damaged;

  bool isIntact() const { return missing.empty() && damaged.empty(); }
};

// What a check of one stored backup found.
struct VerifyReport {
  std::string deviceID;
  // Whether the files were read back (else only their presence and size were checked).
  bool readData = false;
  VerifySection images;
  VerifySection videos;
  // The documents "backup.json" names: "contacts.json", "calendars.json", "images.json",
  // "videos.json". One that is missing or does not read is listed here; the items of a media
  // document that does not read cannot be checked and are not counted.
  VerifySection documents;

  bool isIntact() const { return images.isIntact() && videos.isIntact() && documents.isIntact(); }
};

}  // namespace tessellon
