#include "delegates/S3Store.h"

#include <sys/stat.h>
#include <cctype>
#include <map>
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

}  // namespace

struct S3Store::Listing {
  std::vector<std::pair<std::string, int64_t>> objects;
  std::vector<std::string> prefixes;
  std::string nextToken;
};

S3Store::S3Store(Location location, HttpOptions options, int64_t partSize)
    : location_(std::move(location)), partSize_(partSize), client_([&] {
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
  if (info.st_size > partSize_) return putMultipart(localPath, key, info.st_size, hooks);
  HttpRequest put = request("PUT", objectKey(key));
  put.uploadPath = localPath;
  put.cancelled = hooks.cancelled;
  put.progress = hooks.progress;
  HttpResponse response = client_.perform(put);
  if (response.error) return response.error;
  if (!succeeded(response.status)) return s3Error(response, "PUT " + key);
  return std::nullopt;
}

std::optional<Error> S3Store::putMultipart(const std::string& localPath, const std::string& key,
                                           int64_t size, const TransferHooks& hooks) {
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

  std::string parts;
  std::optional<Error> failure;
  for (int64_t offset = 0, number = 1; offset < size && !failure; offset += partSize_, ++number) {
    const int64_t length = std::min(partSize_, size - offset);
    HttpRequest part = request(
        "PUT", object, queryOf({{"partNumber", std::to_string(number)}, {"uploadId", uploadId}}));
    part.uploadPath = localPath;
    part.uploadOffset = offset;
    part.uploadLength = length;
    part.cancelled = hooks.cancelled;
    if (hooks.progress) {
      part.progress = [&hooks, offset, length, size](double fraction) {
        hooks.progress((static_cast<double>(offset) + fraction * static_cast<double>(length)) /
                       static_cast<double>(size));
      };
    }
    HttpResponse response = client_.perform(part);
    failure = bodyError(response, "uploading part " + std::to_string(number) + " of " + key);
    parts += "<Part><PartNumber>" + std::to_string(number) + "</PartNumber><ETag>" +
             xmlEscaped(response.etag) + "</ETag></Part>";
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

std::optional<Error> S3Store::getFile(const std::string& key, const std::string& localPath,
                                      const TransferHooks& hooks, StoreAnswer& answer) {
  HttpRequest get = request("GET", objectKey(key));
  get.downloadPath = localPath;
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

std::optional<Error> S3Store::makeFolder(const std::string& key, StoreAnswer& answer) {
  if (objectKey(key).empty()) {
    answer = StoreAnswer::exists;
    return std::nullopt;
  }
  // Markers for the parents too: listing them must find a folder.
  StoreAnswer parent = StoreAnswer::done;
  if (!parentOf(key).empty()) {
    if (auto error = makeFolder(parentOf(key), parent)) return error;
  }
  const std::string marker = objectKey(key) + "/";
  bool found = false;
  if (conditionUnknown_.load()) {
    if (auto error = exists(marker, found)) return error;
    if (found) {
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
    answer = StoreAnswer::exists;
    return std::nullopt;
  }
  if (response.status == 501) {
    conditionUnknown_.store(true);
    return makeFolder(key, answer);
  }
  if (!succeeded(response.status)) return s3Error(response, "PUT " + marker);
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

std::optional<Error> S3Store::remove(const std::string& key, StoreAnswer& answer) {
  const std::string object = objectKey(key);
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
