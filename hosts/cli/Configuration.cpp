#include "cli/Configuration.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <toml++/toml.h>

#include "cli/CliOptions.h"
#include "cli/ConfigurationError.h"

namespace tessellon::cli {

namespace {

enum class Kind { remote, folder, categories, size, transfers, days };

struct Key {
  const char* key;
  const char* variable;
  const char* flag;
  Kind kind;
};

// The file's keys in the order `tessellon config` shows them. The history variable is named after
// its flag, as a scheduler's unit file sets it.
constexpr Key kKeys[] = {
    {"remote", "TESSELLON_REMOTE", "--remote", Kind::remote},
    {"folders.pictures", "TESSELLON_PICTURES", "--pictures", Kind::folder},
    {"folders.movies", "TESSELLON_MOVIES", "--movies", Kind::folder},
    {"folders.contacts", "TESSELLON_CONTACTS", "--contacts", Kind::folder},
    {"folders.calendars", "TESSELLON_CALENDARS", "--calendars", Kind::folder},
    {"categories", "TESSELLON_CATEGORIES", "--only", Kind::categories},
    {"archive_size", "TESSELLON_ARCHIVE_SIZE", "--archive-size", Kind::size},
    {"transfers", "TESSELLON_TRANSFERS", "--transfers", Kind::transfers},
    {"history_days", "TESSELLON_KEEP_HISTORY", "--keep-history", Kind::days},
};

constexpr const char* kCategoryNames[] = {"contacts", "calendars", "images", "videos"};
constexpr int64_t kMostTransfers = 64;
constexpr int64_t kMostHistoryDays = 36500;

// What a key takes, for the message when it gets something else.
const char* wanted(Kind kind) {
  switch (kind) {
    case Kind::remote:
      return "a folder or URL in quotes";
    case Kind::folder:
      return "a folder in quotes";
    case Kind::categories:
      return "a list such as [\"images\", \"videos\"]";
    case Kind::size:
      return "a size such as \"64M\", or a number of bytes";
    case Kind::transfers:
      return "a whole number from 1 to 64";
    case Kind::days:
      return "a whole number of days, 0 or more";
  }
  return "";
}

// "~" and "~/..." as the shell would expand them, which it does not inside a file or a variable.
std::string expandHome(const std::string& path) {
  if (path == "~" || path.rfind("~/", 0) == 0) return homeFolder() + path.substr(1);
  return path;
}

std::string checkedNumber(int64_t number, int64_t least, int64_t most, Kind kind) {
  if (number < least || number > most) {
    throw std::invalid_argument(std::to_string(number) + " is not " + wanted(kind));
  }
  return std::to_string(number);
}

// The values the flag takes for `text`, as a variable or a quoted value of the file gives it;
// throws std::invalid_argument with the problem.
std::vector<std::string> fromText(Kind kind, const std::string& text) {
  switch (kind) {
    case Kind::remote:
    case Kind::folder: {
      const std::string path = expandHome(text);
      const bool url = kind == Kind::remote && path.find("://") != std::string::npos;
      if (!url && (path.empty() || path.front() != '/')) {
        throw std::invalid_argument("'" + text + "' is not an absolute path" +
                                    (kind == Kind::remote ? " or a URL" : "") +
                                    " (a path may start with ~/)");
      }
      return {path};
    }
    case Kind::categories: {
      std::vector<std::string> names;
      std::istringstream list(text);
      for (std::string name; std::getline(list, name, ',');) names.push_back(name);
      return names;
    }
    case Kind::size:
      if (const std::optional<int64_t> bytes = parseSize(text)) return {std::to_string(*bytes)};
      throw std::invalid_argument("'" + text + "' is not a size; write it as 512K, 64M or 1.5G");
    case Kind::transfers:
    case Kind::days: {
      const bool digits = !text.empty() && text.size() <= 9 &&
                          text.find_first_not_of("0123456789") == std::string::npos;
      if (!digits) throw std::invalid_argument("'" + text + "' is not " + wanted(kind));
      return {checkedNumber(std::stoll(text), kind == Kind::days ? 0 : 1,
                            kind == Kind::days ? kMostHistoryDays : kMostTransfers, kind)};
    }
  }
  return {};
}

std::vector<std::string> checkedCategories(std::vector<std::string> names) {
  if (names.empty()) throw std::invalid_argument("names no category; leave it out for all");
  for (const std::string& name : names) {
    if (std::find(std::begin(kCategoryNames), std::end(kCategoryNames), name) ==
        std::end(kCategoryNames)) {
      throw std::invalid_argument("unknown category '" + name +
                                  "'; the categories are contacts, calendars, images and videos");
    }
  }
  return names;
}

std::string typeName(const toml::node& node) {
  std::ostringstream name;
  name << node.type();
  return name.str();
}

// The values the flag takes for a value of the file.
std::vector<std::string> fromNode(Kind kind, const toml::node& node) {
  const auto mismatch = [&] {
    return std::invalid_argument(std::string("must be ") + wanted(kind) + ", not " +
                                 (node.is_array() ? "a list" : "a " + typeName(node)));
  };
  if (const auto* text = node.as_string()) {
    if (kind == Kind::transfers || kind == Kind::days || kind == Kind::categories) throw mismatch();
    return fromText(kind, text->get());
  }
  if (const auto* number = node.as_integer()) {
    if (kind == Kind::transfers) return {checkedNumber(number->get(), 1, kMostTransfers, kind)};
    if (kind == Kind::days) return {checkedNumber(number->get(), 0, kMostHistoryDays, kind)};
    if (kind == Kind::size) {
      return {checkedNumber(number->get(), 1, std::numeric_limits<int64_t>::max(), kind)};
    }
    throw mismatch();
  }
  if (const auto* list = node.as_array(); list != nullptr && kind == Kind::categories) {
    std::vector<std::string> names;
    for (const toml::node& element : *list) {
      if (!element.is_string()) throw mismatch();
      names.push_back(element.as_string()->get());
    }
    return names;
  }
  throw mismatch();
}

std::string unknownKey(const std::string& key) {
  return "unknown key '" + key +
         "'; the keys are remote, categories, archive_size, transfers, history_days and, under "
         "[folders], pictures, movies, contacts and calendars";
}

}  // namespace

Configuration Configuration::load(const std::string& file) {
  Configuration configuration;
  configuration.file_ = file;
  for (const Key& key : kKeys) {
    configuration.settings_.push_back(Setting{key.key, key.variable, key.flag, {}, {}, 0});
  }
  configuration.readFile();
  configuration.readEnvironment();
  return configuration;
}

std::string Configuration::defaultFile() { return stateFolder() + "/config.toml"; }

const Configuration::Setting& Configuration::setting(std::string_view key) const {
  for (const Setting& setting : settings_) {
    if (setting.key == key) return setting;
  }
  throw std::out_of_range("no setting " + std::string(key));
}

void Configuration::readFile() {
  std::ifstream stream(file_, std::ios::binary);
  if (!stream) {
    const int error = errno;
    std::error_code ignored;
    if (!std::filesystem::exists(file_, ignored)) return;
    throw ConfigurationError(file_ + ": cannot be read: " + std::strerror(error));
  }
  fileFound_ = true;
  const std::string content{std::istreambuf_iterator<char>(stream), {}};
  toml::table table;
  try {
    table = toml::parse(content, std::string_view(file_));
  } catch (const toml::parse_error& error) {
    throw ConfigurationError(file_ + ":" + std::to_string(error.source().begin.line) + ":" +
                             std::to_string(error.source().begin.column) + ": " +
                             std::string(error.description()));
  }

  const auto take = [this](const std::string& key, const toml::node& node) {
    const auto line = static_cast<int64_t>(node.source().begin.line);
    const size_t index =
        static_cast<size_t>(std::find_if(std::begin(kKeys), std::end(kKeys),
                                         [&](const Key& known) { return known.key == key; }) -
                            std::begin(kKeys));
    if (index == std::size(kKeys)) {
      throw ConfigurationError(file_ + ":" + std::to_string(line) + ": " + unknownKey(key));
    }
    Setting& setting = settings_[index];
    setting.source = Source::file;
    setting.line = line;
    try {
      setting.values = fromNode(kKeys[index].kind, node);
      if (kKeys[index].kind == Kind::categories) {
        setting.values = checkedCategories(std::move(setting.values));
      }
    } catch (const std::invalid_argument& problem) {
      throw ConfigurationError(origin(setting) + problem.what());
    }
  };
  for (auto&& [key, node] : table) {
    if (key.str() != "folders") {
      take(std::string(key.str()), node);
      continue;
    }
    const toml::table* folders = node.as_table();
    if (folders == nullptr) {
      throw ConfigurationError(
          file_ + ":" + std::to_string(node.source().begin.line) +
          ": folders: must be a table, as in [folders] pictures = \"~/Photos\"");
    }
    for (auto&& [name, folder] : *folders) take("folders." + std::string(name.str()), folder);
  }
}

void Configuration::readEnvironment() {
  for (size_t index = 0; index < settings_.size(); ++index) {
    Setting& setting = settings_[index];
    const char* value = std::getenv(setting.variable.c_str());
    if (value == nullptr || *value == '\0') continue;
    setting.source = Source::environment;
    setting.line = 0;
    try {
      setting.values = fromText(kKeys[index].kind, value);
      if (kKeys[index].kind == Kind::categories) {
        setting.values = checkedCategories(std::move(setting.values));
      }
    } catch (const std::invalid_argument& problem) {
      throw ConfigurationError(origin(setting) + problem.what());
    }
  }
}

void Configuration::applyTo(CLI::App& verb) {
  for (Setting& setting : settings_) {
    CLI::Option* option = verb.get_option_no_throw(setting.flag);
    if (option == nullptr) continue;
    // The categories say what is backed up; a restore brings back what the backup holds.
    if (setting.flag == "--only" && verb.get_name() == "restore") continue;
    if (option->count() > 0) {
      setting.source = Source::flag;
      setting.values = option->results();
      setting.line = 0;
      continue;
    }
    if (setting.values.empty()) continue;
    try {
      option->add_result(setting.values);
      option->run_callback();
    } catch (const CLI::Error& error) {
      throw ConfigurationError(origin(setting) + error.what());
    }
  }
}

std::string Configuration::origin(const Setting& setting) const {
  if (setting.source == Source::file) {
    return file_ + ":" + std::to_string(setting.line) + ": " + setting.key + ": ";
  }
  return setting.variable + ": ";
}

}  // namespace tessellon::cli
