#include "sdk/IoC.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

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
  explicit Greeter(std::string text = "hello") : text_(std::move(text)) {}
  std::string greet() const override { return text_; }

 private:
  std::string text_;
};

class NotAGreeter final : public CounterProtocol {};

class IoCTest : public ::testing::Test {
 protected:
  void SetUp() override { IoC::reset(); }
  void TearDown() override { IoC::reset(); }
};

TEST_F(IoCTest, LazyConstructorRunsOnceAndEveryResolutionSharesTheInstance) {
  int constructed = 0;
  IoC::registerLazySingleton<GreeterProtocol>([&] {
    ++constructed;
    return std::make_shared<Greeter>();
  });
  auto first = IoC::resolve<GreeterProtocol>();
  auto second = IoC::resolve<GreeterProtocol>();
  ASSERT_TRUE(first.ok() && second.ok());
  EXPECT_EQ(first.value(), second.value());
  EXPECT_EQ(constructed, 1);
}

TEST_F(IoCTest, SingletonReplacesAPendingLazyRegistrationAndTheReverse) {
  bool lazyRan = false;
  IoC::registerLazySingleton<GreeterProtocol>([&] {
    lazyRan = true;
    return std::make_shared<Greeter>("lazy");
  });
  ASSERT_TRUE(IoC::registerSingleton<GreeterProtocol>(std::make_shared<Greeter>("ready")).ok());
  EXPECT_EQ(IoC::resolve<GreeterProtocol>().value()->greet(), "ready");
  EXPECT_FALSE(lazyRan);

  // A later lazy registration wins over the stored instance: a second setup
  // rebuilds services.
  IoC::registerLazySingleton<GreeterProtocol>([] { return std::make_shared<Greeter>("again"); });
  EXPECT_EQ(IoC::resolve<GreeterProtocol>().value()->greet(), "again");
}

TEST_F(IoCTest, UnregisteredInterfaceNamesItself) {
  auto resolved = IoC::resolve<GreeterProtocol>();
  ASSERT_FALSE(resolved.ok());
  EXPECT_TRUE(isError(resolved.error(), IoCError::nothingRegisteredForType));
  EXPECT_EQ(resolved.error().message, "nothingRegisteredForType(GreeterProtocol)");
}

TEST_F(IoCTest, IncompatibleObjectIsRefusedAndChangesNothing) {
  ASSERT_TRUE(IoC::registerSingleton<GreeterProtocol>(std::make_shared<Greeter>("kept")).ok());
  std::shared_ptr<CounterProtocol> wrong = std::make_shared<NotAGreeter>();

  Result<void> registered = IoC::registerSingleton<GreeterProtocol>(wrong);

  ASSERT_FALSE(registered.ok());
  EXPECT_TRUE(isError(registered.error(), IoCError::incompatibleTypes));
  EXPECT_THAT(registered.error().message, ::testing::HasSubstr("GreeterProtocol"));
  EXPECT_THAT(registered.error().message, ::testing::HasSubstr("NotAGreeter"));
  EXPECT_EQ(IoC::resolve<GreeterProtocol>().value()->greet(), "kept");
}

TEST_F(IoCTest, MissingDependencyFailsTheResolutionAndKeepsTheRegistration) {
  IoC::registerLazySingleton<GreeterProtocol>([] {
    (void)IoC::require<CounterProtocol>();
    return std::make_shared<Greeter>();
  });
  auto failed = IoC::resolve<GreeterProtocol>();
  ASSERT_FALSE(failed.ok());
  EXPECT_EQ(failed.error().message, "nothingRegisteredForType(CounterProtocol)");

  ASSERT_TRUE(IoC::registerSingleton<CounterProtocol>(std::make_shared<NotAGreeter>()).ok());
  EXPECT_TRUE(IoC::resolve<GreeterProtocol>().ok());
}

TEST_F(IoCTest, ConcurrentFirstResolutionsBuildOneInstance) {
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
}

}  // namespace
}  // namespace tessellon
