#pragma once

namespace tessellon {

// Marks the records that are stored as documents of their own: `BackupRecord`
// ("backup.json"), `MediaMetaData` ("images.json", "videos.json") and
// `ItemsMetaData` of contacts and calendar entries. The library's serializer
// dispatches on the concrete type behind it.
struct Serializable {
  virtual ~Serializable() = default;
};

}  // namespace tessellon
