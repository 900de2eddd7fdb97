// How the WebDAV remote reaches a real Apache: over HTTPS with a CA of the user's choosing (a
// throwaway CA made by the server fixture), and with credentials from ~/.netrc.

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include <curl/curl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "remote/DelegateCalls.h"
#include "remote/NetworkRemotes.h"

namespace tessellon {
namespace {

using ::testing::HasSubstr;

class WebDavAccessTest : public ::testing::Test {
 protected:
  explicit WebDavAccessTest(ApacheDavServer::Options options)
      : server_((clearAwsEnvironment(), std::move(options))) {}

  // Stores a file and reads it back through a store with `options`; the first error on the way.
  std::optional<Error> roundTrip(hosts::HttpOptions options) {
    hosts::WebDavStore store(server_.url(), std::move(options));
    hosts::StoreAnswer answer = hosts::StoreAnswer::done;
    if (auto error = store.putFile(local_.write("a", "bytes over the wire"), "a.jpg", {})) {
      return error;
    }
    if (auto error = store.getFile("a.jpg", local_.file("back"), {}, answer)) return error;
    EXPECT_EQ(answer, hosts::StoreAnswer::done);
    EXPECT_EQ(local_.read("back"), "bytes over the wire");
    return std::nullopt;
  }

  ApacheDavServer server_;
  TempDir local_;
};

class HttpsWebDavTest : public WebDavAccessTest {
 protected:
  HttpsWebDavTest() : WebDavAccessTest(ApacheDavServer::Options{{}, "", {}, true}) {}
};

// The CA file, another CA and skipping the check are exercised through the command
// (HttpsCliTest); without a CA file the system's CAs decide, and they do not know the server's.
TEST_F(HttpsWebDavTest, WithoutACaFileTheServerIsNotTrustedAndNothingIsStored) {
  const std::optional<Error> error = roundTrip(quickRetries());
  ASSERT_THAT(error, IsError("CURLError", CURLE_PEER_FAILED_VERIFICATION));
  EXPECT_THAT(error->message, HasSubstr("TLS: the server's certificate is not trusted"));
  EXPECT_THAT(error->message, HasSubstr("--ca-file"));
  EXPECT_FALSE(std::filesystem::exists(server_.davRoot() + "/a.jpg"));
}

// HOME points at a fresh folder holding the .netrc under test, and back when done.
class NetrcWebDavTest : public WebDavAccessTest {
 protected:
  NetrcWebDavTest()
      : WebDavAccessTest(ApacheDavServer::Options{"backup", "s3cr3t pass", {}, false}) {}
  void SetUp() override {
    if (const char* home = std::getenv("HOME")) savedHome_ = home;
    ::setenv("HOME", home_.path().c_str(), 1);
  }
  void TearDown() override {
    if (savedHome_) {
      ::setenv("HOME", savedHome_->c_str(), 1);
    } else {
      ::unsetenv("HOME");
    }
  }
  void writeNetrc(const std::string& password) {
    home_.write(".netrc", "machine 127.0.0.1\n  login backup\n  password \"" + password + "\"\n");
  }
  static hosts::HttpOptions fromNetrc() {
    hosts::HttpOptions options = quickRetries(1);
    options.netrc = true;
    return options;
  }

  TempDir home_;
  std::optional<std::string> savedHome_;
};

// The entry for the server in $HOME/.netrc is used; a wrong or missing one is refused as 401.
TEST_F(NetrcWebDavTest, OnlyTheMatchingNetrcEntryInHomeIsAccepted) {
  writeNetrc("s3cr3t pass");
  EXPECT_EQ(roundTrip(fromNetrc()), std::nullopt);

  for (const char* password : {"wrong", ""}) {
    SCOPED_TRACE(password);
    if (*password != '\0') {
      writeNetrc(password);
    } else {
      std::filesystem::remove(home_.file(".netrc"));
    }
    const std::optional<Error> error = roundTrip(fromNetrc());
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->code, 401);
    EXPECT_THAT(error->message, HasSubstr("refused the credentials"));
  }
}

}  // namespace
}  // namespace tessellon
