#include "core/IoC.h"

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

namespace tessellon {
namespace {

class GreeterProtocol {
 public:
  static constexpr std::string_view kProtocolName = "GreeterProtocol";
  virtual ~GreeterProtocol() = default;
  virtual std::string greet() const = 0;
};

class CounterProtocol {
 public:
  static constexpr std::string_view kProtocolName = "CounterProtocol";
  virtual ~CounterProtocol() = default;
};

class Greeter final : public GreeterProtocol {
 public:
  std::string greet() const override { return "hello"; }
};

class Counter final : public CounterProtocol {};

class IoCTest : public ::testing::Test {
 protected:
  void SetUp() override { IoC::reset(); }
  void TearDown() override { IoC::reset(); }
};

TEST_F(IoCTest, ConcurrentFirstResolutionsBuildOneSharedInstance) {
  std::atomic<int> constructed{0};
  IoC::registerLazySingleton<GreeterProtocol>([&] {
    ++constructed;
    return std::make_shared<Greeter>();
  });
  std::vector<std::thread> threads;
  std::vector<std::shared_ptr<GreeterProtocol>> seen(8);
  for (size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&, i] { seen[i] = IoC::resolve<GreeterProtocol>().value(); });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(constructed.load(), 1);
  for (const auto& instance : seen) EXPECT_EQ(instance, seen.front());
  EXPECT_EQ(IoC::resolve<GreeterProtocol>().value(), seen.front());
}

TEST_F(IoCTest, MissingRegistrationsNameTheInterfaceAndKeepTheDependentRegistration) {
  const auto unregistered = IoC::resolve<GreeterProtocol>();
  ASSERT_FALSE(unregistered.ok());
  EXPECT_TRUE(isError(unregistered.error(), IoCError::nothingRegisteredForType));
  EXPECT_EQ(unregistered.error().message, "nothingRegisteredForType(GreeterProtocol)");

  IoC::registerLazySingleton<GreeterProtocol>([] {
    (void)IoC::require<CounterProtocol>();
    return std::make_shared<Greeter>();
  });
  const auto failed = IoC::resolve<GreeterProtocol>();
  ASSERT_FALSE(failed.ok());
  EXPECT_EQ(failed.error().message, "nothingRegisteredForType(CounterProtocol)");

  ASSERT_TRUE(IoC::registerSingleton<CounterProtocol>(std::make_shared<Counter>()).ok());
  EXPECT_TRUE(IoC::resolve<GreeterProtocol>().ok());
}

}  // namespace
}  // namespace tessellon
