// A host written against the installed headers and library alone: a folder remote in a few lines,
// one backup of the pictures of <home>/Pictures, then the listing of the remote. Usage:
//   backup_host <remote folder> <home>
// Prints "images <succeeded>/<overall>" and "backups <count>"; exits 1 on an error.

#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iostream>
#include <system_error>
#include <thread>

#include "tessellon/BackupSDK.h"

namespace {

namespace fs = std::filesystem;

tessellon::Error posixError(const std::error_code& code, const std::string& what) {
  return {"NSPOSIXErrorDomain", code.value(), what + ": " + code.message()};
}

// The remote is a folder. Each request runs on a thread of its own and captures what it needs by
// value, so a completion may come after the library has let go of the delegate.
class FolderRemote final : public tessellon::BackupSDKDelegate {
 public:
  explicit FolderRemote(fs::path root) : root_(std::move(root)) {}

  std::shared_ptr<tessellon::CancellationDelegate> uploadFile(
      const std::string& localPath, const std::string& path,
      std::function<void(const tessellon::TransferProgress&)>,
      std::function<void(std::optional<tessellon::Error>)> completion) override {
    post([=, root = root_] {
      std::error_code code;
      fs::copy_file(localPath, root / path, fs::copy_options::overwrite_existing, code);
      completion(code ? std::optional(posixError(code, path)) : std::nullopt);
    });
    return nullptr;
  }

  std::shared_ptr<tessellon::CancellationDelegate> downloadFile(
      const std::string& path, std::function<void(const tessellon::TransferProgress&)>,
      std::function<void(std::optional<std::string>, std::optional<tessellon::BackupSDKError>)>
          completion) override {
    post([=, root = root_] {
      if (!fs::is_regular_file(root / path)) {
        return completion(std::nullopt, tessellon::BackupSDKError::delegateFileDoesNotExist);
      }
      const char* tmp = std::getenv("TMPDIR");
      std::string local = std::string(tmp ? tmp : "/tmp") + "/host-download-XXXXXX";
      std::error_code code;
      const int fd = ::mkstemp(local.data());
      if (fd >= 0) ::close(fd);
      fs::copy_file(root / path, local, fs::copy_options::overwrite_existing, code);
      if (fd < 0 || code) {
        return completion(std::nullopt, tessellon::BackupSDKError::delegateFileDownloadFailed);
      }
      completion(local, std::nullopt);
    });
    return nullptr;
  }

  void createDirectory(
      const std::string& path,
      std::function<void(bool, std::optional<tessellon::Error>)> completion) override {
    post([=, root = root_] {
      std::error_code code;
      const bool created = fs::create_directory(root / path, code);
      completion(!created && !code, code ? std::optional(posixError(code, path)) : std::nullopt);
    });
  }

  void deleteFile(const std::string& path,
                  std::function<void(bool, std::optional<tessellon::Error>)> completion) override {
    post([=, root = root_] {
      std::error_code code;
      const auto removed = fs::remove_all(root / path, code);
      completion(!code && removed > 0, code ? std::optional(posixError(code, path)) : std::nullopt);
    });
  }

  void getDirectoryInfo(
      const std::string& path,
      std::function<void(std::optional<tessellon::Directory>, std::optional<tessellon::Error>)>
          completion) override {
    post([=, root = root_] {
      std::error_code code;
      tessellon::Directory listing;
      for (fs::directory_iterator it(root / path, code), end; !code && it != end;
           it.increment(code)) {
        const bool folder = it->is_directory();
        listing.members.push_back(
            {(fs::path(path) / it->path().filename()).string(),
             folder ? 0 : static_cast<int64_t>(it->file_size()),
             folder ? tessellon::MemberType::directory : tessellon::MemberType::file});
      }
      if (code) return completion(std::nullopt, posixError(code, path));
      completion(std::move(listing), std::nullopt);
    });
  }

  // unzip(1) does the extracting; a real host would use its archive library.
  void inflateZip(const std::string& source, const std::string& destination,
                  std::function<void(std::optional<tessellon::Error>)> completion) override {
    post([=, root = root_] {
      const std::string command = "unzip -qq -o '" + (root / source).string() + "' -d '" +
                                  (root / destination).string() + "'";
      const int status = std::system(command.c_str());
      completion(status == 0 ? std::nullopt
                             : std::optional(tessellon::Error{"unzip", status, command}));
    });
  }

  int64_t getZipSize() override { return 64 * 1024 * 1024; }

 private:
  static void post(std::function<void()> request) { std::thread(std::move(request)).detach(); }

  const fs::path root_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: backup_host <remote folder> <home>\n";
    return 2;
  }
  const fs::path home = argv[2];
  tessellon::BackupSDKOptions folders;
  folders.picturesDirectory = home / "Pictures";
  folders.moviesDirectory = home / "Movies";
  folders.stateDirectory = home / ".config/tessellon";
  tessellon::BackupSDK sdk(std::make_shared<FolderRemote>(argv[1]), nullptr, folders);

  std::promise<bool> backedUp;
  sdk.startBackup(
      tessellon::BackupSettings("Installed host", false, false, false, true, false),
      [](const tessellon::FileStatus&) {},
      [&](std::shared_ptr<tessellon::ProcessReport> report, std::optional<tessellon::Error> error) {
        if (error) {
          std::cerr << "backup failed: " << error->domain << " " << error->code << " "
                    << error->message << "\n";
        } else if (report && report->images) {
          std::cout << "images " << report->images->success << "/" << report->images->overall
                    << "\n";
        }
        backedUp.set_value(!error);
      });
  if (!backedUp.get_future().get()) return 1;

  std::promise<bool> listed;
  sdk.getAvailableBackups([&](auto backups, std::optional<tessellon::Error> error) {
    if (backups) std::cout << "backups " << backups->size() << "\n";
    listed.set_value(!error && backups);
  });
  return listed.get_future().get() ? 0 : 1;
}
