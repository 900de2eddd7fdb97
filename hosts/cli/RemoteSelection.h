#pragma once

#include <memory>
#include <optional>
#include <string>

#include "tessellon/BackupSDKDelegate.h"

#include "cli/CliOptions.h"

namespace tessellon::cli {

// The delegate for --remote: a folder or "file:///path" (the folder remote), "dav://host[:port]/
// path" (WebDAV over HTTP), "davs://host[:port]/path" (over HTTPS) or "s3://bucket[/prefix]".
// Credentials come from the environment or the user's files, never from the URL: WebDAV reads
// TESSELLON_WEBDAV_USER and TESSELLON_WEBDAV_PASSWORD, else ~/.netrc; S3 reads the AWS_*
// variables, else the AWS_PROFILE section of ~/.aws/credentials. `workFolder` receives the
// downloads and the archives a network remote keeps local. Throws std::runtime_error with a
// message for the user when the remote cannot be used.
std::shared_ptr<tessellon::BackupSDKDelegate> openRemote(const CliOptions& options,
                                                         const std::string& workFolder);

// The folder of a folder remote (a path, a file:// URL or the default); nothing for a network
// remote.
std::optional<std::string> localRemoteFolder(const CliOptions& options);

// The remote as the user knows it: the folder's path, or the URL as given.
std::string remoteName(const CliOptions& options);

// Throws CommandFailure (remoteMissing) when the folder remote is not there, so that a mistyped
// path or an unmounted disk never becomes a new remote on the system disk.
void requireRemote(const CliOptions& options);
// As requireRemote, for a network remote: its root folder (a WebDAV collection, an S3 bucket) must
// be there. A remote that cannot tell passes: the verb then reports what the remote answers.
void requireRemote(const CliOptions& options, tessellon::BackupSDKDelegate& remote);

// Whether the remote's root folder is there; nothing when the remote could not tell. Below an S3
// bucket (`bucket`), only the bucket needs to be there.
std::optional<bool> remoteRootFound(tessellon::BackupSDKDelegate& remote, bool bucket);
// Whether --remote is an S3 bucket.
bool isBucket(const CliOptions& options);

}  // namespace tessellon::cli
