#include "cli/CommandVerify.h"

#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "tessellon/VerifyReport.h"

#include "cli/BackupChoice.h"
#include "cli/ExitStatus.h"
#include "cli/RemoteSelection.h"
#include "cli/Session.h"

namespace tessellon::cli {

namespace {

using nlohmann::json;

struct NamedSection {
  const char* name;
  const tessellon::VerifySection& section;
};

json itemsJson(const std::vector<tessellon::VerifyItem>& items) {
  json list = json::array();
  for (const tessellon::VerifyItem& item : items) {
    list.push_back({{"remoteName", item.remoteName},
                    {"localPaths", item.localPaths},
                    {"bytes", item.bytes},
                    {"problem", item.problem}});
  }
  return list;
}

std::string reportJson(const tessellon::VerifyReport& report, const tessellon::Backup& backup,
                       const std::string& remote) {
  json object = {{"schema", kJsonSchemaVersion},
                 {"verb", "verify"},
                 {"remote", remote},
                 {"deviceID", report.deviceID},
                 {"deviceName", backup.deviceName ? json(*backup.deviceName) : json()},
                 {"name", backup.name ? json(*backup.name) : json()},
                 {"readData", report.readData},
                 {"intact", report.isIntact()}};
  for (const NamedSection& named :
       {NamedSection{"images", report.images}, NamedSection{"videos", report.videos},
        NamedSection{"documents", report.documents}}) {
    object[named.name] = {{"checked", named.section.checked},
                          {"contentChecked", named.section.contentChecked},
                          {"missing", itemsJson(named.section.missing)},
                          {"damaged", itemsJson(named.section.damaged)}};
  }
  // Paths are whatever the file system allowed; a name that is not UTF-8 is not lost.
  return object.dump(-1, ' ', false, json::error_handler_t::replace);
}

// "  missing  images/<name>  (<local path>, ...): <problem>"
void printItems(const char* kind, const char* folder,
                const std::vector<tessellon::VerifyItem>& items) {
  for (const tessellon::VerifyItem& item : items) {
    std::cout << "  " << kind << "  " << folder << item.remoteName;
    if (!item.localPaths.empty()) {
      std::cout << "  (";
      for (size_t index = 0; index < item.localPaths.size(); ++index) {
        std::cout << (index == 0 ? "" : ", ") << item.localPaths[index];
      }
      std::cout << ")";
    }
    std::cout << ": " << item.problem << "\n";
  }
}

void printReport(const tessellon::VerifyReport& report, bool quiet) {
  const NamedSection sections[] = {
      {"Images", report.images}, {"Videos", report.videos}, {"Documents", report.documents}};
  const char* folders[] = {"images/", "videos/", ""};
  for (size_t index = 0; index < std::size(sections); ++index) {
    const auto& [name, section] = sections[index];
    if (quiet && section.isIntact()) continue;
    std::cout << name << ": " << section.checked << " checked";
    if (report.readData && index < 2) std::cout << ", " << section.contentChecked << " read back";
    std::cout << ", " << section.missing.size() << " missing, " << section.damaged.size()
              << " damaged\n";
    printItems("missing", folders[index], section.missing);
    printItems("damaged", folders[index], section.damaged);
  }
  if (!quiet) {
    std::cout << (report.isIntact() ? "The backup is whole." : "The backup is NOT whole.") << "\n";
  }
}

}  // namespace

CommandVerify::CommandVerify(CLI::App& parent)
    : command_(parent.add_subcommand(
          "verify", "Check that a backup on the remote is whole: every file there, at its size")) {
  addRemoteOption(*command_, options_);
  addDeviceOption(*command_, options_, "whose backup to check");
  command_->add_flag("--read-data", readData_,
                     "Also download every file that has a recorded checksum and compare it");
  addOutputOptions(*command_, options_);
  command_->footer(
      "Lists each missing or damaged file with its name on the remote and where it was found "
      "when it was backed up. Exit status: 0 the backup is whole, 3 files are missing or "
      "damaged, 1 error, 2 usage error, 130 cancelled.");
}

int CommandVerify::run() {
  Session session(options_, tessellon::BackupSDKOptions{});
  const BackupChoice choice =
      chooseBackup(session, options_, command_->get_option("--device")->count() > 0);
  if (!choice.backup) return choice.exitStatus;
  if (!options_.quiet && !options_.json) {
    std::cerr << "tessellon: checking the backup of " << choice.backup->deviceName.value_or("?")
              << " (" << choice.backup->deviceID << ")" << (readData_ ? ", reading every file" : "")
              << "\n";
  }

  session.startNext();
  std::shared_ptr<tessellon::VerifyReport> report;
  std::optional<tessellon::Error> error;
  session.sdk().verify(choice.backup, readData_,
                       [&](std::shared_ptr<tessellon::VerifyReport> result,
                           std::optional<tessellon::Error> failure) {
                         report = std::move(result);
                         error = std::move(failure);
                         session.finish();
                       });
  session.wait();
  if (error) return failWith(*error, options_);
  if (!report) {
    std::cerr << "tessellon: cancelled\n";
    return kExitCancelled;
  }
  if (options_.json) {
    std::cout << reportJson(*report, *choice.backup, remoteName(options_)) << "\n";
  } else {
    printReport(*report, options_.quiet);
  }
  return report->isIntact() ? kExitSuccess : kExitFailedItems;
}

}  // namespace tessellon::cli
