// The S3 store against a real Ceph RADOS Gateway: multipart uploads, listings and deletions past
// one page of a thousand, a store below a prefix, refused credentials, and create-if-absent
// under contention and with a lost answer.

#include <atomic>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "remote/DelegateCalls.h"
#include "remote/NetworkRemotes.h"
#include "support/FaultyHttpProxy.h"
#include "support/MediaTree.h"

namespace tessellon {
namespace {

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

  const std::string bucket_ = freshBucket();
  TempDir local_;
};

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
    const std::string file = local_.write("lock" + std::to_string(i), "holder " + std::to_string(i));
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

TEST_F(S3StoreTest, RefusedCredentialsAreAClearErrorNamingNoSecret) {
  hosts::HttpOptions wrong = gatewayOptions();
  wrong.password = "not-the-secret";
  auto s3 = store("", hosts::S3Store::kMultipartThreshold, wrong);
  std::vector<hosts::StoredMember> members;
  hosts::StoreAnswer answer = hosts::StoreAnswer::done;

  const std::optional<Error> error = s3->list("", members, answer);

  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->code, 403);
  EXPECT_THAT(error->message, HasSubstr("check the credentials"));
  EXPECT_THAT(error->message, HasSubstr("SignatureDoesNotMatch"));
  EXPECT_THAT(error->message, ::testing::Not(HasSubstr("not-the-secret")));
}

}  // namespace
}  // namespace tessellon
