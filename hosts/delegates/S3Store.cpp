#include "delegates/S3Store.h"

#include <sys/stat.h>
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdio>
#include <ctime>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

#include <openssl/evp.h>
#include <pugixml.hpp>

#include "delegates/LocalFolderError.h"

namespace tessellon::hosts {

namespace {

constexpr size_t kDeleteBatch = 1000;

// Parameters sorted by name, as the signature's canonical form wants them.
std::string queryOf(const std::map<std::string, std::string>& parameters) {
  std::string query;
  for (const auto& [name, value] : parameters) {
    query +=
        (query.empty() ? "" : "&") + percentEncode(name, false) + "=" + percentEncode(value, false);
  }
  return query;
}

std::string xmlEscaped(const std::string& text) {
  std::string escaped;
  for (const char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      case '\'':
        escaped += "&apos;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

std::string base64Md5(const std::string& data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(data.data(), data.size(), digest, &length, EVP_md5(), nullptr);
  unsigned char encoded[64];
  const int size = EVP_EncodeBlock(encoded, digest, static_cast<int>(length));
  return std::string(reinterpret_cast<char*>(encoded), static_cast<size_t>(size));
}

bool succeeded(long status) { return status >= 200 && status < 300; }

// The HTTP status as an error, with S3's own code from the body ("SignatureDoesNotMatch").
Error s3Error(const HttpResponse& response, const std::string& what) {
  Error error = httpStatusError(response.status, what);
  const size_t start = response.body.find("<Code>");
  const size_t end = response.body.find("</Code>");
  if (start != std::string::npos && end != std::string::npos && end > start) {
    error.message += " (" + response.body.substr(start + 6, end - start - 6) + ")";
  }
  return error;
}

// S3 may answer 200 and still report an error in the body.
std::optional<Error> bodyError(const HttpResponse& response, const std::string& what) {
  if (response.error) return response.error;
  if (!succeeded(response.status)) return s3Error(response, what);
  if (response.body.find("<Error>") != std::string::npos) {
    return Error{"S3", static_cast<int>(response.status), what + ": " + response.body};
  }
  return std::nullopt;
}

std::string parentOf(const std::string& key) {
  const size_t slash = key.rfind('/');
  return slash == std::string::npos ? std::string() : key.substr(0, slash);
}

constexpr int64_t kMaxParts = 10000;

// "2026-12-07T01:23:45.000Z" as seconds since 1970.
std::optional<int64_t> parseIsoTime(const std::string& text) {
  std::tm parts{};
  if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d", &parts.tm_year, &parts.tm_mon,
                  &parts.tm_mday, &parts.tm_hour, &parts.tm_min, &parts.tm_sec) != 6) {
    return std::nullopt;
  }
  parts.tm_year -= 1900;
  parts.tm_mon -= 1;
  return static_cast<int64_t>(::timegm(&parts));
}

bool isCancellation(const Error& error) {
  const Error cancelled = transferCancelled();
  return error.domain == cancelled.domain && error.code == cancelled.code;
}

// The progress of an upload in parts, reported as one fraction that never goes back (a retried
// part starts again from zero).
struct PartProgress {
  const std::function<void(double)>& report;
  int64_t size;
  std::vector<int64_t> sent;
  std::mutex mutex;
  double reported = 0;

  PartProgress(const std::function<void(double)>& hook, int64_t total, size_t parts)
      : report(hook), size(total), sent(parts, 0) {}

  void update(size_t part, int64_t bytes) {
    std::lock_guard lock(mutex);
    sent[part] = std::max(sent[part], bytes);
    int64_t total = 0;
    for (const int64_t each : sent) total += each;
    const double fraction = static_cast<double>(total) / static_cast<double>(size);
    if (fraction <= reported) return;
    reported = fraction;
    report(fraction);
  }
};

}  // namespace

struct S3Store::Listing {
  std::vector<std::pair<std::string, int64_t>> objects;
  std::vector<std::string> prefixes;
  std::string nextToken;
};

S3Store::S3Store(Location location, HttpOptions options, int64_t partSize,
                 int64_t multipartThreshold)
    : location_(std::move(location)),
      partSize_(partSize),
      multipartThreshold_(multipartThreshold),
      client_([&] {
        options.awsSigV4 = "aws:amz:" + location_.region + ":s3";
        options.netrc = false;
        return std::move(options);
      }()) {}

std::string S3Store::objectKey(const std::string& key) const {
  if (location_.prefix.empty()) return key;
  return key.empty() ? location_.prefix : location_.prefix + "/" + key;
}

HttpRequest S3Store::request(const std::string& method, const std::string& key,
                             const std::string& query) const {
  HttpRequest request;
  request.method = method;
  std::string base = location_.endpoint;
  if (location_.virtualHosted) {
    const size_t host = base.find("://");
    base.insert(host == std::string::npos ? 0 : host + 3, location_.bucket + ".");
  } else {
    base += "/" + location_.bucket;
  }
  request.url = base + (key.empty() ? "" : "/" + percentEncode(key, true)) +
                (query.empty() ? "" : "?" + query);
  // The body is not hashed: TLS protects it on the way, and large files are streamed.
  request.headers = {"x-amz-content-sha256: UNSIGNED-PAYLOAD"};
  if (location_.sessionToken) {
    request.headers.push_back("x-amz-security-token: " + *location_.sessionToken);
  }
  return request;
}

std::optional<Error> S3Store::makeBucket(StoreAnswer& answer) {
  HttpRequest put = request("PUT", "");
  put.body = "";
  HttpResponse response = client_.perform(put);
  if (response.error) return response.error;
  if (response.status == 409 &&
      response.body.find("BucketAlreadyOwnedByYou") != std::string::npos) {
    answer = StoreAnswer::exists;
    return std::nullopt;
  }
  if (!succeeded(response.status)) return s3Error(response, "creating the bucket");
  answer = StoreAnswer::done;
  return std::nullopt;
}

std::optional<Error> S3Store::exists(const std::string& key, bool& found) {
  HttpResponse response = client_.perform(request("HEAD", key));
  if (response.error) return response.error;
  if (response.status == 404) {
    found = false;
    return std::nullopt;
  }
  if (!succeeded(response.status)) return s3Error(response, "HEAD " + key);
  found = true;
  return std::nullopt;
}

std::optional<Error> S3Store::folderExists(const std::string& key, bool& found) {
  const std::string folder = objectKey(key);
  if (folder.empty()) {
    found = true;
    return std::nullopt;
  }
  if (auto error = exists(folder + "/", found); error || found) return error;
  Listing page;
  if (auto error = listPage(folder + "/", false, 1, "", page)) return error;
  found = !page.objects.empty();
  return std::nullopt;
}

std::optional<Error> S3Store::listPage(const std::string& prefix, bool delimited, int maxKeys,
                                       const std::string& token, Listing& page) {
  std::map<std::string, std::string> parameters{{"list-type", "2"}, {"prefix", prefix}};
  if (delimited) parameters["delimiter"] = "/";
  if (maxKeys > 0) parameters["max-keys"] = std::to_string(maxKeys);
  if (!token.empty()) parameters["continuation-token"] = token;
  HttpResponse response = client_.perform(request("GET", "", queryOf(parameters)));
  if (auto error = bodyError(response, "listing " + prefix)) return error;
  pugi::xml_document document;
  if (!document.load_buffer(response.body.data(), response.body.size())) {
    return Error{"S3", static_cast<int>(response.status), "listing " + prefix + ": not XML"};
  }
  const pugi::xml_node result = document.child("ListBucketResult");
  for (pugi::xml_node object : result.children("Contents")) {
    page.objects.emplace_back(object.child_value("Key"), object.child("Size").text().as_llong());
  }
  for (pugi::xml_node common : result.children("CommonPrefixes")) {
    page.prefixes.emplace_back(common.child_value("Prefix"));
  }
  page.nextToken = result.child("IsTruncated").text().as_bool()
                       ? result.child_value("NextContinuationToken")
                       : "";
  return std::nullopt;
}

std::optional<Error> S3Store::putFile(const std::string& localPath, const std::string& key,
                                      const TransferHooks& hooks) {
  struct stat info {};
  if (::stat(localPath.c_str(), &info) != 0) return posixError(errno, "cannot read " + localPath);
  return putFileRange(localPath, 0, info.st_size, key, hooks);
}

std::optional<Error> S3Store::putFileRange(const std::string& localPath, int64_t offset,
                                           int64_t length, const std::string& key,
                                           const TransferHooks& hooks) {
  if (length < 0) return putFile(localPath, key, hooks);
  if (length > multipartThreshold_) return putMultipart(localPath, offset, key, length, hooks);
  HttpRequest put = request("PUT", objectKey(key));
  put.uploadPath = localPath;
  put.uploadOffset = offset;
  put.uploadLength = length;
  put.cancelled = hooks.cancelled;
  put.progress = hooks.progress;
  HttpResponse response = client_.perform(put);
  if (response.error) return response.error;
  if (!succeeded(response.status)) return s3Error(response, "PUT " + key);
  return std::nullopt;
}

std::optional<Error> S3Store::putMultipart(const std::string& localPath, int64_t base,
                                           const std::string& key, int64_t size,
                                           const TransferHooks& hooks) {
  const std::string object = objectKey(key);
  HttpRequest start = request("POST", object, "uploads=");
  start.body = "";
  HttpResponse started = client_.perform(start);
  if (auto error = bodyError(started, "starting the upload of " + key)) return error;
  pugi::xml_document document;
  document.load_buffer(started.body.data(), started.body.size());
  const std::string uploadId =
      document.child("InitiateMultipartUploadResult").child_value("UploadId");
  if (uploadId.empty()) return Error{"S3", 0, "no upload id for " + key};

  const int64_t partSize = std::max(partSize_, (size + kMaxParts - 1) / kMaxParts);
  const int64_t count = (size + partSize - 1) / partSize;
  PartProgress progress(hooks.progress, size, static_cast<size_t>(count));
  std::vector<std::string> etags(static_cast<size_t>(count));
  std::atomic<int64_t> next{0};
  std::mutex failureMutex;
  std::optional<Error> failure;
  // Parts go up side by side: one stream alone leaves most of a fast link idle.
  auto uploadParts = [&] {
    for (int64_t index; (index = next++) < count;) {
      {
        std::lock_guard lock(failureMutex);
        if (failure) return;
      }
      const int64_t offset = index * partSize;
      const int64_t length = std::min(partSize, size - offset);
      HttpRequest part =
          request("PUT", object,
                  queryOf({{"partNumber", std::to_string(index + 1)}, {"uploadId", uploadId}}));
      part.uploadPath = localPath;
      part.uploadOffset = base + offset;
      part.uploadLength = length;
      part.cancelled = hooks.cancelled;
      if (hooks.progress) {
        part.progress = [&progress, index, length](double fraction) {
          progress.update(static_cast<size_t>(index),
                          static_cast<int64_t>(fraction * static_cast<double>(length)));
        };
      }
      HttpResponse response = client_.perform(part);
      std::optional<Error> error =
          bodyError(response, "uploading part " + std::to_string(index + 1) + " of " + key);
      std::lock_guard lock(failureMutex);
      if (error) {
        // A cancellation wins: the caller asked for it, the other parts fail because of it.
        if (!failure || isCancellation(*error)) failure = std::move(error);
        return;
      }
      etags[static_cast<size_t>(index)] = response.etag;
    }
  };
  std::vector<std::thread> helpers;
  for (int i = 1; i < std::min<int64_t>(kPartsAtOnce, count); ++i)
    helpers.emplace_back(uploadParts);
  uploadParts();
  for (std::thread& helper : helpers) helper.join();
  std::string parts;
  for (size_t i = 0; i < etags.size(); ++i) {
    parts += "<Part><PartNumber>" + std::to_string(i + 1) + "</PartNumber><ETag>" +
             xmlEscaped(etags[i]) + "</ETag></Part>";
  }
  if (!failure) {
    HttpRequest complete = request("POST", object, queryOf({{"uploadId", uploadId}}));
    complete.body = "<CompleteMultipartUpload>" + parts + "</CompleteMultipartUpload>";
    complete.headers.push_back("Content-Type: application/xml");
    failure = bodyError(client_.perform(complete), "completing the upload of " + key);
  }
  if (failure) {
    // Parts of an unfinished upload take space until they are dropped.
    (void)client_.perform(request("DELETE", object, queryOf({{"uploadId", uploadId}})));
  }
  return failure;
}

std::optional<Error> S3Store::putFileIfAbsent(const std::string& localPath, const std::string& key,
                                              StoreAnswer& answer) {
  bool found = false;
  if (auto error = folderExists(parentOf(key), found)) return error;
  if (!found) return posixError(ENOENT, "no folder for " + key);
  if (auto error = folderExists(key, found)) return error;
  if (found) {
    answer = StoreAnswer::exists;
    return std::nullopt;
  }
  if (conditionUnknown_.load()) {
    if (auto error = exists(objectKey(key), found)) return error;
    if (found) {
      answer = StoreAnswer::exists;
      return std::nullopt;
    }
  }
  HttpRequest put = request("PUT", objectKey(key));
  put.uploadPath = localPath;
  if (!conditionUnknown_.load()) put.headers.push_back("If-None-Match: *");
  HttpResponse response = client_.perform(put);
  if (response.error) return response.error;
  if (response.status == 412) {
    answer = StoreAnswer::exists;
    return std::nullopt;
  }
  if (response.status == 501) {
    conditionUnknown_.store(true);
    return putFileIfAbsent(localPath, key, answer);
  }
  if (!succeeded(response.status)) return s3Error(response, "PUT " + key);
  answer = StoreAnswer::done;
  return std::nullopt;
}

// The first range tells the object's size; a large object's other ranges then come side by
// side, each written at its place in the file, and each asks for the version the first one saw.
std::optional<Error> S3Store::getFile(const std::string& key, const std::string& localPath,
                                      const TransferHooks& hooks, StoreAnswer& answer) {
  HttpRequest get = request("GET", objectKey(key));
  get.downloadPath = localPath;
  get.cancelled = hooks.cancelled;
  get.headers.push_back("Range: bytes=0-" + std::to_string(partSize_ - 1));
  HttpResponse response = client_.perform(get);
  if (response.error) return response.error;
  if (response.status == 404) {
    answer = StoreAnswer::missing;
    return std::nullopt;
  }
  if (response.status == 416) {
    // An empty object has no first byte to ask for.
    get.headers.pop_back();
    response = client_.perform(get);
    if (response.error) return response.error;
  }
  if (!succeeded(response.status)) return s3Error(response, "GET " + key);
  answer = StoreAnswer::done;
  const int64_t size = response.rangeTotal;
  if (response.status != 206 || size <= partSize_) {
    if (hooks.progress) hooks.progress(1.0);
    return std::nullopt;
  }
  const int64_t count = (size + partSize_ - 1) / partSize_;
  PartProgress progress(hooks.progress, size, static_cast<size_t>(count));
  if (hooks.progress) progress.update(0, partSize_);
  std::atomic<int64_t> next{1};
  std::mutex failureMutex;
  std::optional<Error> failure;
  auto fetchRanges = [&] {
    for (int64_t index; (index = next++) < count;) {
      {
        std::lock_guard lock(failureMutex);
        if (failure) return;
      }
      const int64_t offset = index * partSize_;
      const int64_t last = std::min(size, offset + partSize_) - 1;
      HttpRequest range = request("GET", objectKey(key));
      range.downloadPath = localPath;
      range.downloadOffset = offset;
      range.cancelled = hooks.cancelled;
      range.headers.push_back("Range: bytes=" + std::to_string(offset) + "-" +
                              std::to_string(last));
      if (!response.etag.empty()) range.headers.push_back("If-Match: " + response.etag);
      if (hooks.progress) {
        range.progress = [&progress, index, length = last - offset + 1](double fraction) {
          progress.update(static_cast<size_t>(index),
                          static_cast<int64_t>(fraction * static_cast<double>(length)));
        };
      }
      HttpResponse part = client_.perform(range);
      std::optional<Error> error = part.error;
      if (!error && part.status != 206) error = s3Error(part, "GET " + key);
      if (error) {
        std::lock_guard lock(failureMutex);
        if (!failure || isCancellation(*error)) failure = std::move(error);
        return;
      }
    }
  };
  std::vector<std::thread> helpers;
  for (int i = 1; i < std::min<int64_t>(kPartsAtOnce, count - 1); ++i) {
    helpers.emplace_back(fetchRanges);
  }
  fetchRanges();
  for (std::thread& helper : helpers) helper.join();
  return failure;
}

std::optional<Error> S3Store::readFile(const std::string& key,
                                       const std::function<bool(const char*, size_t)>& consume,
                                       const TransferHooks& hooks, StoreAnswer& answer) {
  HttpRequest get = request("GET", objectKey(key));
  get.consume = consume;
  get.cancelled = hooks.cancelled;
  get.progress = hooks.progress;
  HttpResponse response = client_.perform(get);
  if (response.error) return response.error;
  if (response.status == 404) {
    answer = StoreAnswer::missing;
    return std::nullopt;
  }
  if (!succeeded(response.status)) return s3Error(response, "GET " + key);
  answer = StoreAnswer::done;
  return std::nullopt;
}

void S3Store::removeStaleUploads(const std::string& key) {
  (void)abortUploadsIdleFor(key, kStaleUploadAge);
}

// Age rather than "every upload at the start of a run": this is called before the run holds its
// device lock, another host may be uploading to the same device folder meanwhile, and an upload
// of a large file outlives any fixed time since its start, so only the newest part's age proves
// that nobody writes it any more. Both clocks are compared, so a skew of minutes only delays
// the clean-up or, past kStaleUploadAge, could abort an upload that then fails and is retried
// by its next run.
size_t S3Store::abortUploadsIdleFor(const std::string& key, std::chrono::seconds age) {
  const std::string folder = objectKey(key);
  const std::string prefix = folder.empty() ? "" : folder + "/";
  const int64_t now = static_cast<int64_t>(std::time(nullptr));
  size_t aborted = 0;
  std::string keyMarker;
  std::string uploadMarker;
  for (;;) {
    std::map<std::string, std::string> parameters{{"uploads", ""}, {"prefix", prefix}};
    if (!keyMarker.empty()) parameters["key-marker"] = keyMarker;
    if (!uploadMarker.empty()) parameters["upload-id-marker"] = uploadMarker;
    HttpResponse response = client_.perform(request("GET", "", queryOf(parameters)));
    pugi::xml_document document;
    if (bodyError(response, "listing uploads") ||
        !document.load_buffer(response.body.data(), response.body.size())) {
      return aborted;  // best effort: the next run tries again
    }
    const pugi::xml_node result = document.child("ListMultipartUploadsResult");
    for (pugi::xml_node upload : result.children("Upload")) {
      const std::string object = upload.child_value("Key");
      const std::string id = upload.child_value("UploadId");
      const std::optional<int64_t> initiated = parseIsoTime(upload.child_value("Initiated"));
      if (object.empty() || id.empty() || !initiated) continue;
      const std::optional<int64_t> changed = lastChangeOf(object, id, *initiated);
      if (!changed || now - *changed < age.count()) continue;
      HttpResponse dropped =
          client_.perform(request("DELETE", object, queryOf({{"uploadId", id}})));
      if (!dropped.error && (succeeded(dropped.status) || dropped.status == 404)) ++aborted;
    }
    if (!result.child("IsTruncated").text().as_bool()) return aborted;
    keyMarker = result.child_value("NextKeyMarker");
    uploadMarker = result.child_value("NextUploadIdMarker");
    if (keyMarker.empty() && uploadMarker.empty()) return aborted;
  }
}

std::optional<int64_t> S3Store::lastChangeOf(const std::string& object, const std::string& uploadId,
                                             int64_t initiated) {
  int64_t newest = initiated;
  std::string marker;
  for (;;) {
    std::map<std::string, std::string> parameters{{"uploadId", uploadId}};
    if (!marker.empty()) parameters["part-number-marker"] = marker;
    HttpResponse response = client_.perform(request("GET", object, queryOf(parameters)));
    if (response.status == 404) return std::nullopt;  // completed or aborted meanwhile
    pugi::xml_document document;
    if (bodyError(response, "listing parts") ||
        !document.load_buffer(response.body.data(), response.body.size())) {
      return std::nullopt;
    }
    const pugi::xml_node result = document.child("ListPartsResult");
    for (pugi::xml_node part : result.children("Part")) {
      if (const auto modified = parseIsoTime(part.child_value("LastModified"))) {
        newest = std::max(newest, *modified);
      }
    }
    if (!result.child("IsTruncated").text().as_bool()) return newest;
    marker = result.child_value("NextPartNumberMarker");
    if (marker.empty()) return newest;
  }
}

std::optional<Error> S3Store::makeFolder(const std::string& key, StoreAnswer& answer) {
  if (objectKey(key).empty()) {
    answer = StoreAnswer::exists;
    return std::nullopt;
  }
  const std::string marker = objectKey(key) + "/";
  {
    std::lock_guard lock(foldersMutex_);
    if (knownFolders_.count(marker) != 0) {
      answer = StoreAnswer::exists;
      return std::nullopt;
    }
  }
  auto known = [this, &marker] {
    std::lock_guard lock(foldersMutex_);
    knownFolders_.insert(marker);
  };
  // Markers for the parents too: listing them must find a folder.
  StoreAnswer parent = StoreAnswer::done;
  if (!parentOf(key).empty()) {
    if (auto error = makeFolder(parentOf(key), parent)) return error;
  }
  bool found = false;
  if (conditionUnknown_.load()) {
    if (auto error = exists(marker, found)) return error;
    if (found) {
      known();
      answer = StoreAnswer::exists;
      return std::nullopt;
    }
  }
  HttpRequest put = request("PUT", marker);
  put.body = "";
  if (!conditionUnknown_.load()) put.headers.push_back("If-None-Match: *");
  HttpResponse response = client_.perform(put);
  if (response.error) return response.error;
  if (response.status == 412) {
    known();
    answer = StoreAnswer::exists;
    return std::nullopt;
  }
  if (response.status == 501) {
    conditionUnknown_.store(true);
    return makeFolder(key, answer);
  }
  if (!succeeded(response.status)) return s3Error(response, "PUT " + marker);
  known();
  answer = StoreAnswer::done;
  return std::nullopt;
}

std::optional<Error> S3Store::deleteBatch(const std::vector<std::string>& keys) {
  std::string body = "<Delete><Quiet>true</Quiet>";
  for (const std::string& key : keys) body += "<Object><Key>" + xmlEscaped(key) + "</Key></Object>";
  body += "</Delete>";
  HttpRequest post = request("POST", "", "delete=");
  post.headers.push_back("Content-MD5: " + base64Md5(body));
  post.headers.push_back("Content-Type: application/xml");
  post.body = std::move(body);
  return bodyError(client_.perform(post), "deleting " + std::to_string(keys.size()) + " objects");
}

void S3Store::forgetFolders(const std::string& object) {
  std::lock_guard lock(foldersMutex_);
  if (object.empty()) {
    knownFolders_.clear();
  } else {
    // Every marker from "<object>/" up to "<object>0", '0' being the character after '/'.
    knownFolders_.erase(knownFolders_.lower_bound(object + "/"),
                        knownFolders_.lower_bound(object + "0"));
  }
}

std::optional<Error> S3Store::remove(const std::string& key, StoreAnswer& answer) {
  const std::string object = objectKey(key);
  // Forgotten before the deletion: a removal that fails halfway may have taken any of them.
  forgetFolders(object);
  bool file = false;
  if (auto error = exists(object, file)) return error;
  if (file) {
    HttpResponse response = client_.perform(request("DELETE", object));
    if (response.error) return response.error;
    if (!succeeded(response.status)) return s3Error(response, "DELETE " + key);
  }
  // A folder: everything under "<key>/", its marker included, a thousand at a time.
  std::vector<std::string> batch;
  bool any = false;
  std::string token;
  do {
    Listing page;
    if (auto error = listPage(object + "/", false, 0, token, page)) return error;
    for (auto& [name, size] : page.objects) {
      batch.push_back(std::move(name));
      any = true;
      if (batch.size() == kDeleteBatch) {
        if (auto error = deleteBatch(batch)) return error;
        batch.clear();
      }
    }
    token = page.nextToken;
  } while (!token.empty());
  if (!batch.empty()) {
    if (auto error = deleteBatch(batch)) return error;
  }
  answer = file || any ? StoreAnswer::done : StoreAnswer::missing;
  return std::nullopt;
}

std::optional<Error> S3Store::checkTarget(const std::string& to, StoreAnswer& answer) {
  bool found = false;
  if (auto error = folderExists(parentOf(to), found)) return error;
  if (!found) return posixError(ENOENT, "no folder for " + to);
  if (auto error = exists(objectKey(to), found)) return error;
  if (!found) {
    if (auto error = folderExists(to, found)) return error;
  }
  answer = found ? StoreAnswer::exists : StoreAnswer::done;
  return std::nullopt;
}

std::optional<Error> S3Store::copyObject(const std::string& source, const std::string& target,
                                         bool& found) {
  HttpRequest put = request("PUT", target);
  // "/bucket/key", percent-encoded; libcurl signs it with the request's other headers.
  put.headers.push_back("x-amz-copy-source: " +
                        percentEncode("/" + location_.bucket + "/" + source, true));
  put.body = "";
  HttpResponse response = client_.perform(put);
  found = response.error || response.status != 404 ||
          response.body.find("NoSuchBucket") != std::string::npos;
  if (!found) return std::nullopt;
  // A copy that fails once the server has begun its answer says so in a body with status 200.
  return bodyError(response, "copying " + source + " to " + target);
}

std::optional<Error> S3Store::objectsBelow(const std::string& folder,
                                           std::vector<std::string>& objects) {
  std::string token;
  do {
    Listing page;
    if (auto error = listPage(folder + "/", false, 0, token, page)) return error;
    for (auto& [name, size] : page.objects) objects.push_back(std::move(name));
    token = page.nextToken;
  } while (!token.empty());
  return std::nullopt;
}

// Neither CopyObject nor its conditions refuse to replace the target on every server, so a look
// at the target comes first: a writer that puts something there in between is overwritten.
// Objects over 5 GiB are refused by the server (CopyObject's limit; no copy in parts here).
std::optional<Error> S3Store::copy(const std::string& from, const std::string& to,
                                   StoreAnswer& answer) {
  if (auto error = checkTarget(to, answer); error || answer == StoreAnswer::exists) return error;
  bool found = false;
  if (auto error = copyObject(objectKey(from), objectKey(to), found)) return error;
  answer = found ? StoreAnswer::done : StoreAnswer::missing;
  return std::nullopt;
}

std::optional<Error> S3Store::move(const std::string& from, const std::string& to,
                                   StoreAnswer& answer) {
  if (auto error = checkTarget(to, answer); error || answer == StoreAnswer::exists) return error;
  const std::string source = objectKey(from);
  const std::string target = objectKey(to);
  bool file = false;
  if (auto error = exists(source, file)) return error;
  if (file) {
    bool found = false;
    if (auto error = copyObject(source, target, found)) return error;
    answer = found ? StoreAnswer::done : StoreAnswer::missing;
    if (!found) return std::nullopt;
    HttpResponse response = client_.perform(request("DELETE", source));
    if (response.error) return response.error;
    if (!succeeded(response.status)) return s3Error(response, "DELETE " + from);
    return std::nullopt;
  }
  std::vector<std::string> objects;
  if (auto error = objectsBelow(source, objects)) return error;
  if (objects.empty()) {
    answer = StoreAnswer::missing;
    return std::nullopt;
  }
  std::vector<std::string> targets;
  targets.reserve(objects.size());
  for (const std::string& object : objects) {
    targets.push_back(target + object.substr(source.size()));
  }
  std::vector<char> copied(objects.size(), 0);
  if (auto error = copyObjects(objects, targets, copied)) {
    // Nothing was at `to` before: what arrived there goes again, and the source stays whole.
    std::vector<std::string> arrived;
    for (size_t i = 0; i < targets.size(); ++i) {
      if (copied[i] != 0) arrived.push_back(targets[i]);
    }
    (void)deleteAll(arrived);
    return error;
  }
  forgetFolders(source);
  if (auto error = deleteAll(objects)) return error;
  answer = StoreAnswer::done;
  return std::nullopt;
}

std::optional<Error> S3Store::copyObjects(const std::vector<std::string>& sources,
                                          const std::vector<std::string>& targets,
                                          std::vector<char>& copied) {
  std::atomic<size_t> next{0};
  std::mutex failureMutex;
  std::optional<Error> failure;
  auto copyEach = [&] {
    for (size_t index; (index = next++) < sources.size();) {
      {
        std::lock_guard lock(failureMutex);
        if (failure) return;
      }
      bool found = false;
      std::optional<Error> error = copyObject(sources[index], targets[index], found);
      // An object deleted meanwhile leaves nothing to carry.
      copied[index] = static_cast<char>(!error && found);
      if (error) {
        std::lock_guard lock(failureMutex);
        if (!failure) failure = std::move(error);
        return;
      }
    }
  };
  std::vector<std::thread> helpers;
  for (size_t i = 1; i < std::min<size_t>(kPartsAtOnce, sources.size()); ++i) {
    helpers.emplace_back(copyEach);
  }
  copyEach();
  for (std::thread& helper : helpers) helper.join();
  return failure;
}

std::optional<Error> S3Store::deleteAll(const std::vector<std::string>& objects) {
  for (size_t at = 0; at < objects.size(); at += kDeleteBatch) {
    const auto first = objects.begin() + static_cast<std::ptrdiff_t>(at);
    const auto last =
        objects.begin() + static_cast<std::ptrdiff_t>(std::min(objects.size(), at + kDeleteBatch));
    if (auto error = deleteBatch({first, last})) return error;
  }
  return std::nullopt;
}

std::optional<Error> S3Store::list(const std::string& key, std::vector<StoredMember>& members,
                                   StoreAnswer& answer) {
  const std::string folder = objectKey(key);
  const std::string prefix = folder.empty() ? "" : folder + "/";
  const size_t strip = location_.prefix.empty() ? 0 : location_.prefix.size() + 1;
  bool any = folder.empty();
  members.clear();
  std::string token;
  do {
    Listing page;
    if (auto error = listPage(prefix, true, 0, token, page)) return error;
    for (auto& [name, size] : page.objects) {
      any = true;
      if (name == prefix) continue;  // the folder's own marker
      members.push_back(StoredMember{name.substr(strip), size, false, std::nullopt});
    }
    for (std::string& common : page.prefixes) {
      any = true;
      common.pop_back();
      members.push_back(StoredMember{common.substr(strip), 0, true, std::nullopt});
    }
    token = page.nextToken;
  } while (!token.empty());
  answer = any ? StoreAnswer::done : StoreAnswer::missing;
  if (!any) members.clear();
  return std::nullopt;
}

}  // namespace tessellon::hosts
