#include "cli/CliOptions.h"

#include <pwd.h>
#include <unistd.h>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>

#include <CLI/CLI.hpp>

namespace tessellon::cli {

namespace {

constexpr const char* kCategories[] = {"contacts", "calendars", "images", "videos"};

// An XDG variable counts only when absolute, as the base directory rules say.
std::string xdgOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value == '/' ? std::string(value) : fallback;
}

std::string dataHome() { return xdgOr("XDG_DATA_HOME", homeFolder() + "/.local/share"); }

std::string orDefault(const std::string& given, const std::string& fallback) {
  return given.empty() ? fallback : given;
}

bool isFolder(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_directory(path, error);
}

// `role` follows the folder's kind: "" for the sources, " to restore into" for the targets.
void addFolderOptions(CLI::App& command, CliOptions& options, const std::string& role) {
  command
      .add_option("--pictures", options.pictures, "Picture folder" + role + " (default ~/Pictures)")
      ->type_name("DIR");
  command.add_option("--movies", options.movies, "Movie folder" + role + " (default ~/Movies)")
      ->type_name("DIR");
  command
      .add_option(
          "--contacts", options.contacts,
          "Address books" + role + ", one vCard folder per book (default ~/.local/share/contacts)")
      ->type_name("DIR");
  command
      .add_option("--calendars", options.calendars,
                  "Calendars" + role +
                      ", one iCalendar folder per calendar (default ~/.local/share/calendars)")
      ->type_name("DIR");
}

void addOnlyOption(CLI::App& command, CliOptions& options, const std::string& byDefault) {
  command
      .add_option(
          "--only", options.only,
          "Comma-separated subset of contacts,calendars,images,videos (default: " + byDefault + ")")
      ->type_name("LIST")
      ->delimiter(',')
      ->check(CLI::IsMember({"contacts", "calendars", "images", "videos"}));
}

bool isOnly(const CliOptions& options, const std::string& category) {
  return std::find(options.only.begin(), options.only.end(), category) != options.only.end();
}

bool holdsAny(const tessellon::BackupCategory& category) {
  return category.held && category.held->count > 0;
}

}  // namespace

std::string homeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home == '/') return home;
  if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
    return entry->pw_dir;
  }
  return "/";
}

std::string stateFolder() {
  return xdgOr("XDG_CONFIG_HOME", homeFolder() + "/.config") + "/tessellon";
}

std::string temporaryFolder() {
  const char* base = std::getenv("TMPDIR");
  return std::string(base != nullptr && *base == '/' ? base : "/tmp") + "/tessellon-" +
         std::to_string(getuid());
}

std::optional<int64_t> parseSize(const std::string& text) {
  // Digits with at most one point, then an optional K, M or G and an optional B; std::stod alone
  // would also take spaces, signs, exponents and hexadecimal.
  const size_t digits = text.find_first_not_of("0123456789.");
  const std::string number = text.substr(0, digits);
  if (number.empty() || number == "." || std::count(number.begin(), number.end(), '.') > 1) {
    return std::nullopt;
  }
  std::string unit = digits == std::string::npos ? "" : text.substr(digits);
  if (unit.size() == 2 && std::toupper(static_cast<unsigned char>(unit[1])) == 'B') unit.pop_back();
  double factor = 1;
  if (!unit.empty()) {
    const size_t power = unit.size() == 1 ? std::string("KMG").find(static_cast<char>(
                                                std::toupper(static_cast<unsigned char>(unit[0]))))
                                          : std::string::npos;
    if (power == std::string::npos) return std::nullopt;
    factor = std::pow(1024.0, static_cast<double>(power + 1));
  }
  const double value = std::stod(number);
  const double bytes = std::floor(value * factor);
  // Plain bytes must be whole; the upper bound keeps the cast defined.
  if (bytes < 1 || bytes > 9.0e18 || (unit.empty() && bytes != value)) return std::nullopt;
  return static_cast<int64_t>(bytes);
}

void addRemoteOption(CLI::App& command, CliOptions& options) {
  command
      .add_option("--remote", options.remote,
                  "Where the backups are: a folder or file:///path (default "
                  "$XDG_DATA_HOME/tessellon/remote, else ~/.local/share/tessellon/remote; made by "
                  "'tessellon init'), dav://host[:port]/path (WebDAV), davs://host[:port]/path "
                  "(WebDAV over HTTPS) or s3://bucket[/prefix]")
      ->type_name("REMOTE");
  command
      .add_option("--transfers", options.transfers,
                  "Files a network remote sends or fetches at once (default 4)")
      ->type_name("N")
      ->check(CLI::Range(1, 64));
  command.add_option("--ca-file", options.caFile, "Certificates to trust for HTTPS remotes")
      ->type_name("FILE")
      ->check(CLI::ExistingFile);
  command.add_flag("--insecure", options.insecure,
                   "Do not check the HTTPS remote's certificate (warned; avoid)");
  command
      .add_option(
          "--s3-endpoint", options.s3Endpoint,
          "S3 endpoint URL (default $AWS_ENDPOINT_URL, else the AWS endpoint of the region)")
      ->type_name("URL");
  command
      .add_option("--s3-region", options.s3Region,
                  "S3 region (default $AWS_REGION, else us-east-1)")
      ->type_name("REGION");
}

void addOutputOptions(CLI::App& command, CliOptions& options) {
  command.add_flag("--json", options.json,
                   "Print the result as JSON on standard output, and nothing else there");
  command.add_flag(
      "-v,--verbose", options.verbosity,
      "Log lines on standard error; repeat for more (-v info, -vv debug, -vvv verbose)");
  command.add_flag("-q,--quiet", options.quiet,
                   "No progress line and no summary (warnings and errors still show)");
}

void addSourceOptions(CLI::App& command, CliOptions& options) {
  addFolderOptions(command, options, "");
  addOnlyOption(command, options, "every category whose folder exists");
}

void addRestoreOptions(CLI::App& command, CliOptions& options) {
  addDeviceOption(command, options, "whose backup to restore");
  addFolderOptions(command, options, " to restore into");
  addOnlyOption(command, options, "every category the backup holds");
}

void addDeviceOption(CLI::App& command, CliOptions& options, const std::string& purpose) {
  command
      .add_option("--device", options.device,
                  "Device " + purpose +
                      ": the ID 'tessellon list' shows or its first characters (any case), or "
                      "the computer name (default: this computer's backup)")
      ->type_name("ID");
}

void addBackupOptions(CLI::App& command, CliOptions& options) {
  command.add_option("--name", options.name,
                     "Name of the backup (letters, digits, space and _ are kept)");
  CLI::Option* keep =
      command.add_flag("--keep-deleted", options.keepDeleted,
                       "Keep items on the remote that were deleted here (the default)");
  command
      .add_flag("--prune", options.prune,
                "Remove from the remote the items deleted here since the last backup")
      ->excludes(keep);
  command.add_flag("--allow-large-removal", options.allowLargeRemoval,
                   "With --prune: remove even more than half of a category, or all of it");
  addArchiveSizeOption(command, options);
  addHistoryOption(command, options);
}

void addHistoryOption(CLI::App& command, CliOptions& options) {
  command
      .add_option("--keep-history", options.keepHistoryDays,
                  "Days the remote keeps the files a backup replaces or removes, in "
                  "<device>/.history (default 30; 0 keeps none); older ones go at the next backup")
      ->type_name("DAYS")
      ->check(CLI::Range(0, 36500));
}

void addAsOfOption(CLI::App& command, CliOptions& options) {
  command
      .add_option_function<std::string>(
          "--as-of",
          [&options](const std::string& text) {
            options.asOf = parseMoment(text);
            if (!options.asOf) {
              throw CLI::ValidationError("--as-of", "'" + text +
                                                        "' is not a date; write it as 2026-12-07, "
                                                        "2026-12-07T10:30 or "
                                                        "2026-12-07T10:30:00Z");
            }
          },
          "Restore the backup as it was then, from the versions the remote keeps: a date (its "
          "end), a local time, or a UTC time ending in Z as 'tessellon history' shows")
      ->type_name("DATE");
}

std::optional<std::chrono::system_clock::time_point> parseMoment(const std::string& text) {
  std::tm when{};
  int millis = 0;
  int consumed = 0;
  const char* input = text.c_str();
  if (std::sscanf(input, "%4d-%2d-%2d%n", &when.tm_year, &when.tm_mon, &when.tm_mday, &consumed) !=
          3 ||
      consumed != 10) {
    return std::nullopt;
  }
  std::string rest = text.substr(10);
  const bool dateOnly = rest.empty();
  if (dateOnly) {
    when.tm_hour = 23;
    when.tm_min = 59;
    when.tm_sec = 59;
    millis = 999;
  } else {
    if (rest[0] != 'T' && rest[0] != ' ') return std::nullopt;
    int fields = std::sscanf(rest.c_str() + 1, "%2d:%2d%n", &when.tm_hour, &when.tm_min, &consumed);
    if (fields != 2 || consumed != 5) return std::nullopt;
    rest = rest.substr(6);
    if (!rest.empty() && rest[0] == ':') {
      if (std::sscanf(rest.c_str() + 1, "%2d%n", &when.tm_sec, &consumed) != 1 || consumed != 2) {
        return std::nullopt;
      }
      rest = rest.substr(3);
      if (!rest.empty() && rest[0] == '.') {
        if (std::sscanf(rest.c_str() + 1, "%3d%n", &millis, &consumed) != 1 || consumed != 3) {
          return std::nullopt;
        }
        rest = rest.substr(4);
      }
    }
  }
  const bool utc = rest == "Z";
  if (!rest.empty() && !utc) return std::nullopt;
  if (when.tm_mon < 1 || when.tm_mon > 12 || when.tm_mday < 1 || when.tm_mday > 31 ||
      when.tm_hour > 23 || when.tm_min > 59 || when.tm_sec > 60) {
    return std::nullopt;
  }
  when.tm_year -= 1900;
  when.tm_mon -= 1;
  when.tm_isdst = -1;
  const std::time_t seconds = utc ? timegm(&when) : std::mktime(&when);
  if (seconds == -1) return std::nullopt;
  return std::chrono::system_clock::from_time_t(seconds) + std::chrono::milliseconds(millis);
}

void addArchiveSizeOption(CLI::App& command, CliOptions& options) {
  command
      .add_option_function<std::string>(
          "--archive-size",
          [&options](const std::string& text) {
            const std::optional<int64_t> bytes = parseSize(text);
            if (!bytes) {
              throw CLI::ValidationError("--archive-size", "'" + text +
                                                               "' is not a size; write it as "
                                                               "512K, 64M or 1.5G");
            }
            options.archiveSize = *bytes;
          },
          "Largest archive uploaded at once: bytes, or with K, M or G (counted in 1024s), as in "
          "512K, 64M, 1.5G (default 512M)")
      ->type_name("SIZE");
}

std::string remoteFolder(const CliOptions& options) {
  return orDefault(options.remote, dataHome() + "/tessellon/remote");
}

tessellon::BackupSDKOptions chosenFolders(const CliOptions& options) {
  const std::string home = homeFolder();
  tessellon::BackupSDKOptions folders;
  folders.contactsDirectory = orDefault(options.contacts, dataHome() + "/contacts");
  folders.calendarsDirectory = orDefault(options.calendars, dataHome() + "/calendars");
  folders.picturesDirectory = orDefault(options.pictures, home + "/Pictures");
  folders.moviesDirectory = orDefault(options.movies, home + "/Movies");
  return folders;
}

SourceSelection selectSources(const CliOptions& options) {
  SourceSelection selection;
  selection.options = chosenFolders(options);
  const std::string folders[] = {
      *selection.options.contactsDirectory,
      *selection.options.calendarsDirectory,
      *selection.options.picturesDirectory,
      *selection.options.moviesDirectory,
  };

  bool* chosen[] = {&selection.settings.contacts, &selection.settings.calendars,
                    &selection.settings.images, &selection.settings.videos};
  for (size_t index = 0; index < std::size(kCategories); ++index) {
    const std::string category = kCategories[index];
    if (!options.only.empty()) {
      *chosen[index] = isOnly(options, category);
    } else if (isFolder(folders[index])) {
      *chosen[index] = true;
    } else {
      selection.leftOut.push_back(category + ": " + folders[index] + " does not exist");
    }
  }
  // The library reads the picture and the movie folder together: a missing one that is not backed
  // up must not fail the other category.
  std::optional<std::string>* media[] = {&selection.options.picturesDirectory,
                                         &selection.options.moviesDirectory};
  const bool mediaChosen = selection.settings.images || selection.settings.videos;
  const bool chosenMedia[] = {selection.settings.images, selection.settings.videos};
  for (size_t index = 0; index < std::size(media); ++index) {
    if (!mediaChosen || chosenMedia[index] || isFolder(**media[index])) continue;
    if (!selection.standIn) selection.standIn = std::make_shared<EmptyFolder>();
    if (!selection.standIn->path().empty()) *media[index] = selection.standIn->path();
  }
  return selection;
}

RestoreSelection selectRestoreCategories(const CliOptions& options,
                                         const tessellon::Backup& backup) {
  RestoreSelection selection;
  const bool held[] = {holdsAny(backup.contacts), holdsAny(backup.calendars),
                       holdsAny(backup.images), holdsAny(backup.videos)};
  bool* chosen[] = {&selection.settings.contacts, &selection.settings.calendars,
                    &selection.settings.images, &selection.settings.videos};
  for (size_t index = 0; index < std::size(kCategories); ++index) {
    const std::string category = kCategories[index];
    if (!options.only.empty()) {
      *chosen[index] = isOnly(options, category);
    } else if (held[index]) {
      *chosen[index] = true;
    } else {
      selection.leftOut.push_back(category + ": the backup holds none");
    }
  }
  return selection;
}

void announceLeftOut(const std::vector<std::string>& leftOut, const CliOptions&) {
  for (const std::string& reason : leftOut) {
    std::cerr << "tessellon: left out " << reason << "\n";
  }
}

tessellon::BackupSettings backupSettings(const SourceSelection& selection,
                                         const CliOptions& options) {
  return tessellon::BackupSettings(options.name, selection.settings.contacts,
                                   selection.settings.calendars, selection.settings.videos,
                                   selection.settings.images, !options.prune);
}

}  // namespace tessellon::cli
