#include "cli/RemoteSelection.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <utility>

#include "cli/CommandFailure.h"
#include "delegates/LocalFolderDelegate.h"
#include "delegates/ObjectStoreDelegate.h"
#include "delegates/S3Store.h"
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

struct AwsKeys {
  std::string accessKey;
  std::string secretKey;
  std::optional<std::string> sessionToken;
};

// The section [profile] of an AWS credentials file.
std::optional<AwsKeys> keysFromFile(const std::string& path, const std::string& profile) {
  std::ifstream file(path);
  AwsKeys keys;
  bool inSection = false;
  for (std::string line; std::getline(file, line);) {
    const auto trim = [](std::string text) {
      text.erase(0, text.find_first_not_of(" \t\r"));
      text.erase(text.find_last_not_of(" \t\r") + 1);
      return text;
    };
    line = trim(line);
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    if (line.front() == '[') {
      inSection = line == "[" + profile + "]";
      continue;
    }
    const size_t equals = line.find('=');
    if (!inSection || equals == std::string::npos) continue;
    const std::string name = trim(line.substr(0, equals));
    const std::string value = trim(line.substr(equals + 1));
    if (name == "aws_access_key_id") keys.accessKey = value;
    if (name == "aws_secret_access_key") keys.secretKey = value;
    if (name == "aws_session_token") keys.sessionToken = value;
  }
  if (keys.accessKey.empty() || keys.secretKey.empty()) return std::nullopt;
  return keys;
}

AwsKeys awsKeys() {
  const auto access = environment("AWS_ACCESS_KEY_ID");
  const auto secret = environment("AWS_SECRET_ACCESS_KEY");
  if (access && secret) return {*access, *secret, environment("AWS_SESSION_TOKEN")};
  const char* home = std::getenv("HOME");
  const std::string file =
      environment("AWS_SHARED_CREDENTIALS_FILE")
          .value_or(std::string(home != nullptr ? home : "") + "/.aws/credentials");
  const std::string profile = environment("AWS_PROFILE").value_or("default");
  if (auto keys = keysFromFile(file, profile)) return *keys;
  throw std::runtime_error(
      "an s3:// remote needs credentials: AWS_ACCESS_KEY_ID and AWS_SECRET_ACCESS_KEY, or the "
      "section [" +
      profile + "] of " + file);
}

std::shared_ptr<tessellon::BackupSDKDelegate> s3(const std::string& rest, const CliOptions& options,
                                                 const std::string& workFolder) {
  hosts::S3Store::Location location;
  const size_t slash = rest.find('/');
  location.bucket = rest.substr(0, slash);
  if (location.bucket.empty()) throw std::runtime_error("--remote s3:// needs a bucket name");
  if (location.bucket.find('@') != std::string::npos) checkedAuthority(rest, "s3://" + rest);
  if (slash != std::string::npos) {
    location.prefix = rest.substr(slash + 1);
    while (!location.prefix.empty() && location.prefix.back() == '/') location.prefix.pop_back();
  }
  location.region = !options.s3Region.empty() ? options.s3Region
                    : environment("AWS_REGION")
                        ? *environment("AWS_REGION")
                        : environment("AWS_DEFAULT_REGION").value_or("us-east-1");
  std::optional<std::string> endpoint;
  if (!options.s3Endpoint.empty()) endpoint = options.s3Endpoint;
  if (!endpoint) endpoint = environment("AWS_ENDPOINT_URL_S3");
  if (!endpoint) endpoint = environment("AWS_ENDPOINT_URL");
  // AWS itself is addressed by bucket name in the host; other servers by path.
  location.virtualHosted = !endpoint;
  location.endpoint = endpoint.value_or("https://s3." + location.region + ".amazonaws.com");
  while (!location.endpoint.empty() && location.endpoint.back() == '/')
    location.endpoint.pop_back();
  AwsKeys keys = awsKeys();
  location.sessionToken = keys.sessionToken;
  hosts::HttpOptions http = transportOptions(options);
  if (!http.caFile) http.caFile = environment("AWS_CA_BUNDLE");
  http.user = std::move(keys.accessKey);
  http.password = std::move(keys.secretKey);
  return std::make_shared<hosts::ObjectStoreDelegate>(
      std::make_shared<hosts::S3Store>(std::move(location), std::move(http)), options.archiveSize,
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
  if (remote.rfind("s3://", 0) == 0) return s3(remote.substr(5), options, workFolder);
  return std::make_shared<hosts::LocalFolderDelegate>(
      *localRemoteFolder(options), options.archiveSize, std::nullopt, workFolder);
}

std::optional<std::string> localRemoteFolder(const CliOptions& options) {
  const std::string& remote = options.remote;
  if (remote.rfind("file://", 0) == 0) {
    const std::string folder = remote.substr(7);
    if (folder.empty() || folder.front() != '/') {
      throw CommandFailure(CommandError::unusableRemote,
                           "--remote file:// needs an absolute path, as in file:///backups");
    }
    return folder;
  }
  for (const char* scheme : {"dav://", "davs://", "s3://"}) {
    if (remote.rfind(scheme, 0) == 0) return std::nullopt;
  }
  if (remote.find("://") != std::string::npos) {
    throw CommandFailure(
        CommandError::unusableRemote,
        "--remote " + remote + ": use a folder, file:///path, dav://, davs:// or s3://");
  }
  return remoteFolder(options);
}

std::string remoteName(const CliOptions& options) {
  try {
    return localRemoteFolder(options).value_or(options.remote);
  } catch (const CommandFailure&) {
    return options.remote;
  }
}

void requireRemote(const CliOptions& options) {
  const std::optional<std::string> folder = localRemoteFolder(options);
  if (!folder) return;
  std::error_code error;
  if (std::filesystem::is_directory(*folder, error)) return;
  const std::string init =
      options.remote.empty() ? "'tessellon init'" : "'tessellon init --remote " + *folder + "'";
  if (std::filesystem::exists(*folder, error)) {
    throw CommandFailure(CommandError::remoteMissing,
                         "the remote " + *folder +
                             " is not a folder; pass the folder that holds "
                             "your backups with --remote");
  }
  throw CommandFailure(CommandError::remoteMissing,
                       "there is no remote at " + *folder +
                           ": if it is on a disk, mount it; if this is a new remote, create it "
                           "with " +
                           init);
}

}  // namespace tessellon::cli

namespace tessellon::cli {

std::optional<bool> remoteRootFound(tessellon::BackupSDKDelegate& remote, bool bucket) {
  std::promise<std::optional<tessellon::Error>> answer;
  remote.getDirectoryInfo(
      "", [&answer](const std::optional<tessellon::Directory>&,
                    std::optional<tessellon::Error> error) { answer.set_value(std::move(error)); });
  const std::optional<tessellon::Error> error = answer.get_future().get();
  if (!error) return true;
  // An S3 bucket's absence (NoSuchBucket): a prefix without objects below it is still a remote.
  if (error->domain == "HTTP" && error->code == 404) return false;
  if (!bucket && error->domain == "NSPOSIXErrorDomain" && error->code == ENOENT) return false;
  return std::nullopt;
}

bool isBucket(const CliOptions& options) { return options.remote.rfind("s3://", 0) == 0; }

void requireRemote(const CliOptions& options, tessellon::BackupSDKDelegate& remote) {
  if (localRemoteFolder(options) || remoteRootFound(remote, isBucket(options)) != false) return;
  throw CommandFailure(CommandError::remoteMissing,
                       "there is no remote at " + options.remote +
                           ": if this is a new remote, create it with 'tessellon init --remote " +
                           options.remote + "'");
}

}  // namespace tessellon::cli
