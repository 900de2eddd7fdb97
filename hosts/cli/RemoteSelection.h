#pragma once

#include <memory>
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

}  // namespace tessellon::cli
