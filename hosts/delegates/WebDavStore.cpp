#include "delegates/WebDavStore.h"

#include <cctype>
#include <chrono>
#include <cstring>
#include <ctime>
#include <random>
#include <thread>
#include <utility>

#include <pugixml.hpp>

#include "delegates/BeneathRoot.h"

namespace tessellon::hosts {

namespace {

constexpr const char* kPropfindBody =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
    "<D:propfind xmlns:D=\"DAV:\"><D:prop><D:resourcetype/><D:getcontentlength/>"
    "<D:getlastmodified/></D:prop>"
    "</D:propfind>";

std::string percentDecode(const std::string& text) {
  std::string decoded;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(text[i + 1]) != 0 &&
        std::isxdigit(text[i + 2]) != 0) {
      decoded += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      decoded += text[i];
    }
  }
  return decoded;
}

// "/dav/x" for "http://host:1/dav/x", "/" for "http://host".
std::string pathOfUrl(const std::string& url) {
  const size_t scheme = url.find("://");
  const size_t slash = url.find('/', scheme == std::string::npos ? 0 : scheme + 3);
  return slash == std::string::npos ? "/" : url.substr(slash);
}

std::string withFinalSlash(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

std::string parentOf(const std::string& key) {
  const size_t slash = key.rfind('/');
  return slash == std::string::npos ? std::string() : key.substr(0, slash);
}

// ".tessellon-claim-<name>" beside `key`.
std::string claimBeside(const std::string& key) {
  const std::string parent = parentOf(key);
  const size_t slash = key.rfind('/');
  return (parent.empty() ? "" : parent + "/") + WebDavStore::kClaimPrefix +
         (slash == std::string::npos ? key : key.substr(slash + 1));
}

std::string hiddenNameBeside(const std::string& key) {
  thread_local std::mt19937_64 random{std::random_device{}()};
  const std::string parent = parentOf(key);
  return (parent.empty() ? "" : parent + "/") + beneath::ownedPrefix(beneath::kUploadPrefix) +
         std::to_string(random());
}

// An HTTP date ("Sun, 06 Nov 1994 08:49:37 GMT") as seconds since 1970.
std::optional<int64_t> httpDate(const char* text) {
  std::tm parts{};
  const char* end = ::strptime(text, "%a, %d %b %Y %H:%M:%S", &parts);
  if (end == nullptr) return std::nullopt;
  return static_cast<int64_t>(::timegm(&parts));
}

std::string lastComponent(const std::string& key) {
  const size_t slash = key.rfind('/');
  return slash == std::string::npos ? key : key.substr(slash + 1);
}

// The local name of an element, whatever prefix the server bound "DAV:" to.
bool named(const pugi::xml_node& node, const char* name) {
  const char* full = node.name();
  const char* colon = std::strrchr(full, ':');
  return std::strcmp(colon != nullptr ? colon + 1 : full, name) == 0;
}

pugi::xml_node child(const pugi::xml_node& node, const char* name) {
  for (pugi::xml_node candidate : node.children()) {
    if (named(candidate, name)) return candidate;
  }
  return {};
}

bool succeeded(long status) { return status >= 200 && status < 300; }

}  // namespace

WebDavStore::WebDavStore(std::string baseUrl, HttpOptions options)
    : baseUrl_([&] {
        while (!baseUrl.empty() && baseUrl.back() == '/') baseUrl.pop_back();
        return baseUrl;
      }()),
      basePath_(withFinalSlash(percentDecode(pathOfUrl(baseUrl_)))),
      client_(std::move(options)) {}

std::string WebDavStore::urlOf(const std::string& key, bool folder) const {
  std::string url = baseUrl_ + "/" + percentEncode(key, true);
  if (folder && url.back() != '/') url += '/';
  return url;
}

std::optional<Error> WebDavStore::probe(const std::string& key, StoreAnswer& answer, bool& folder,
                                        std::optional<int64_t>* age) {
  HttpRequest request;
  request.method = "PROPFIND";
  request.url = urlOf(key);
  request.headers = {"Depth: 0", "Content-Type: application/xml; charset=utf-8"};
  request.body = kPropfindBody;
  HttpResponse response = client_.perform(request);
  if (!response.error && response.status == 301) {
    // Servers redirect a collection's name to the name with a slash.
    request.url = urlOf(key, true);
    response = client_.perform(request);
  }
  if (response.error) return response.error;
  if (response.status == 404) {
    answer = StoreAnswer::missing;
    return std::nullopt;
  }
  if (response.status != 207) return httpStatusError(response.status, "PROPFIND " + key);
  pugi::xml_document document;
  if (!document.load_buffer(response.body.data(), response.body.size())) {
    return Error{"WebDAV", 207, "PROPFIND " + key + ": the answer is not XML"};
  }
  const pugi::xml_node multistatus = document.first_child();
  const pugi::xml_node reply = child(multistatus, "response");
  folder = false;
  if (age != nullptr) age->reset();
  const std::optional<int64_t> now = httpDate(response.date.c_str());
  for (pugi::xml_node propstat : reply.children()) {
    if (!named(propstat, "propstat")) continue;
    const pugi::xml_node prop = child(propstat, "prop");
    const pugi::xml_node type = child(prop, "resourcetype");
    if (type && child(type, "collection")) folder = true;
    const pugi::xml_node modified = child(prop, "getlastmodified");
    if (age != nullptr && modified && now) {
      if (auto changed = httpDate(modified.text().as_string())) *age = *now - *changed;
    }
  }
  answer = StoreAnswer::exists;
  return std::nullopt;
}

std::optional<Error> WebDavStore::putDirect(const std::string& localPath, const std::string& key,
                                            const TransferHooks& hooks, int64_t offset,
                                            int64_t length) {
  HttpRequest request;
  request.method = "PUT";
  request.url = urlOf(key);
  request.uploadPath = localPath;
  request.uploadOffset = offset;
  request.uploadLength = length;
  request.cancelled = hooks.cancelled;
  request.progress = hooks.progress;
  HttpResponse response = client_.perform(request);
  if (response.error) return response.error;
  if (!succeeded(response.status)) return httpStatusError(response.status, "PUT " + key);
  return std::nullopt;
}

std::optional<Error> WebDavStore::putFile(const std::string& localPath, const std::string& key,
                                          const TransferHooks& hooks) {
  return putFileRange(localPath, 0, -1, key, hooks);
}

std::optional<Error> WebDavStore::putFileRange(const std::string& localPath, int64_t offset,
                                               int64_t length, const std::string& key,
                                               const TransferHooks& hooks) {
  if (moveRefused_.load()) return putDirect(localPath, key, hooks, offset, length);
  const std::string hidden = hiddenNameBeside(key);
  if (auto error = putDirect(localPath, hidden, hooks, offset, length)) return error;
  HttpRequest move;
  move.method = "MOVE";
  move.url = urlOf(hidden);
  move.headers = {"Destination: " + urlOf(key), "Overwrite: T"};
  move.cancelled = hooks.cancelled;
  HttpResponse response = client_.perform(move);
  if (!response.error && succeeded(response.status)) return std::nullopt;
  StoreAnswer ignored = StoreAnswer::done;
  (void)remove(hidden, ignored);
  if (response.error) return response.error;
  if (response.status == 405 || response.status == 501 || response.status == 502) {
    moveRefused_.store(true);
    return putDirect(localPath, key, hooks, offset, length);
  }
  return httpStatusError(response.status, "MOVE to " + key);
}

std::optional<Error> WebDavStore::putFileIfAbsent(const std::string& localPath,
                                                  const std::string& key, StoreAnswer& answer) {
  answer = StoreAnswer::done;
  const std::string claim = claimBeside(key);
  bool claimed = false;
  if (auto error = takeClaim(claim, key, claimed, answer)) return error;
  if (!claimed) return std::nullopt;
  std::optional<Error> error =
      createClaimed(localPath, key, std::chrono::steady_clock::now() + kClaimDeadline, answer);
  StoreAnswer ignored = StoreAnswer::done;
  (void)remove(claim, ignored);
  return error;
}

std::optional<Error> WebDavStore::noteIfThere(const std::string& key, StoreAnswer& answer) {
  bool folder = false;
  StoreAnswer there = StoreAnswer::missing;
  if (auto error = probe(key, there, folder)) return error;
  if (there == StoreAnswer::exists) answer = StoreAnswer::exists;
  return std::nullopt;
}

std::optional<Error> WebDavStore::takeClaim(const std::string& claim, const std::string& key,
                                            bool& claimed, StoreAnswer& answer) {
  const auto giveUpAt = std::chrono::steady_clock::now() + kClaimPatience;
  HttpRequest request;
  request.method = "MKCOL";
  request.url = urlOf(claim, true);
  int denied = 0;
  for (;;) {
    HttpResponse response = client_.perform(request);
    if (response.error) return response.error;
    if (succeeded(response.status)) {
      claimed = true;
      return std::nullopt;
    }
    // Apache answers 403 to the loser of two MKCOLs at once (its mkdir fails), 405 once the
    // folder is there.
    if (response.status != 405 && response.status != 301 && response.status != 403) {
      return httpStatusError(response.status, "MKCOL " + claim);
    }
    // Another creator holds the claim, or a killed one left it: wait for the file to appear or
    // the claim to go. A claim unchanged for kClaimAbandonedAfter by the server's own clock is
    // removed; its creator gave up long before (kClaimDeadline).
    if (auto error = noteIfThere(key, answer)) return error;
    if (answer == StoreAnswer::exists) return std::nullopt;
    bool folder = false;
    StoreAnswer there = StoreAnswer::missing;
    std::optional<int64_t> age;
    if (auto error = probe(claim, there, folder, &age)) return error;
    const int64_t abandoned = std::chrono::seconds(kClaimAbandonedAfter).count();
    if (there == StoreAnswer::exists && age && *age >= abandoned) {
      StoreAnswer ignored = StoreAnswer::done;
      if (auto error = remove(claim, ignored)) return error;
      continue;
    }
    if (there == StoreAnswer::missing && response.status == 403 && ++denied > 1) {
      return httpStatusError(response.status, "MKCOL " + claim);
    }
    if (std::chrono::steady_clock::now() >= giveUpAt) {
      // Made once, as the loop ends.
      // NOLINTBEGIN(performance-inefficient-string-concatenation)
      return Error{"WebDAV", 423,
                   "another process is creating " + key + " (its claim " + claim +
                       " is younger than " + std::to_string(abandoned / 60) +
                       " minutes); try again later"};
      // NOLINTEND(performance-inefficient-string-concatenation)
    }
    if (there == StoreAnswer::exists) std::this_thread::sleep_for(kClaimPoll);
  }
}

std::optional<Error> WebDavStore::createClaimed(const std::string& localPath,
                                                const std::string& key,
                                                std::chrono::steady_clock::time_point deadline,
                                                StoreAnswer& answer) {
  if (auto error = noteIfThere(key, answer)) return error;
  if (answer == StoreAnswer::exists) return std::nullopt;
  bool folder = false;
  StoreAnswer there = StoreAnswer::missing;
  if (!moveRefused_.load()) {
    // The whole file under a hidden name, then a MOVE that must not overwrite: a reader never
    // sees half a file, and whoever created the target without a claim keeps it.
    const std::string hidden = hiddenNameBeside(key);
    if (auto error = putDirect(localPath, hidden, TransferHooks{})) return error;
    if (std::chrono::steady_clock::now() > deadline) {
      StoreAnswer ignored = StoreAnswer::done;
      (void)remove(hidden, ignored);
      return Error{"WebDAV", 408,
                   "creating " + key + " outlasted its claim; nothing was created, try again"};
    }
    HttpRequest move;
    move.method = "MOVE";
    move.url = urlOf(hidden);
    move.headers = {"Destination: " + urlOf(key), "Overwrite: F"};
    HttpResponse response = client_.perform(move);
    if (!response.error && succeeded(response.status)) {
      answer = StoreAnswer::done;
      return std::nullopt;
    }
    StoreAnswer ignored = StoreAnswer::done;
    (void)remove(hidden, ignored);
    if (response.error) return response.error;
    if (response.status == 412) {
      answer = StoreAnswer::exists;
      return std::nullopt;
    }
    // A retried MOVE whose first attempt landed finds no source; a folder in the way answers
    // otherwise, depending on the server.
    if (auto error = probe(key, there, folder)) return error;
    if (there == StoreAnswer::exists) {
      answer = StoreAnswer::exists;
      return std::nullopt;
    }
    if (response.status != 405 && response.status != 501 && response.status != 502) {
      return httpStatusError(response.status, "MOVE to " + key);
    }
    moveRefused_.store(true);
  }
  HttpRequest request;
  request.method = "PUT";
  request.url = urlOf(key);
  request.uploadPath = localPath;
  request.headers = {"If-None-Match: *"};
  HttpResponse response = client_.perform(request);
  if (response.error) return response.error;
  if (succeeded(response.status)) {
    answer = StoreAnswer::done;
    return std::nullopt;
  }
  if (response.status == 412) {
    answer = StoreAnswer::exists;
    return std::nullopt;
  }
  // A folder of that name answers with a redirect or "not allowed" rather than 412.
  if (response.status == 301 || response.status == 405 || response.status == 409) {
    if (auto error = probe(key, there, folder)) return error;
    if (there == StoreAnswer::exists) {
      answer = StoreAnswer::exists;
      return std::nullopt;
    }
  }
  return httpStatusError(response.status, "PUT " + key);
}

std::optional<Error> WebDavStore::getFile(const std::string& key, const std::string& localPath,
                                          const TransferHooks& hooks, StoreAnswer& answer) {
  HttpRequest request;
  request.url = urlOf(key);
  request.downloadPath = localPath;
  request.cancelled = hooks.cancelled;
  request.progress = hooks.progress;
  HttpResponse response = client_.perform(request);
  if (response.error) return response.error;
  if (response.status == 404) {
    answer = StoreAnswer::missing;
    return std::nullopt;
  }
  // A folder answers with a redirect to its name with a slash: it is no file.
  if (response.status == 301) {
    answer = StoreAnswer::missing;
    return std::nullopt;
  }
  if (response.status != 200) return httpStatusError(response.status, "GET " + key);
  answer = StoreAnswer::done;
  return std::nullopt;
}

std::optional<Error> WebDavStore::readFile(const std::string& key,
                                           const std::function<bool(const char*, size_t)>& consume,
                                           const TransferHooks& hooks, StoreAnswer& answer) {
  HttpRequest request;
  request.url = urlOf(key);
  request.consume = consume;
  request.cancelled = hooks.cancelled;
  request.progress = hooks.progress;
  HttpResponse response = client_.perform(request);
  if (response.error) return response.error;
  // A folder answers with a redirect to its name with a slash: it is no file.
  if (response.status == 404 || response.status == 301) {
    answer = StoreAnswer::missing;
    return std::nullopt;
  }
  if (response.status != 200) return httpStatusError(response.status, "GET " + key);
  answer = StoreAnswer::done;
  return std::nullopt;
}

std::optional<Error> WebDavStore::makeFolder(const std::string& key, StoreAnswer& answer) {
  HttpRequest request;
  request.method = "MKCOL";
  request.url = urlOf(key, true);
  HttpResponse response = client_.perform(request);
  if (response.error) return response.error;
  if (succeeded(response.status)) {
    answer = StoreAnswer::done;
    return std::nullopt;
  }
  if (key.empty()) {
    // The remote's own collection (a server answers 405 when it is there already), with its
    // missing parents (409), as a folder remote is made.
    if (response.status == 409) {
      const size_t path = baseUrl_.find('/', baseUrl_.find("://") + 3);
      for (size_t slash = baseUrl_.find('/', path + 1);
           path != std::string::npos && slash != std::string::npos;
           slash = baseUrl_.find('/', slash + 1)) {
        HttpRequest parent;
        parent.method = "MKCOL";
        parent.url = baseUrl_.substr(0, slash + 1);
        const HttpResponse made = client_.perform(parent);
        if (made.error) return made.error;
        if (!succeeded(made.status) && made.status != 405) {
          return httpStatusError(made.status, "MKCOL " + parent.url);
        }
      }
      response = client_.perform(request);
      if (response.error) return response.error;
      if (succeeded(response.status)) {
        answer = StoreAnswer::done;
        return std::nullopt;
      }
    }
    if (response.status != 405) return httpStatusError(response.status, "MKCOL " + request.url);
    answer = StoreAnswer::exists;
    return std::nullopt;
  }
  if (response.status == 409) {
    // A missing parent: make it, then this one.
    StoreAnswer parent = StoreAnswer::done;
    if (auto error = makeFolder(parentOf(key), parent)) return error;
    response = client_.perform(request);
    if (response.error) return response.error;
    if (succeeded(response.status)) {
      answer = StoreAnswer::done;
      return std::nullopt;
    }
  }
  if (response.status == 405 || response.status == 301) {
    bool folder = false;
    StoreAnswer there = StoreAnswer::missing;
    if (auto error = probe(key, there, folder)) return error;
    if (there == StoreAnswer::exists && folder) {
      answer = StoreAnswer::exists;
      return std::nullopt;
    }
    return Error{"WebDAV", static_cast<int>(response.status),
                 "MKCOL " + key + ": a file of that name is in the way"};
  }
  return httpStatusError(response.status, "MKCOL " + key);
}

std::optional<Error> WebDavStore::remove(const std::string& key, StoreAnswer& answer) {
  HttpRequest request;
  request.method = "DELETE";
  request.url = urlOf(key);
  HttpResponse response = client_.perform(request);
  if (!response.error && response.status == 301) {
    request.url = urlOf(key, true);
    response = client_.perform(request);
  }
  if (response.error) return response.error;
  if (response.status == 404) {
    answer = StoreAnswer::missing;
    return std::nullopt;
  }
  if (!succeeded(response.status)) return httpStatusError(response.status, "DELETE " + key);
  answer = StoreAnswer::done;
  return std::nullopt;
}

std::optional<Error> WebDavStore::copy(const std::string& from, const std::string& to,
                                       StoreAnswer& answer) {
  return transfer("COPY", from, to, answer);
}

std::optional<Error> WebDavStore::move(const std::string& from, const std::string& to,
                                       StoreAnswer& answer) {
  return transfer("MOVE", from, to, answer);
}

std::optional<Error> WebDavStore::transfer(const char* method, const std::string& from,
                                           const std::string& to, StoreAnswer& answer) {
  HttpRequest request;
  request.method = method;
  request.url = urlOf(from);
  // The server wants the destination as an absolute URL; a folder goes with all it holds.
  request.headers = {"Destination: " + urlOf(to), "Overwrite: F", "Depth: infinity"};
  HttpResponse response = client_.perform(request);
  if (!response.error && response.status == 301) {
    // Apache redirects a folder's name to the name with a slash, at either end: a folder at `to`
    // is something there, one at `from` is asked for again by its other name.
    bool folder = false;
    StoreAnswer there = StoreAnswer::missing;
    if (auto error = probe(to, there, folder)) return error;
    if (there == StoreAnswer::exists) {
      answer = StoreAnswer::exists;
      return std::nullopt;
    }
    request.url = urlOf(from, true);
    response = client_.perform(request);
  }
  if (response.error) return response.error;
  if (succeeded(response.status)) {
    answer = StoreAnswer::done;
  } else if (response.status == 412) {
    answer = StoreAnswer::exists;
  } else if (response.status == 404) {
    answer = StoreAnswer::missing;
  } else {
    return httpStatusError(response.status, std::string(method) + " " + from + " to " + to);
  }
  return std::nullopt;
}

std::optional<Error> WebDavStore::list(const std::string& key, std::vector<StoredMember>& members,
                                       StoreAnswer& answer) {
  HttpRequest request;
  request.method = "PROPFIND";
  request.url = urlOf(key, true);
  request.headers = {"Depth: 1", "Content-Type: application/xml; charset=utf-8"};
  request.body = kPropfindBody;
  HttpResponse response = client_.perform(request);
  if (response.error) return response.error;
  if (response.status == 404) {
    answer = StoreAnswer::missing;
    return std::nullopt;
  }
  if (response.status != 207) return httpStatusError(response.status, "PROPFIND " + key);
  pugi::xml_document document;
  if (!document.load_buffer(response.body.data(), response.body.size())) {
    return Error{"WebDAV", 207, "PROPFIND " + key + ": the answer is not XML"};
  }
  const std::string self = key.empty() ? std::string() : key;
  bool selfIsFolder = false;
  members.clear();
  for (pugi::xml_node reply : document.first_child().children()) {
    if (!named(reply, "response")) continue;
    std::string href = percentDecode(child(reply, "href").text().as_string());
    if (href.find("://") != std::string::npos) href = pathOfUrl(href);
    if (withFinalSlash(href).rfind(basePath_, 0) != 0) continue;
    std::string name = href.size() > basePath_.size() ? href.substr(basePath_.size()) : "";
    while (!name.empty() && name.back() == '/') name.pop_back();
    StoredMember member;
    member.key = name;
    for (pugi::xml_node propstat : reply.children()) {
      if (!named(propstat, "propstat")) continue;
      const pugi::xml_node prop = child(propstat, "prop");
      const pugi::xml_node type = child(prop, "resourcetype");
      if (type && child(type, "collection")) member.folder = true;
      if (const pugi::xml_node length = child(prop, "getcontentlength")) {
        member.size = length.text().as_llong();
      }
      if (const pugi::xml_node modified = child(prop, "getlastmodified")) {
        member.modified = httpDate(modified.text().as_string());
      }
    }
    if (name == self) {
      selfIsFolder = member.folder;
      continue;
    }
    members.push_back(std::move(member));
  }
  // PROPFIND on a file answers for the file alone: no folder is there.
  answer = selfIsFolder ? StoreAnswer::done : StoreAnswer::missing;
  if (!selfIsFolder) members.clear();
  return std::nullopt;
}

void WebDavStore::removeStaleUploads(const std::string& key) {
  std::vector<StoredMember> members;
  StoreAnswer answer = StoreAnswer::done;
  if (list(key, members, answer) || answer != StoreAnswer::done) return;
  const int64_t now = static_cast<int64_t>(std::time(nullptr));
  const int64_t staleAfter = std::chrono::seconds(kStaleUploadAge).count();
  for (const StoredMember& member : members) {
    const std::string name = lastComponent(member.key);
    if (member.folder || !name.starts_with(beneath::kUploadPrefix)) continue;
    const beneath::TemporaryOwner owner = beneath::ownerOfTemporary(name, beneath::kUploadPrefix);
    const bool stale = owner == beneath::TemporaryOwner::deadHere ||
                       (owner == beneath::TemporaryOwner::unknown && member.modified &&
                        now - *member.modified > staleAfter);
    StoreAnswer ignored = StoreAnswer::done;
    if (stale) (void)remove(member.key, ignored);
  }
}

}  // namespace tessellon::hosts
