#include "model/json/MediaItemJson.h"

#include <algorithm>
#include <charconv>

#include "tessellon/BackupSDKError.h"

#include "model/json/JsonError.h"
#include "model/json/JsonReaders.h"
#include "model/json/JsonText.h"
#include "platform/text/DateText.h"

namespace tessellon {
namespace {

using PathDictionary = MediaItem::PathDictionary;

constexpr const char* kAndroidPathsKey = "androidPaths";
constexpr const char* kIOSAlbumsKey = "iOSAlbums";

std::optional<PathDictionary> readPathDictionary(const Json* value) {
  if (value == nullptr || !value->is_object()) return std::nullopt;
  PathDictionary dictionary;
  for (const auto& [key, list] : value->items()) {
    if (!list.is_array()) return std::nullopt;
    std::vector<std::string>& paths = dictionary[key];
    paths.reserve(list.size());
    for (const Json& path : list) {
      if (!path.is_string()) return std::nullopt;
      paths.push_back(path.get<std::string>());
    }
  }
  return dictionary;
}

// Phone paths become Mac paths under "Restore": a full path keeps its file
// name; an album gets a name made of the fingerprint's last five characters.
std::vector<std::string> convertedPhonePaths(const std::vector<std::string>& paths,
                                             const MediaItem& item, bool albums) {
  const std::string fingerprint = item.fingerprint.value_or("");
  const std::string generatedName =
      fingerprint.substr(fingerprint.size() - std::min<size_t>(5, fingerprint.size())) + "." +
      item.fileExtension;
  if (paths.empty()) return {std::string("Restore/").append(generatedName)};

  std::vector<std::string> converted;
  for (const std::string& path : paths) {
    std::string macPath = "Restore";
    size_t start = 0;
    while (start <= path.size()) {
      const size_t end = std::min(path.find('/', start), path.size());
      if (end > start) macPath.append("/").append(path, start, end - start);
      start = end + 1;
    }
    if (albums) macPath.append("/").append(generatedName);
    std::replace(macPath.begin(), macPath.end(), ':', '_');
    converted.push_back(std::move(macPath));
  }
  return converted;
}

// One "/" between components; a leading or trailing "/" becomes "_", so a
// stored path can never point outside the folder it is restored into.
std::string normalizedMacPath(const std::string& path) {
  std::string result;
  result.reserve(path.size());
  for (const char c : path) {
    if (c == '/' && !result.empty() && result.back() == '/') continue;
    result.push_back(c);
  }
  if (!result.empty() && result.front() == '/') result.front() = '_';
  if (!result.empty() && result.back() == '/') result.back() = '_';
  return result;
}

void addPhonePaths(MediaItem& item) {
  for (const auto& [key, albums] :
       {std::pair{kAndroidPathsKey, false}, std::pair{kIOSAlbumsKey, true}}) {
    if (!item.otherPaths) break;
    const auto found = item.otherPaths->find(key);
    if (found == item.otherPaths->end()) continue;
    const std::vector<std::string> converted = convertedPhonePaths(found->second, item, albums);
    std::vector<std::string>& macPaths = item.paths();
    // Paths converted by an earlier read are stored already; add each once.
    for (const std::string& path : converted) {
      if (std::find(macPaths.begin(), macPaths.end(), path) == macPaths.end()) {
        macPaths.push_back(path);
      }
    }
  }
  for (std::string& path : item.paths()) path = normalizedMacPath(path);
}

// Each key with its paths in key order, as the JSON library writes an object: this platform's
// list among the others.
template <class Visit>
void forEachPathList(const MediaItem& item, Visit visit) {
  const std::string_view own = MediaItem::kMacOSPathsKey;
  bool ownDone = false;
  if (item.otherPaths) {
    for (const auto& [key, paths] : *item.otherPaths) {
      if (!ownDone && own < key) {
        visit(own, item.paths());
        ownDone = true;
      }
      if (key != own) visit(std::string_view(key), paths);
    }
  }
  if (!ownDone) visit(own, item.paths());
}

}  // namespace

void MediaItemJson::appendText(const MediaItem& item, std::string& out) {
  // Members in the order the JSON library writes an object's keys (sorted).
  out.append(R"({"bytes":)");
  char digits[24];
  out.append(digits, std::to_chars(digits, digits + sizeof digits, item.bytes).ptr);
  if (item.checksum) {
    out.append(R"(,"checksum":)");
    appendJSONString(*item.checksum, out);
  }
  out.append(R"(,"fileExtension":)");
  appendJSONString(item.fileExtension, out);
  if (item.fingerprint) {
    out.append(R"(,"fingerprint":)");
    appendJSONString(*item.fingerprint, out);
  }
  out.append(R"(,"id":)");
  appendJSONString(item.id, out);
  out.append(R"(,"modificationDate":)");
  appendJSONString(toString(item.modificationDate), out);
  out.append(R"(,"pathDictionary":{)");
  bool firstKey = true;
  forEachPathList(item, [&](std::string_view key, const std::vector<std::string>& paths) {
    if (!firstKey) out.push_back(',');
    firstKey = false;
    appendJSONString(key, out);
    out.append(":[");
    for (size_t i = 0; i < paths.size(); ++i) {
      if (i > 0) out.push_back(',');
      appendJSONString(paths[i], out);
    }
    out.push_back(']');
  });
  out.append("}}");
}

size_t MediaItemJson::plainTextSize(const MediaItem& item) {
  // The member names, quotes, separators, a size of up to 20 digits and the 24-character date.
  constexpr size_t kFixed = sizeof(R"({"bytes":,"fileExtension":"","id":"","modificationDate":"",)"
                                   R"("pathDictionary":{}})") -
                            1 + 20 + 24;
  size_t size = kFixed + item.fileExtension.size() + item.id.size();
  if (item.fingerprint) size += sizeof(R"(,"fingerprint":"")") - 1 + item.fingerprint->size();
  if (item.checksum) size += sizeof(R"(,"checksum":"")") - 1 + item.checksum->size();
  forEachPathList(item, [&size](std::string_view key, const std::vector<std::string>& paths) {
    size += key.size() + 6;  // "key":[] and a comma
    for (const std::string& path : paths) size += path.size() + 3;
  });
  return size;
}

Result<std::shared_ptr<MediaItem>> MediaItemJson::deserialize(const Json& value) {
  if (!value.is_object()) return makeError(JsonError::deserializationFailed, "item not an object");
  std::optional<std::string> fileExtension = readString(member(value, "fileExtension"));
  if (!fileExtension) return makeError(JsonError::missingProperty, "fileExtension");
  const std::optional<int64_t> bytes = readInteger(member(value, "bytes"));
  if (!bytes) return makeError(JsonError::missingProperty, "bytes");
  const std::optional<Date> modificationDate = readDate(member(value, "modificationDate"));
  if (!modificationDate) return makeError(JsonError::missingProperty, "modificationDate");
  std::optional<std::string> fingerprint = readString(member(value, "fingerprint"));
  std::string id = readString(member(value, "id")).value_or(fingerprint.value_or(""));

  std::optional<PathDictionary> pathDictionary =
      readPathDictionary(member(value, "pathDictionary"));
  if (!pathDictionary) {
    return makeError(BackupSDKError::jsonDeserializationFailed,
                     "pathDictionary is not an object of string lists");
  }

  std::vector<std::string> paths;
  if (const auto own = pathDictionary->find(MediaItem::kMacOSPathsKey);
      own != pathDictionary->end()) {
    paths = std::move(own->second);
    pathDictionary->erase(own);
  }
  std::shared_ptr<MediaItem> item =
      make(std::move(*fileExtension), *bytes, std::move(id), *modificationDate,
           std::move(fingerprint), std::move(paths), std::move(*pathDictionary));
  // Our own optional member: a value that is not a string is ignored, as an unknown member is.
  if (const Json* checksum = member(value, "checksum"); checksum && checksum->is_string()) {
    item->checksum = checksum->get<std::string>();
  }
  return item;
}

std::shared_ptr<MediaItem> MediaItemJson::make(std::string fileExtension, int64_t bytes,
                                               std::string id, Date modificationDate,
                                               std::optional<std::string> fingerprint,
                                               std::vector<std::string> paths,
                                               MediaItem::PathDictionary otherPaths) {
  auto item =
      std::make_shared<MediaItem>(std::move(fileExtension), bytes, std::move(id), modificationDate,
                                  std::move(fingerprint), std::move(paths));
  if (!otherPaths.empty()) {
    item->otherPaths = std::make_shared<const MediaItem::PathDictionary>(std::move(otherPaths));
  }
  addPhonePaths(*item);
  return item;
}

}  // namespace tessellon
