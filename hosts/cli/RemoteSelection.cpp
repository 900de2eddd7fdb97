#include "cli/RemoteSelection.h"

#include <cstdlib>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <utility>

#include "delegates/LocalFolderDelegate.h"
#include "delegates/ObjectStoreDelegate.h"
#include "delegates/WebDavStore.h"

namespace tessellon::cli {

namespace {

std::optional<std::string> environment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

// "host[:port]/path" after the scheme; refuses "user:password@" in it.
std::string checkedAuthority(const std::string& rest, const std::string& remote) {
  const std::string authority = rest.substr(0, rest.find('/'));
  if (authority.empty()) throw std::runtime_error("no host in --remote " + remote);
  if (authority.find('@') != std::string::npos) {
    throw std::runtime_error(
        "--remote must not carry credentials; use ~/.netrc or TESSELLON_WEBDAV_USER and "
        "TESSELLON_WEBDAV_PASSWORD (for S3, the AWS_* variables or ~/.aws/credentials)");
  }
  return rest;
}

hosts::HttpOptions transportOptions(const CliOptions& options) {
  hosts::HttpOptions http;
  if (!options.caFile.empty()) http.caFile = options.caFile;
  if (options.insecure) {
    std::cerr << "tessellon: warning: --insecure: the remote's TLS certificate is not checked; "
                 "anyone on the way can read and change what is sent\n";
    http.insecure = true;
  }
  return http;
}

std::shared_ptr<tessellon::BackupSDKDelegate> webDav(const std::string& url,
                                                     const CliOptions& options,
                                                     const std::string& workFolder) {
  hosts::HttpOptions http = transportOptions(options);
  http.user = environment("TESSELLON_WEBDAV_USER");
  http.password = environment("TESSELLON_WEBDAV_PASSWORD");
  http.netrc = !http.user;
  return std::make_shared<hosts::ObjectStoreDelegate>(
      std::make_shared<hosts::WebDavStore>(url, std::move(http)), options.archiveSize,
      options.transfers, workFolder);
}

}  // namespace

std::shared_ptr<tessellon::BackupSDKDelegate> openRemote(const CliOptions& options,
                                                         const std::string& workFolder) {
  const std::string& remote = options.remote;
  for (const auto& [scheme, http] : {std::pair{"dav://", "http://"}, {"davs://", "https://"}}) {
    if (remote.rfind(scheme, 0) == 0) {
      const std::string rest = remote.substr(std::string(scheme).size());
      return webDav(http + checkedAuthority(rest, remote), options, workFolder);
    }
  }
  std::string folder = remoteFolder(options);
  if (remote.rfind("file://", 0) == 0) {
    folder = remote.substr(7);
    if (folder.empty() || folder.front() != '/') {
      throw std::runtime_error("--remote file:// needs an absolute path, as in file:///backups");
    }
  } else if (remote.find("://") != std::string::npos) {
    throw std::runtime_error("--remote " + remote +
                             ": use a folder, file:///path, dav://, davs:// or s3://");
  }
  return std::make_shared<hosts::LocalFolderDelegate>(folder, options.archiveSize, std::nullopt,
                                                      workFolder);
}

}  // namespace tessellon::cli
