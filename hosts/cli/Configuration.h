#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace CLI {
class App;
}

namespace tessellon::cli {

// What config.toml and the TESSELLON_* variables set, checked in full when the command starts, and
// where each value came from. A verb's flags win over both, the environment over the file; a
// setting reaches a verb through the flag of the same meaning, so it is parsed and checked the same
// way. Used by main on the main thread only.
class Configuration {
 public:
  enum class Source { byDefault, file, environment, flag };

  struct Setting {
    std::string key;       // in the file: "archive_size", "folders.pictures"
    std::string variable;  // "TESSELLON_ARCHIVE_SIZE"
    std::string flag;      // "--archive-size"
    // As the flag takes them: one value, or one per category; empty when nothing sets it.
    std::vector<std::string> values;
    Source source = Source::byDefault;
    int64_t line = 0;  // of the file, for Source::file
  };

  // How long the remote keeps earlier versions when nothing says otherwise.
  static constexpr int kDefaultHistoryDays = 30;

  // Reads `file` when it exists, and the variables. Throws ConfigurationError naming the file, line
  // and key (or the variable) of the first value that cannot be used.
  static Configuration load(const std::string& file);
  // <$XDG_CONFIG_HOME or ~/.config>/tessellon/config.toml.
  static std::string defaultFile();

  // Gives each setting to the option of `verb` with its flag, unless the command line gave that
  // option; a setting the command line gave is marked Source::flag. Throws ConfigurationError.
  void applyTo(CLI::App& verb);

  const std::string& file() const { return file_; }
  bool fileFound() const { return fileFound_; }
  const std::vector<Setting>& settings() const { return settings_; }
  const Setting& setting(std::string_view key) const;

 private:
  void readFile();
  void readEnvironment();
  // "<file>:<line>: <key>: <problem>" or "<variable>: <problem>".
  std::string origin(const Setting& setting) const;

  std::string file_;
  bool fileFound_ = false;
  std::vector<Setting> settings_;
};

}  // namespace tessellon::cli
