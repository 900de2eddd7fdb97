#include "simulation/Invariants.h"

#include <sys/stat.h>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "platform/files/ContentChecksum.h"
#include "simulation/ArchiveEntries.h"
#include "simulation/RemoteRecord.h"
#include "support/MediaTree.h"

namespace tessellon::simulation {
namespace {

namespace fs = std::filesystem;

// Content up to this size is fingerprinted whole, so its fingerprint is its MD5.
constexpr int64_t kWholeContentLimit = 24576;

struct Category {
  const char* folder;  // in the home
  const char* name;    // on the remote
  bool RunSettings::*selected;
};
constexpr Category kMedia[] = {{"Pictures", "images", &RunSettings::images},
                               {"Movies", "videos", &RunSettings::videos}};

bool contains(const std::vector<std::string>& list, const std::string& value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

std::optional<std::string> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// How often `marker` occurs in the files below `folder`.
int occurrences(const Tree& tree, const std::string& folder, const std::string& marker) {
  int count = 0;
  for (const auto& [path, file] : tree) {
    if (!path.starts_with(folder + "/")) continue;
    for (size_t at = file.content.find(marker); at != std::string::npos;
         at = file.content.find(marker, at + 1)) {
      ++count;
    }
  }
  return count;
}

// "a/b.jpg", then the names a restore gives beside it: "a/b 1.jpg", "a/b 2.jpg", ...
std::vector<std::string> restoredNames(const std::string& path) {
  const fs::path original(path);
  std::vector<std::string> names{path};
  for (int n = 1; n <= 9; ++n) {
    fs::path numbered =
        original.parent_path() /
        (original.stem().string() + " " + std::to_string(n) + original.extension().string());
    names.push_back(numbered.string());
  }
  return names;
}

}  // namespace

void Invariants::storedRecord(const std::string& deviceFolder, const std::string& when) {
  std::vector<std::string> problems;
  const std::optional<RemoteRecord> record = RemoteRecord::read(deviceFolder, problems);
  for (const std::string& problem : problems) add(when + ": I1 " + problem);
  if (!record) return;
  for (const Category& category : kMedia) {
    for (const StoredItem& item : record->items(category.name)) {
      const std::string where = when + ": I1 " + category.name + ".json lists " + item.file;
      if (item.fingerprint.empty()) {
        add(where + " without a fingerprint");
        continue;
      }
      const std::optional<std::string> bytes = readFile(deviceFolder + "/" + item.file);
      if (!bytes) {
        add(where + ", not on the remote");
      } else if (static_cast<int64_t>(bytes->size()) != item.bytes) {
        add(where + " of " + std::to_string(item.bytes) + " bytes, the remote holds " +
            std::to_string(bytes->size()));
      } else if (item.bytes <= kWholeContentLimit && item.fingerprint.starts_with("1.1_") &&
                 wholeContentFingerprint(*bytes) != item.fingerprint) {
        add(where + ", the remote file has other bytes");
      } else if (!item.checksum.empty() && textChecksum(*bytes) != item.checksum) {
        // Large files are named by samples of their bytes: only the checksum vouches for all.
        add(where + " with checksum " + item.checksum + ", the remote file has other bytes");
      }
    }
  }
}

void Invariants::everySeenFileStored(const std::string& deviceFolder, const Tree& seen,
                                     const RunSettings& settings,
                                     const std::vector<std::string>& changed,
                                     const std::string& when) {
  std::vector<std::string> problems;
  const std::optional<RemoteRecord> record = RemoteRecord::read(deviceFolder, problems);
  if (!record) {
    add(when + ": I1 the finished run left no record");
    return;
  }
  for (const Category& category : kMedia) {
    if (!(settings.*category.selected)) continue;
    const std::string prefix = std::string(category.folder) + "/";
    for (const auto& [path, file] : seen) {
      if (!path.starts_with(prefix) || contains(changed, path)) continue;
      const std::string relative = path.substr(prefix.size());
      const std::string fingerprint = wholeContentFingerprint(file.content);
      const bool whole = static_cast<int64_t>(file.content.size()) <= kWholeContentLimit;
      std::vector<const StoredItem*> atPath;
      for (const StoredItem& item : record->items(category.name)) {
        if (contains(item.paths, relative)) atPath.push_back(&item);
      }
      // Kept deleted items may name the path too, with the bytes it had before.
      const bool stored = std::any_of(atPath.begin(), atPath.end(), [&](const StoredItem* item) {
        return item->bytes == static_cast<int64_t>(file.content.size()) &&
               (!whole || item->fingerprint == fingerprint);
      });
      if (atPath.empty()) {
        add(when + ": I1 the finished run saw " + path + " but " + category.name +
            ".json does not list it");
      } else if (!stored) {
        add(when + ": I1 " + category.name + ".json lists " + path + " only as " +
            atPath.front()->file + " of " + std::to_string(atPath.front()->bytes) +
            " bytes, the file has " + std::to_string(file.content.size()) +
            " bytes fingerprinted " + fingerprint);
      }
    }
  }
  if (settings.contacts &&
      record->count("contacts") != occurrences(seen, "contacts", "BEGIN:VCARD")) {
    add(when + ": I1 contacts.json counts " + std::to_string(record->count("contacts")) +
        " cards, the home has " + std::to_string(occurrences(seen, "contacts", "BEGIN:VCARD")));
  }
}

void Invariants::restored(const Tree& seen, const RunSettings& settings,
                          const std::vector<std::string>& changed, const Tree& restored,
                          const std::string& when) {
  for (const Category& category : kMedia) {
    if (!(settings.*category.selected)) continue;
    for (const auto& [path, file] : seen) {
      if (!path.starts_with(std::string(category.folder) + "/") || contains(changed, path)) {
        continue;
      }
      bool exact = false, present = false;
      std::string wrongTime;
      for (const std::string& name : restoredNames(path)) {
        const auto candidate = restored.find(name);
        if (candidate == restored.end()) continue;
        present = true;
        if (candidate->second.content != file.content) continue;
        exact = exact || candidate->second.mtimeMs == file.mtimeMs;
        wrongTime = name + " has its bytes but mtime " + std::to_string(candidate->second.mtimeMs) +
                    " instead of " + std::to_string(file.mtimeMs);
      }
      if (exact) continue;
      add(when + ": I2 " +
          (!wrongTime.empty() ? wrongTime
           : present          ? path + " was restored with other bytes"
                              : path + " was not restored"));
    }
  }
  for (const auto& [selected, folder, marker] :
       {std::tuple{settings.contacts, "contacts", "BEGIN:VCARD"},
        std::tuple{settings.calendars, "calendars", "BEGIN:VEVENT"}}) {
    const int expected = occurrences(seen, folder, marker);
    const int got = occurrences(restored, folder, marker);
    if (selected && expected != got) {
      add(when + ": I2 " + std::to_string(got) + " " + marker + " restored, the backup had " +
          std::to_string(expected));
    }
  }
}

void Invariants::untouched(const Tree& before, const Tree& after, const std::string& when) {
  for (const auto& [path, file] : before) {
    const auto now = after.find(path);
    if (now == after.end()) {
      add(when + ": I3 " + path + " disappeared");
    } else if (now->second.content != file.content) {
      add(when + ": I3 " + path + " was overwritten");
    } else if (now->second.mtimeMs != file.mtimeMs) {
      add(when + ": I3 " + path + " changed its mtime");
    }
  }
}

void Invariants::deletion(const std::string& deviceFolder, const std::string& path,
                          const std::string& when) {
  std::vector<std::string> ignored;
  const std::optional<RemoteRecord> record = RemoteRecord::read(deviceFolder, ignored);
  if (!record) return;
  for (const std::string& file : record->referencedFiles()) {
    if (file == path || file.starts_with(path + "/")) {
      add(when + ": I4 deleteFile " + path + " while the stored record references " + file);
      return;
    }
  }
}

void Invariants::inflation(const std::string& deviceFolder, const std::string& archive,
                           const std::string& when) {
  std::vector<std::string> ignored;
  const std::optional<RemoteRecord> record = RemoteRecord::read(deviceFolder, ignored);
  if (!record) return;
  const std::set<std::string> referenced = record->referencedFiles();
  for (const ArchiveEntry& entry : archiveEntries(archive)) {
    if (!entry.name.starts_with("images/") && !entry.name.starts_with("videos/")) continue;
    // A stored file's name stands for its content: under it, other bytes would replace a good
    // copy, whether a record references it or a version of the history keeps it.
    const std::string name = entry.name.substr(entry.name.find('/') + 1);
    constexpr std::string_view kPrefix = "1.1_";
    if (name.starts_with(kPrefix) && entry.size <= kWholeContentLimit &&
        wholeContentFingerprint(entry.content) != name.substr(0, name.find('.', kPrefix.size()))) {
      add(when + ": I4 inflateZip writes " + entry.name + " with bytes of another fingerprint");
    }
    struct stat status {};
    const std::string target = deviceFolder + "/" + entry.name;
    if (referenced.count(entry.name) == 0 || ::stat(target.c_str(), &status) != 0) continue;
    if (status.st_size != entry.size) {
      add(when + ": I4 inflateZip replaces the referenced " + entry.name + " (" +
          std::to_string(status.st_size) + " bytes) with " + std::to_string(entry.size) + " bytes");
    }
  }
}

void Invariants::add(std::string violation) {
  // A broken record stays broken until a run mends it: report it where it was first seen.
  const std::string what = violation.substr(violation.find(": ") + 1);
  std::lock_guard lock(mutex_);
  if (reported_.insert(what).second) violations_.push_back(std::move(violation));
}

std::vector<std::string> Invariants::violations() const {
  std::lock_guard lock(mutex_);
  return violations_;
}

}  // namespace tessellon::simulation
