// The S3 store against a real Ceph RADOS Gateway: multipart uploads, listings and deletions past
// one page of a thousand, a store below a prefix, refused credentials, create-if-absent under
// contention and with a lost answer, and the clean-up of abandoned multipart uploads. The session
// token, which the gateway cannot issue, is checked on the wire of a recording server.

#include <sys/socket.h>
#include <unistd.h>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>

#include "remote/DelegateCalls.h"
#include "remote/NetworkRemotes.h"
#include "support/FaultyHttpProxy.h"
#include "support/MediaTree.h"

namespace tessellon {
namespace {

// A server on a free loopback port that keeps the head of the first request it receives and
// answers every request 404.
class RecordingHttpServer {
 public:
  RecordingHttpServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    EXPECT_EQ(::listen(listener_, 8), 0);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    server_ = std::thread([this] { serve(); });
  }
  ~RecordingHttpServer() {
    ::shutdown(listener_, SHUT_RDWR);
    ::close(listener_);
    server_.join();
  }

  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }
  std::string firstRequestHead() {
    std::lock_guard lock(mutex_);
    return heads_.empty() ? "" : heads_.front();
  }

 private:
  void serve() {
    for (int client; (client = ::accept(listener_, nullptr, nullptr)) >= 0;) {
      std::string head;
      char buffer[4096];
      while (head.find("\r\n\r\n") == std::string::npos) {
        const ssize_t got = ::recv(client, buffer, sizeof(buffer), 0);
        if (got <= 0) break;
        head.append(buffer, static_cast<size_t>(got));
      }
      {
        std::lock_guard lock(mutex_);
        heads_.push_back(head);
      }
      const std::string answer =
          "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n"
          "Connection: close\r\n\r\n";
      (void)::send(client, answer.data(), answer.size(), MSG_NOSIGNAL);
      ::close(client);
    }
  }

  int listener_ = -1;
  int port_ = 0;
  std::thread server_;
  std::mutex mutex_;
  std::vector<std::string> heads_;
};

using ::testing::Eq;
using ::testing::HasSubstr;
using ::testing::Pair;

class S3StoreTest : public ::testing::Test {
 protected:
  std::unique_ptr<hosts::S3Store> store(const std::string& prefix = "",
                                        int64_t partSize = hosts::S3Store::kMultipartThreshold,
                                        hosts::HttpOptions options = gatewayOptions()) {
    hosts::S3Store::Location location = gatewayLocation(bucket_);
    location.prefix = prefix;
    return std::make_unique<hosts::S3Store>(location, std::move(options), partSize, partSize);
  }

  // Starts a multipart upload at `key` and sends it one part, as a run killed mid-file leaves
  // it; the upload's id.
  std::string abandonUpload(const std::string& key) {
    hosts::HttpOptions options = gatewayOptions();
    options.awsSigV4 = "aws:amz:us-east-1:s3";
    hosts::HttpClient client(options);
    hosts::HttpRequest start = signedRequest("POST", key, "uploads=");
    start.body = "";
    const hosts::HttpResponse started = client.perform(start);
    EXPECT_EQ(started.status, 200) << started.body;
    const size_t open = started.body.find("<UploadId>");
    const size_t close = started.body.find("</UploadId>");
    if (open == std::string::npos || close == std::string::npos) return "";
    const std::string id = started.body.substr(open + 10, close - open - 10);
    EXPECT_EQ(putPart(key, id), 200);
    return id;
  }
  // The status of sending one more part to the upload: 404 once it was aborted.
  long putPart(const std::string& key, const std::string& id) {
    hosts::HttpOptions options = gatewayOptions();
    options.awsSigV4 = "aws:amz:us-east-1:s3";
    hosts::HttpClient client(options);
    hosts::HttpRequest part =
        signedRequest("PUT", key, "partNumber=1&uploadId=" + hosts::percentEncode(id, false));
    part.uploadPath = local_.write("part", "a part of a file");
    return client.perform(part).status;
  }
  hosts::HttpRequest signedRequest(const std::string& method, const std::string& key,
                                   const std::string& query) {
    hosts::HttpRequest request;
    request.method = method;
    request.url = sharedGateway().endpoint() + "/" + bucket_ + "/" + key + "?" + query;
    request.headers = {"x-amz-content-sha256: UNSIGNED-PAYLOAD"};
    return request;
  }

  const std::string bucket_ = freshBucket();
  TempDir local_;
};

TEST_F(S3StoreTest, UploadsAKilledRunLeftAreAbortedOnceIdleAndOnlyBelowTheFolder) {
  auto s3 = store("backups");
  const std::string mine = abandonUpload("backups/dev1/videos/clip.mov");
  const std::string other = abandonUpload("backups/dev2/videos/clip.mov");
  ASSERT_FALSE(mine.empty());
  ASSERT_FALSE(other.empty());

  // Just written to: another run may still be sending it.
  EXPECT_EQ(s3->abortUploadsIdleFor("dev1", std::chrono::hours(1)), 0u);
  s3->removeStaleUploads("dev1");
  EXPECT_EQ(putPart("backups/dev1/videos/clip.mov", mine), 200);

  EXPECT_EQ(s3->abortUploadsIdleFor("dev1", std::chrono::seconds(0)), 1u);

  EXPECT_EQ(putPart("backups/dev1/videos/clip.mov", mine), 404);
  EXPECT_EQ(putPart("backups/dev2/videos/clip.mov", other), 200);
}

TEST_F(S3StoreTest, ASessionTokenIsSentAndSigned) {
  RecordingHttpServer server;
  hosts::S3Store::Location location = gatewayLocation(bucket_);
  location.endpoint = server.url();
  location.sessionToken = "FwoGZXIvYXdzEXAMPLETOKEN";
  hosts::S3Store s3(location, gatewayOptions(quickRetries(1)));
  std::vector<hosts::StoredMember> members;
  hosts::StoreAnswer answer = hosts::StoreAnswer::done;

  (void)s3.list("", members, answer);

  const std::string head = server.firstRequestHead();
  EXPECT_THAT(head, HasSubstr("\r\nx-amz-security-token: FwoGZXIvYXdzEXAMPLETOKEN\r\n"));
  EXPECT_THAT(head, ::testing::ContainsRegex("Authorization: AWS4-HMAC-SHA256 Credential=[^ ]+, "
                                             "SignedHeaders=[^ ]*x-amz-security-token"));
}

TEST_F(S3StoreTest, LargeFilesTravelInPartsAndComeBackWhole) {
  constexpr int64_t kPart = int64_t{5} * 1024 * 1024;  // the smallest part S3 allows
  auto s3 = store("", kPart);
  const std::string bytes = randomContent(2 * kPart + 12345, 1);
  std::vector<double> fractions;
  const hosts::TransferHooks hooks{nullptr, [&](double f) { fractions.push_back(f); }};

  ASSERT_EQ(s3->putFile(local_.write("big", bytes), "videos/big.mov", hooks), std::nullopt);
  hosts::StoreAnswer answer = hosts::StoreAnswer::done;
  ASSERT_EQ(s3->getFile("videos/big.mov", local_.file("back"), {}, answer), std::nullopt);

  EXPECT_EQ(answer, hosts::StoreAnswer::done);
  EXPECT_TRUE(local_.read("back") == bytes);
  ASSERT_FALSE(fractions.empty());
  EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
  EXPECT_DOUBLE_EQ(fractions.back(), 1.0);
  std::vector<hosts::StoredMember> members;
  ASSERT_EQ(s3->list("videos", members, answer), std::nullopt);
  ASSERT_EQ(members.size(), 1u);
  EXPECT_EQ(members[0].size, static_cast<int64_t>(bytes.size()));
}

TEST_F(S3StoreTest, ListingAndDeletionGoPastOnePageBelowAPrefix) {
  auto s3 = store("backups/laptop");
  const std::string file = local_.write("x", "x");
  hosts::StoreAnswer answer = hosts::StoreAnswer::done;
  ASSERT_EQ(s3->makeFolder("dev1/images", answer), std::nullopt);
  constexpr int kFiles = 1003;
  std::atomic<int> next{0};
  std::atomic<int> failed{0};
  std::vector<std::thread> uploaders;
  for (int t = 0; t < 8; ++t) {
    uploaders.emplace_back([&] {
      for (int i; (i = next++) < kFiles;) {
        if (s3->putFile(file, "dev1/images/" + std::to_string(i), {})) ++failed;
      }
    });
  }
  for (auto& uploader : uploaders) uploader.join();
  ASSERT_EQ(failed.load(), 0);

  std::vector<hosts::StoredMember> members;
  ASSERT_EQ(s3->list("dev1/images", members, answer), std::nullopt);
  EXPECT_EQ(members.size(), static_cast<size_t>(kFiles));
  EXPECT_THAT(members[0].key, ::testing::StartsWith("dev1/images/"));
  ASSERT_EQ(s3->list("", members, answer), std::nullopt);
  ASSERT_EQ(members.size(), 1u);
  EXPECT_EQ(members[0].key, "dev1");
  EXPECT_TRUE(members[0].folder);

  ASSERT_EQ(s3->remove("dev1", answer), std::nullopt);
  EXPECT_EQ(answer, hosts::StoreAnswer::done);
  // Nothing is left in the bucket, below the prefix or elsewhere.
  ASSERT_EQ(store()->list("", members, answer), std::nullopt);
  EXPECT_THAT(members, ::testing::IsEmpty());
}

TEST_F(S3StoreTest, OfConcurrentCreatorsExactlyOneCreates) {
  auto s3 = store();
  constexpr int kCreators = 8;
  std::vector<std::thread> creators;
  std::atomic<int> created{0};
  std::atomic<int> errors{0};
  for (int i = 0; i < kCreators; ++i) {
    const std::string file =
        local_.write("lock" + std::to_string(i), "holder " + std::to_string(i));
    creators.emplace_back([&, file] {
      hosts::StoreAnswer answer = hosts::StoreAnswer::done;
      if (s3->putFileIfAbsent(file, "lock.json", answer)) ++errors;
      if (answer == hosts::StoreAnswer::done) ++created;
    });
  }
  for (auto& creator : creators) creator.join();
  EXPECT_EQ(errors.load(), 0);
  EXPECT_EQ(created.load(), 1);
}

TEST_F(S3StoreTest, ACreateWhoseAnswerWasLostIsOursButAnotherRunsRecordIsNot) {
  FaultyHttpProxy proxy(sharedGateway().port());
  // The gateway stores the record, the answer never arrives, the retry meets a failed condition.
  proxy.arm("PUT", 1, FaultyHttpProxy::Fault::dropAnswer);
  hosts::S3Store::Location location = gatewayLocation(bucket_);
  location.endpoint = proxy.url();
  DelegateCalls calls(std::make_shared<hosts::ObjectStoreDelegate>(
      std::make_shared<hosts::S3Store>(location, gatewayOptions()),
      hosts::ObjectStoreDelegate::kDefaultZipSize, 4, local_.file("work")));

  EXPECT_THAT(calls.uploadIfAbsent(local_.write("ours", "laptop 4242 started 17"), "lock.json"),
              Pair(true, Eq(std::nullopt)));
  EXPECT_EQ(proxy.count("PUT"), 2u);
  EXPECT_THAT(calls.uploadIfAbsent(local_.write("theirs", "laptop 4243 started 18"), "lock.json"),
              Pair(false, Eq(std::nullopt)));
  hosts::StoreAnswer answer = hosts::StoreAnswer::done;
  ASSERT_EQ(store()->getFile("lock.json", local_.file("back"), {}, answer), std::nullopt);
  EXPECT_EQ(local_.read("back"), "laptop 4242 started 17");
}

}  // namespace
}  // namespace tessellon
