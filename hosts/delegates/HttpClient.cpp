#include "delegates/HttpClient.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>
#include <utility>
#include <vector>

#include <curl/curl.h>

#include "delegates/FileDescriptor.h"
#include "delegates/LocalFolderError.h"

namespace tessellon::hosts {

namespace {

void initializeCurlOnce() {
  static const bool initialized = [] {
    return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  }();
  (void)initialized;
}

bool retryableTransport(CURLcode code) {
  switch (code) {
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_SSL_CONNECT_ERROR:
      return true;
    default:
      return false;
  }
}

bool retryableStatus(long status) {
  return status == 408 || status == 429 || status == 500 || status == 502 || status == 503 ||
         status == 504;
}

// The state the callbacks of one attempt share.
constexpr size_t kDownloadBuffer = size_t{256} * 1024;

struct Exchange {
  const HttpRequest* request = nullptr;
  CURL* curl = nullptr;
  const std::atomic<bool>* stopped = nullptr;
  int in = -1;
  int64_t sent = 0;
  int64_t length = 0;
  int out = -1;
  int writeError = 0;
  HttpResponse* response = nullptr;
  std::vector<char> pending;  // the file's next bytes, written in one go
  bool cancelled = false;
  bool stoppedByConsumer = false;
  // The last fraction handed to the request's progress, and when.
  double reported = -1;
  std::chrono::steady_clock::time_point reportedAt{};
};

// libcurl asks for progress after every block it moves; a host needs a few reports a second, and
// each one costs the library a hop to its queue.
constexpr std::chrono::milliseconds kProgressInterval{50};

void report(Exchange& exchange, double fraction) {
  const auto now = std::chrono::steady_clock::now();
  if (fraction == exchange.reported) return;
  if (fraction < 1.0 && now - exchange.reportedAt < kProgressInterval) return;
  exchange.reported = fraction;
  exchange.reportedAt = now;
  exchange.request->progress(fraction);
}

size_t readBody(char* buffer, size_t size, size_t count, void* context) {
  auto* exchange = static_cast<Exchange*>(context);
  const int64_t want =
      std::min<int64_t>(static_cast<int64_t>(size * count), exchange->length - exchange->sent);
  if (want <= 0) return 0;
  for (;;) {
    const ssize_t got = ::pread(exchange->in, buffer, static_cast<size_t>(want),
                                exchange->request->uploadOffset + exchange->sent);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return CURL_READFUNC_ABORT;  // the file shrank or cannot be read
    exchange->sent += got;
    return static_cast<size_t>(got);
  }
}

int seekBody(void* context, curl_off_t offset, int origin) {
  auto* exchange = static_cast<Exchange*>(context);
  if (origin != SEEK_SET || offset < 0 || offset > exchange->length) return CURL_SEEKFUNC_FAIL;
  exchange->sent = offset;
  return CURL_SEEKFUNC_OK;
}

// Writes the bytes held back for the file; false (with writeError set) when that fails.
bool flushBody(Exchange& exchange) {
  const char* data = exchange.pending.data();
  size_t left = exchange.pending.size();
  while (left > 0) {
    const ssize_t written = ::write(exchange.out, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      exchange.writeError = errno;
      return false;
    }
    data += written;
    left -= static_cast<size_t>(written);
  }
  exchange.pending.clear();
  return true;
}

size_t writeBody(char* data, size_t size, size_t count, void* context) {
  auto* exchange = static_cast<Exchange*>(context);
  const size_t total = size * count;
  // Checked here too: over loopback a whole body can arrive before the progress callback runs.
  if ((exchange->request->cancelled && exchange->request->cancelled->load()) ||
      exchange->stopped->load()) {
    exchange->cancelled = true;
    return 0;
  }
  long status = 0;
  curl_easy_getinfo(exchange->curl, CURLINFO_RESPONSE_CODE, &status);
  const bool success = status >= 200 && status < 300;
  if (success && exchange->out < 0 && exchange->request->consume) {
    exchange->response->consumed = true;
    if (exchange->request->consume(data, total)) return total;
    exchange->stoppedByConsumer = true;
    return 0;
  }
  // Only a successful answer's body is the file; an error's explains itself in `body`.
  if (exchange->out < 0 || !success) {
    exchange->response->body.append(data, total);
    return total;
  }
  // A large block goes straight to the file: copying it aside first costs a pass over memory.
  if (exchange->pending.empty() && total >= kDownloadBuffer / 4) {
    const char* rest = data;
    size_t left = total;
    while (left > 0) {
      const ssize_t written = ::write(exchange->out, rest, left);
      if (written < 0) {
        if (errno == EINTR) continue;
        exchange->writeError = errno;
        return 0;
      }
      rest += written;
      left -= static_cast<size_t>(written);
    }
    return total;
  }
  // Small blocks are gathered, so a file takes fewer writes.
  if (exchange->pending.capacity() < kDownloadBuffer) exchange->pending.reserve(kDownloadBuffer);
  if (exchange->pending.size() + total > kDownloadBuffer && !flushBody(*exchange)) return 0;
  exchange->pending.insert(exchange->pending.end(), data, data + total);
  return total;
}

// The value of `line` when it is the header `name` ("etag:"), without blanks around it.
std::optional<std::string> headerValue(const std::string& line, const char* name) {
  const size_t length = std::strlen(name);
  if (line.size() <= length || strncasecmp(line.c_str(), name, length) != 0) return std::nullopt;
  std::string value = line.substr(length);
  value.erase(0, value.find_first_not_of(" \t"));
  while (!value.empty() && (value.back() == '\r' || value.back() == '\n' || value.back() == ' ')) {
    value.pop_back();
  }
  return value;
}

size_t readHeader(char* data, size_t size, size_t count, void* context) {
  auto* exchange = static_cast<Exchange*>(context);
  const size_t total = size * count;
  const std::string line(data, total);
  if (auto etag = headerValue(line, "etag:")) {
    exchange->response->etag = std::move(*etag);
  } else if (auto date = headerValue(line, "date:")) {
    exchange->response->date = std::move(*date);
  } else if (line.size() > 14 && strncasecmp(line.c_str(), "content-range:", 14) == 0) {
    const size_t slash = line.find('/');
    if (slash != std::string::npos && std::isdigit(static_cast<unsigned char>(line[slash + 1]))) {
      exchange->response->rangeTotal = std::strtoll(line.c_str() + slash + 1, nullptr, 10);
    }
  }
  return total;
}

int onProgress(void* context, curl_off_t downloadTotal, curl_off_t downloaded,
               curl_off_t uploadTotal, curl_off_t uploaded) {
  auto* exchange = static_cast<Exchange*>(context);
  const HttpRequest& request = *exchange->request;
  if ((request.cancelled && request.cancelled->load()) || exchange->stopped->load()) {
    exchange->cancelled = true;
    return 1;  // aborts the transfer at once
  }
  if (request.progress) {
    if (request.uploadPath && uploadTotal > 0) {
      report(*exchange, static_cast<double>(uploaded) / static_cast<double>(uploadTotal));
    } else if ((request.downloadPath || request.consume) && downloadTotal > 0) {
      report(*exchange, static_cast<double>(downloaded) / static_cast<double>(downloadTotal));
    }
  }
  return 0;
}

}  // namespace

struct HttpClient::Handle {
  CURL* curl = curl_easy_init();
  ~Handle() { curl_easy_cleanup(curl); }
};

HttpClient::HttpClient(HttpOptions options) : options_(std::move(options)) { initializeCurlOnce(); }

HttpClient::~HttpClient() = default;

void HttpClient::stop() { stopped_.store(true); }

std::unique_ptr<HttpClient::Handle> HttpClient::takeHandle() {
  {
    std::lock_guard lock(mutex_);
    if (!idle_.empty()) {
      auto handle = std::move(idle_.back());
      idle_.pop_back();
      return handle;
    }
  }
  return std::make_unique<Handle>();
}

void HttpClient::giveBack(std::unique_ptr<Handle> handle) {
  std::lock_guard lock(mutex_);
  idle_.push_back(std::move(handle));
}

HttpResponse HttpClient::perform(const HttpRequest& request) {
  const auto start = std::chrono::steady_clock::now();
  auto handle = takeHandle();
  HttpResponse response;
  for (int attempt = 0;; ++attempt) {
    response = this->attempt(*handle, request);
    const bool transient =
        !response.consumed &&
        (response.error ? response.error->domain == "CURLError" &&
                              retryableTransport(static_cast<CURLcode>(response.error->code))
                        : retryableStatus(response.status));
    if (!transient || attempt + 1 >= options_.retry.attempts ||
        std::chrono::steady_clock::now() - start >= options_.retry.budget) {
      break;
    }
    if (!waitBeforeRetry(attempt, request)) {
      response = HttpResponse{};
      response.error = transferCancelled();
      break;
    }
  }
  giveBack(std::move(handle));
  return response;
}

bool HttpClient::waitBeforeRetry(int attempt, const HttpRequest& request) {
  thread_local std::mt19937_64 random{std::random_device{}()};
  const auto ceiling = std::min<int64_t>(
      options_.retry.maxDelay.count(), options_.retry.firstDelay.count() << std::min(attempt, 20));
  const auto delay = std::chrono::milliseconds(
      std::uniform_int_distribution<int64_t>(ceiling / 2, std::max<int64_t>(ceiling, 1))(random));
  const auto until = std::chrono::steady_clock::now() + delay;
  // Short slices: a cancel must not wait for the back-off to end.
  while (std::chrono::steady_clock::now() < until) {
    if (stopped_.load() || (request.cancelled && request.cancelled->load())) return false;
    std::this_thread::sleep_for(std::min<std::chrono::nanoseconds>(
        std::chrono::milliseconds(20), until - std::chrono::steady_clock::now()));
  }
  return true;
}

HttpResponse HttpClient::attempt(Handle& handle, const HttpRequest& request) {
  HttpResponse response;
  CURL* const curl = handle.curl;
  curl_easy_reset(curl);
  Exchange exchange;
  exchange.request = &request;
  exchange.curl = curl;
  exchange.stopped = &stopped_;
  exchange.response = &response;
  if ((request.cancelled && request.cancelled->load()) || stopped_.load()) {
    response.error = transferCancelled();
    return response;
  }

  FileDescriptor in;
  if (request.uploadPath) {
    in = FileDescriptor(::open(request.uploadPath->c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (!in.valid() || ::fstat(in.get(), &info) != 0) {
      response.error = posixError(errno, "cannot read " + *request.uploadPath);
      return response;
    }
    exchange.in = in.get();
    exchange.length =
        request.uploadLength >= 0 ? request.uploadLength : info.st_size - request.uploadOffset;
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(exchange.length));
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, readBody);
    curl_easy_setopt(curl, CURLOPT_READDATA, &exchange);
    curl_easy_setopt(curl, CURLOPT_SEEKFUNCTION, seekBody);
    curl_easy_setopt(curl, CURLOPT_SEEKDATA, &exchange);
  } else if (request.body) {
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE,
                     static_cast<curl_off_t>(request.body->size()));
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body->data());
  }
  if (request.method == "HEAD") {
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
  } else if (request.method != (request.uploadPath ? "PUT" : request.body ? "POST" : "GET")) {
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, request.method.c_str());
  }

  FileDescriptor out;
  if (request.downloadPath) {
    out = request.downloadOffset >= 0
              ? FileDescriptor(::open(request.downloadPath->c_str(), O_WRONLY | O_CLOEXEC))
              : FileDescriptor(::open(request.downloadPath->c_str(),
                                      O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (out.valid() && request.downloadOffset >= 0 &&
        ::lseek(out.get(), request.downloadOffset, SEEK_SET) < 0) {
      out = FileDescriptor();
    }
    if (!out.valid()) {
      response.error = posixError(errno, "cannot write " + *request.downloadPath);
      return response;
    }
    exchange.out = out.get();
  }

  curl_slist* headers = nullptr;
  // No wait for "100 Continue": on a fast network that wait costs more than it could save. A
  // signed request keeps the header (libcurl would sign the empty one that removes it) and sends
  // its body at once.
  if (options_.awsSigV4) {
    curl_easy_setopt(curl, CURLOPT_EXPECT_100_TIMEOUT_MS, 0L);
  } else {
    headers = curl_slist_append(headers, "Expect:");
  }
  for (const std::string& header : request.headers)
    headers = curl_slist_append(headers, header.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str());
  // Larger reads than libcurl's 16 KiB: a download then costs a sixteenth of the system calls.
  if (request.downloadPath || request.consume) {
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, static_cast<long>(kDownloadBuffer));
  }
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writeBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &exchange);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, readHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &exchange);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, onProgress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &exchange);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT,
                   static_cast<long>(options_.connectTimeout.count()));
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(options_.stallTimeout.count()));
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  if (options_.user) {
    curl_easy_setopt(curl, CURLOPT_USERNAME, options_.user->c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, options_.password ? options_.password->c_str() : "");
    if (options_.awsSigV4) {
      curl_easy_setopt(curl, CURLOPT_AWS_SIGV4, options_.awsSigV4->c_str());
    } else {
      curl_easy_setopt(curl, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
    }
  } else if (options_.netrc) {
    curl_easy_setopt(curl, CURLOPT_NETRC, static_cast<long>(CURL_NETRC_OPTIONAL));
  }
  if (options_.caFile) curl_easy_setopt(curl, CURLOPT_CAINFO, options_.caFile->c_str());
  if (options_.insecure) {
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
  }
  char message[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, message);

  const CURLcode code = curl_easy_perform(curl);
  if (exchange.out >= 0 && !exchange.pending.empty()) (void)flushBody(exchange);
  curl_slist_free_all(headers);
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &response.status);
  // The options point into this frame; the pooled handle must not keep them.
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
  if (exchange.stoppedByConsumer) {
    // The consumer has what it wanted.
  } else if (exchange.cancelled) {
    response.error = transferCancelled();
  } else if (exchange.writeError != 0) {
    response.error = posixError(exchange.writeError, "cannot write " + *request.downloadPath);
  } else if (code != CURLE_OK) {
    std::string why = message[0] != '\0' ? message : curl_easy_strerror(code);
    if (code == CURLE_PEER_FAILED_VERIFICATION) {
      why = "TLS: the server's certificate is not trusted (" + why +
            "); name the CA that signed it with --ca-file";
    } else if (code == CURLE_SSL_CACERT_BADFILE) {
      why = "TLS: the CA file cannot be used (" + why + ")";
    } else if (code == CURLE_SSL_CONNECT_ERROR) {
      why = "TLS: the handshake failed (" + why + ")";
    }
    response.error =
        Error{"CURLError", static_cast<int>(code), request.method + " " + request.url + ": " + why};
  } else if (request.progress && response.status >= 200 && response.status < 300) {
    request.progress(1.0);
  }
  if (out.valid() && !response.error) {
    if (const int closed = out.close()) {
      response.error = posixError(closed, "cannot write " + *request.downloadPath);
    }
  }
  return response;
}

Error httpStatusError(long status, const std::string& what) {
  std::string why;
  if (status == 401) {
    why = "the remote refused the credentials (401): check the user and password";
  } else if (status == 403) {
    why = "the remote denied access (403): check the credentials and their rights";
  } else if (status == 507) {
    why = "the remote is full (507)";
  } else {
    why = "the remote answered " + std::to_string(status);
  }
  return Error{"HTTP", static_cast<int>(status), what + ": " + why};
}

std::string percentEncode(const std::string& text, bool keepSlash) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (const unsigned char c : text) {
    if (std::isalnum(c) != 0 || c == '-' || c == '.' || c == '_' || c == '~' ||
        (keepSlash && c == '/')) {
      encoded += static_cast<char>(c);
    } else {
      encoded += '%';
      encoded += kHex[c >> 4];
      encoded += kHex[c & 15];
    }
  }
  return encoded;
}

}  // namespace tessellon::hosts
