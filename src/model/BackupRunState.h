#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "tessellon/Directory.h"

#include "model/BackupRecord.h"

namespace tessellon {

// What a preview hands its backup run beside the record, never stored and never a host's concern:
// the record carries it as an opaque pointer from the preview, through the host, to the run.
struct BackupRunState {
  // The record as the remote held it when the preview read it (null before the first backup): a
  // document whose upload fails falls back to what is stored, not to what was meant.
  std::shared_ptr<const BackupRecord> storedRecord;
  // The stored record or one of its documents could not be read: the run rebuilds the record from
  // this computer and the remote's files, and removes nothing from the remote.
  bool rebuildsRecord = false;
  // The stored documents that could not be read ("backup.json", "images.json", ...).
  std::set<std::string> lostDocuments;
  // The media documents ("images.json", "videos.json") rebuilt while deleted items are kept: a
  // file of their folder that the rebuilt record does not name may be all that is left of an item
  // only the lost document listed, so the run records it as recovered.
  std::set<std::string> adoptsUnrecordedFilesOf;
  // The checksum of the text of "backup.json" as the preview read it; none when there was none.
  // A run of the preview starts only while it still reads so.
  std::optional<std::string> storedChecksum;
  // Each media folder ("images", "videos") as the run listed it before writing there: the clean-up
  // works from it instead of listing the folder again.
  std::map<std::string, std::shared_ptr<const Directory>> listedFiles;

  // `backup`'s state, made when it has none.
  static BackupRunState& of(BackupRecord& backup) {
    if (!backup.runState) backup.runState = std::make_shared<BackupRunState>();
    return *backup.runState;
  }
  // `backup`'s state, or an empty one.
  static const BackupRunState& of(const BackupRecord& backup) {
    static const BackupRunState kNone;
    return backup.runState ? *backup.runState : kNone;
  }
};

// The fingerprint schemes of `backup`'s media, brought up to date: when the number of image
// (video) items differs from the count they were collected for, the scheme of every item's
// fingerprint not yet listed is appended and the count stored.
MediaVersions CreateUpdatedMediaVersions(BackupRecord& backup);

}  // namespace tessellon
