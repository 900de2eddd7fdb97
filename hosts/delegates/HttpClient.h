#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tessellon/Error.h"

namespace tessellon::hosts {

// How often and how long a failed request is tried again: after timeouts, dropped connections
// and answers 408, 429, 500, 502, 503 and 504. The n-th wait is a random time up to
// min(maxDelay, firstDelay * 2^n); no attempt starts once `budget` has passed.
struct RetryPolicy {
  int attempts = 6;
  std::chrono::milliseconds firstDelay{200};
  std::chrono::milliseconds maxDelay{10000};
  std::chrono::milliseconds budget{120000};
};

// Where the client connects and how it proves who it is. Credentials live only here and in
// libcurl's handles; they are never put in a URL, a message or a log line.
struct HttpOptions {
  std::optional<std::string> user;
  std::optional<std::string> password;
  // Looks the host up in ~/.netrc when no user is given.
  bool netrc = false;
  // "aws:amz:<region>:s3": requests are signed with AWS Signature Version 4 by libcurl, with
  // `user` as the access key and `password` as the secret.
  std::optional<std::string> awsSigV4;
  std::optional<std::string> caFile;
  // Skips TLS verification; only ever the user's explicit choice.
  bool insecure = false;
  RetryPolicy retry;
  std::chrono::seconds connectTimeout{15};
  // A transfer that moves less than one byte a second for this long has stalled.
  std::chrono::seconds stallTimeout{60};
};

struct HttpRequest {
  std::string method = "GET";
  std::string url;
  std::vector<std::string> headers;
  // A small request body held in memory (listings, multipart lists); ignored with uploadPath.
  std::optional<std::string> body;
  // A request body streamed from this file: `uploadLength` bytes from `uploadOffset` (-1: to
  // the end).
  std::optional<std::string> uploadPath;
  int64_t uploadOffset = 0;
  int64_t uploadLength = -1;
  // A successful answer's body streamed into this file (created or truncated), not into `body`.
  std::optional<std::string> downloadPath;
  // With downloadPath: the body is written from this offset of the existing file, which is
  // neither created nor truncated (one range of a download in parts).
  int64_t downloadOffset = -1;
  // A successful answer's body handed to this consumer, in order, instead of `body` (ignored with
  // downloadPath); false stops the transfer, which then ends without an error. Once a byte has
  // been handed over, a failure is not retried: the consumer would see bytes twice.
  std::function<bool(const char* data, size_t size)> consume;
  const std::atomic<bool>* cancelled = nullptr;
  std::function<void(double fraction)> progress;
};

struct HttpResponse {
  long status = 0;
  // The answer's body, unless it went to the request's downloadPath.
  std::string body;
  // The ETag header, quotes included.
  std::string etag;
  // The Date header: the server's clock, as it wrote it.
  std::string date;
  // The whole object's size from a Content-Range header ("bytes 0-99/1234"), or -1.
  int64_t rangeTotal = -1;
  // A transport failure or cancellation; then `status` is meaningless.
  std::optional<Error> error;
  // Whether the request's consumer received any byte.
  bool consumed = false;
};

// Runs HTTP requests over libcurl with retries. Finished handles go back to a pool, so later
// requests reuse their connections. Thread-safe: requests may run on several threads at once.
// `stop()` aborts every running transfer and every wait between attempts.
class HttpClient {
 public:
  explicit HttpClient(HttpOptions options);
  ~HttpClient();

  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  HttpResponse perform(const HttpRequest& request);
  void stop();

  const HttpOptions& options() const { return options_; }

 private:
  struct Handle;
  HttpResponse attempt(Handle& handle, const HttpRequest& request);
  std::unique_ptr<Handle> takeHandle();
  void giveBack(std::unique_ptr<Handle> handle);
  bool waitBeforeRetry(int attempt, const HttpRequest& request);

  const HttpOptions options_;
  std::atomic<bool> stopped_{false};
  std::mutex mutex_;
  std::vector<std::unique_ptr<Handle>> idle_;
};

// An HTTP status as an error: 507 says the remote is full, 401/403 that the credentials were
// refused. Domain "HTTP", the status as the code.
Error httpStatusError(long status, const std::string& what);

// Percent-encodes `text` for a URL: unreserved characters stay as they are, and "/" too when
// `keepSlash` (a path), every other byte becomes "%XX".
std::string percentEncode(const std::string& text, bool keepSlash);

}  // namespace tessellon::hosts
