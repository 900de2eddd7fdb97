#include "simulation/RemoteRecord.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include <nlohmann/json.hpp>

namespace tessellon::simulation {
namespace {

using Json = nlohmann::json;

std::optional<Json> parse(const std::string& path, std::vector<std::string>& problems) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  Json json = Json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (json.is_discarded() || !json.is_object()) {
    problems.push_back(path + " is not a JSON object");
    return std::nullopt;
  }
  return json;
}

StoredItem storedItem(const std::string& category, const Json& item) {
  StoredItem stored;
  stored.fingerprint = item.value("fingerprint", "");
  stored.bytes = item.value("bytes", int64_t{-1});
  stored.checksum = item.value("checksum", "");
  const std::string extension = item.value("fileExtension", "");
  stored.file = category + "/" + stored.fingerprint + (extension.empty() ? "" : "." + extension);
  const Json paths =
      item.value("pathDictionary", Json::object()).value("macOSPaths", Json::array());
  for (const Json& path : paths) stored.paths.push_back(path.get<std::string>());
  return stored;
}

}  // namespace

std::optional<RemoteRecord> RemoteRecord::read(const std::string& deviceFolder,
                                               std::vector<std::string>& problems) try {
  const std::optional<Json> backup = parse(deviceFolder + "/backup.json", problems);
  if (!backup) return std::nullopt;
  RemoteRecord record;
  for (const std::string category : kCategories) {
    const auto summary = backup->find(category + "MetaData");
    if (summary == backup->end() || summary->is_null()) continue;
    record.claimed_.insert(category);
    const std::string name = category + ".json";
    const int claimed = summary->value("count", -1);
    // A claim of nothing is read without its document: one left from an earlier record names
    // nothing that this record keeps.
    if (claimed == 0) continue;
    const std::optional<Json> document = parse(deviceFolder + "/" + name, problems);
    if (!document) {
      problems.push_back("backup.json claims " + std::to_string(claimed) + " " + category +
                         " but " + name + " is missing");
      continue;
    }
    const int counted = document->value("count", -2);
    record.counts_[category] = counted;
    // Claiming fewer than the document lists only under-reports what is stored.
    if (claimed > counted) {
      problems.push_back("backup.json claims " + std::to_string(claimed) + " " + category + ", " +
                         name + " holds " + std::to_string(counted));
    }
    if (category != "images" && category != "videos") continue;
    const Json items = document->value("items", Json::array());
    if (static_cast<int>(items.size()) != counted) {
      problems.push_back(name + " counts " + std::to_string(counted) + " but lists " +
                         std::to_string(items.size()));
    }
    for (const Json& item : items) record.media_[category].push_back(storedItem(category, item));
  }
  return record;
} catch (const Json::exception& error) {
  problems.push_back(deviceFolder + ": unexpected record shape: " + error.what());
  return std::nullopt;
}

const std::vector<StoredItem>& RemoteRecord::items(const std::string& category) const {
  static const std::vector<StoredItem> kNone;
  const auto found = media_.find(category);
  return found == media_.end() ? kNone : found->second;
}

int RemoteRecord::count(const std::string& category) const {
  const auto found = counts_.find(category);
  return found == counts_.end() ? 0 : found->second;
}

std::set<std::string> RemoteRecord::referencedFiles() const {
  std::set<std::string> files{"backup.json"};
  for (const auto& [category, count] : counts_) files.insert(category + ".json");
  for (const auto& [category, items] : media_) {
    for (const StoredItem& item : items) files.insert(item.file);
  }
  return files;
}

}  // namespace tessellon::simulation
