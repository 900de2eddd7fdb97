#include "cli/CliOptions.h"

#include <pwd.h>
#include <unistd.h>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>

#include <CLI/CLI.hpp>

namespace tessellon::cli {

namespace {

constexpr const char* kCategories[] = {"contacts", "calendars", "images", "videos"};

// The account's home from the user database, as the library uses it: $HOME may point elsewhere
// under sudo or in a service.
std::string realHome() {
  if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
    return entry->pw_dir;
  }
  const char* home = std::getenv("HOME");
  return home != nullptr ? home : "/";
}

std::string dataHome() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg != nullptr && *xdg == '/') return xdg;
  return realHome() + "/.local/share";
}

std::string orDefault(const std::string& given, const std::string& fallback) {
  return given.empty() ? fallback : given;
}

bool isFolder(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_directory(path, error);
}

}  // namespace

void addRemoteOption(CLI::App& command, CliOptions& options) {
  command
      .add_option("--remote", options.remote,
                  "Folder that holds the backups (default $XDG_DATA_HOME/tessellon/remote, else "
                  "~/.local/share/tessellon/remote; created when missing)")
      ->type_name("DIR");
}

void addOutputOptions(CLI::App& command, CliOptions& options) {
  command.add_flag("--json", options.json,
                   "Print the result as JSON on standard output, and nothing else there");
  command.add_flag(
      "-v,--verbose", options.verbosity,
      "Log lines on standard error; repeat for more (-v info, -vv debug, -vvv verbose)");
  command.add_flag("-q,--quiet", options.quiet, "No progress line and no summary");
}

void addSourceOptions(CLI::App& command, CliOptions& options) {
  command.add_option("--pictures", options.pictures, "Picture folder (default ~/Pictures)")
      ->type_name("DIR");
  command.add_option("--movies", options.movies, "Movie folder (default ~/Movies)")
      ->type_name("DIR");
  command
      .add_option("--contacts", options.contacts,
                  "Address books, one vCard folder per book (default ~/.local/share/contacts)")
      ->type_name("DIR");
  command
      .add_option("--calendars", options.calendars,
                  "Calendars, one iCalendar folder per calendar (default "
                  "~/.local/share/calendars)")
      ->type_name("DIR");
  command
      .add_option("--only", options.only,
                  "Comma-separated subset of contacts,calendars,images,videos (default: every "
                  "category whose folder exists)")
      ->type_name("LIST")
      ->delimiter(',')
      ->check(CLI::IsMember({"contacts", "calendars", "images", "videos"}));
}

void addBackupOptions(CLI::App& command, CliOptions& options) {
  command.add_option("--name", options.name,
                     "Name of the backup (letters, digits, space and _ are kept)");
  command.add_flag("--keep-deleted", options.keepDeleted,
                   "Keep items in the backup that were deleted here since the last backup");
  command
      .add_option("--archive-size", options.archiveSize,
                  "Largest archive uploaded at once, in bytes; k, M, G suffixes count in 1024s "
                  "(default 512M)")
      ->type_name("BYTES")
      ->transform(CLI::AsSizeValue(false))
      ->check(CLI::Range(int64_t{1}, INT64_MAX));
}

std::string remoteFolder(const CliOptions& options) {
  return orDefault(options.remote, dataHome() + "/tessellon/remote");
}

SourceSelection selectSources(const CliOptions& options) {
  SourceSelection selection;
  const std::string home = realHome();
  const std::string folders[] = {
      orDefault(options.contacts, dataHome() + "/contacts"),
      orDefault(options.calendars, dataHome() + "/calendars"),
      orDefault(options.pictures, home + "/Pictures"),
      orDefault(options.movies, home + "/Movies"),
  };
  selection.options.contactsDirectory = folders[0];
  selection.options.calendarsDirectory = folders[1];
  selection.options.picturesDirectory = folders[2];
  selection.options.moviesDirectory = folders[3];

  bool* chosen[] = {&selection.settings.contacts, &selection.settings.calendars,
                    &selection.settings.images, &selection.settings.videos};
  for (size_t index = 0; index < std::size(kCategories); ++index) {
    const std::string category = kCategories[index];
    if (!options.only.empty()) {
      *chosen[index] =
          std::find(options.only.begin(), options.only.end(), category) != options.only.end();
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

void announceLeftOut(const SourceSelection& selection, const CliOptions& options) {
  if (options.quiet) return;
  for (const std::string& reason : selection.leftOut) {
    std::cerr << "tessellon: left out " << reason << "\n";
  }
}

tessellon::BackupSettings backupSettings(const SourceSelection& selection,
                                         const CliOptions& options) {
  return tessellon::BackupSettings(options.name, selection.settings.contacts,
                                   selection.settings.calendars, selection.settings.videos,
                                   selection.settings.images, options.keepDeleted);
}

}  // namespace tessellon::cli
