#include "cli/CommandInit.h"

#include <cerrno>
#include <filesystem>
#include <future>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/CommandFailure.h"
#include "cli/ExitStatus.h"
#include "cli/RemoteSelection.h"

namespace tessellon::cli {

namespace fs = std::filesystem;

CommandInit::CommandInit(CLI::App& parent)
    : command_(parent.add_subcommand("init", "Create the remote that backups go to")) {
  addRemoteOption(*command_, options_);
  addOutputOptions(*command_, options_);
  command_->footer(
      "Creates the folder of a folder remote (readable by you alone); a remote that is there "
      "already is left as it is. For WebDAV, creates the collection; an S3 bucket must exist "
      "(made with the provider's tools). Exit status: 0 done, 1 error, 2 usage error.");
}

int CommandInit::run() {
  const std::optional<std::string> folder = localRemoteFolder(options_);
  const std::string name = remoteName(options_);
  bool created = false;
  if (folder) {
    std::error_code error;
    if (!fs::is_directory(*folder, error)) {
      if (fs::exists(*folder, error)) {
        error = std::make_error_code(std::errc::not_a_directory);
      } else if (fs::create_directories(*folder, error)) {
        fs::permissions(*folder, fs::perms::owner_all, error);
        created = true;
      }
      if (!created) {
        const int code = error ? error.value() : EEXIST;
        return failWith(tessellon::Error{"NSPOSIXErrorDomain", code,
                                         "cannot create " + *folder + ": " +
                                             std::generic_category().message(code)},
                        options_);
      }
    }
  }
  if (!folder) {
    const auto remote = openRemote(options_, temporaryFolder());
    const bool bucket = isBucket(options_);
    if (remoteRootFound(*remote, bucket) != true) {
      std::promise<std::optional<tessellon::Error>> made;
      remote->createDirectory("", [&made](bool, std::optional<tessellon::Error> error) {
        made.set_value(std::move(error));
      });
      std::optional<tessellon::Error> error = made.get_future().get();
      created = !error && remoteRootFound(*remote, bucket) == true;
      if (!created && (!error || (error->domain == "HTTP" && error->code == 404))) {
        error =
            tessellon::Error{kCommandErrorDomain, static_cast<int>(CommandError::unusableRemote),
                             "cannot create " + name +
                                 ": the server has no such bucket and does not make one; "
                                 "create it with the server's own tools"};
      }
      if (!created) return failWith(*error, options_);
    }
  }
  if (options_.json) {
    const nlohmann::json document = {
        {"schema", kJsonSchemaVersion}, {"verb", "init"}, {"remote", name}, {"created", created}};
    std::cout << document.dump() << "\n";
  } else if (!options_.quiet) {
    std::cout << (created ? "Created the remote " + name + "."
                          : "The remote " + name + " is there already.")
              << "\n";
  }
  return kExitSuccess;
}

}  // namespace tessellon::cli
