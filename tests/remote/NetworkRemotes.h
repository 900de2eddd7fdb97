#pragma once

#include <atomic>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "tessellon/BackupSDKDelegate.h"

#include "delegates/ObjectStoreDelegate.h"
#include "delegates/S3Store.h"
#include "delegates/WebDavStore.h"
#include "support/ApacheDavServer.h"
#include "support/CephGateway.h"
#include "support/LoopbackPort.h"
#include "support/TempDir.h"

namespace tessellon {

// Retries quick enough for tests that provoke them.
inline hosts::HttpOptions quickRetries(int attempts = 4) {
  hosts::HttpOptions options;
  options.retry.attempts = attempts;
  options.retry.firstDelay = std::chrono::milliseconds(20);
  options.retry.maxDelay = std::chrono::milliseconds(200);
  options.retry.budget = std::chrono::milliseconds(20000);
  options.stallTimeout = std::chrono::seconds(10);
  return options;
}

// One Apache for a whole test program; each remote is a fresh collection on it.
inline ApacheDavServer& sharedDavServer() {
  static ApacheDavServer server{(clearAwsEnvironment(), ApacheDavServer::Options{})};
  return server;
}

// A fresh, empty collection on the shared server, as a store URL.
inline std::string freshDavCollection() {
  static std::atomic<int> next{0};
  const std::string name = "r" + std::to_string(::getpid()) + "-" + std::to_string(next++);
  hosts::WebDavStore root(sharedDavServer().url(), quickRetries());
  hosts::StoreAnswer answer = hosts::StoreAnswer::done;
  EXPECT_EQ(root.makeFolder(name, answer), std::nullopt) << "is the shared Apache running?";
  return sharedDavServer().url() + "/" + name;
}

// A delegate over a fresh, empty WebDAV collection.
struct WebDavRemote {
  TempDir space;
  std::shared_ptr<BackupSDKDelegate> delegate = std::make_shared<hosts::ObjectStoreDelegate>(
      std::make_shared<hosts::WebDavStore>(freshDavCollection(), quickRetries()),
      hosts::ObjectStoreDelegate::kDefaultZipSize, 4, space.file("work"));
};

// One Ceph gateway for a whole test program; each remote is a fresh bucket on it.
inline CephGateway& sharedGateway() {
  static CephGateway gateway;
  return gateway;
}

inline hosts::S3Store::Location gatewayLocation(const std::string& bucket) {
  hosts::S3Store::Location location;
  location.endpoint = sharedGateway().endpoint();
  location.bucket = bucket;
  return location;
}

inline hosts::HttpOptions gatewayOptions(hosts::HttpOptions options = quickRetries()) {
  options.user = sharedGateway().accessKey();
  options.password = sharedGateway().secretKey();
  return options;
}

// A fresh, empty bucket on the shared gateway.
inline std::string freshBucket() {
  static std::atomic<int> next{0};
  const std::string name = "t" + std::to_string(::getpid()) + "-" + std::to_string(next++);
  EXPECT_TRUE(sharedGateway().running()) << "the Ceph gateway did not start";
  hosts::S3Store store(gatewayLocation(name), gatewayOptions());
  hosts::StoreAnswer answer = hosts::StoreAnswer::done;
  EXPECT_EQ(store.makeBucket(answer), std::nullopt);
  return name;
}

// A delegate over a fresh, empty S3 bucket.
struct S3Remote {
  TempDir space;
  std::shared_ptr<BackupSDKDelegate> delegate = std::make_shared<hosts::ObjectStoreDelegate>(
      std::make_shared<hosts::S3Store>(gatewayLocation(freshBucket()), gatewayOptions()),
      hosts::ObjectStoreDelegate::kDefaultZipSize, 4, space.file("work"));
};

}  // namespace tessellon
