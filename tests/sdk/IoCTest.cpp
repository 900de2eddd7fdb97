#include "sdk/IoC.h"

#include <atomic>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tessellon {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;

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

TEST_F(IoCTest, TheLatestRegistrationWinsWhateverItsKind) {
  bool lazyRan = false;
  IoC::registerLazySingleton<GreeterProtocol>([&] {
    lazyRan = true;
    return std::make_shared<Greeter>("lazy");
  });
  ASSERT_TRUE(IoC::registerSingleton<GreeterProtocol>(std::make_shared<Greeter>("ready")).ok());
  EXPECT_EQ(IoC::resolve<GreeterProtocol>().value()->greet(), "ready");
  EXPECT_FALSE(lazyRan);

  // A second setup rebuilds services: a later lazy registration replaces the instance.
  IoC::registerLazySingleton<GreeterProtocol>([] { return std::make_shared<Greeter>("again"); });
  EXPECT_EQ(IoC::resolve<GreeterProtocol>().value()->greet(), "again");
}

TEST_F(IoCTest, IncompatibleObjectIsRefusedAndChangesNothing) {
  ASSERT_TRUE(IoC::registerSingleton<GreeterProtocol>(std::make_shared<Greeter>("kept")).ok());
  std::shared_ptr<CounterProtocol> wrong = std::make_shared<NotAGreeter>();
  const Result<void> registered = IoC::registerSingleton<GreeterProtocol>(wrong);
  ASSERT_FALSE(registered.ok());
  EXPECT_TRUE(isError(registered.error(), IoCError::incompatibleTypes));
  EXPECT_THAT(registered.error().message,
              AllOf(HasSubstr("GreeterProtocol"), HasSubstr("NotAGreeter")));
  EXPECT_EQ(IoC::resolve<GreeterProtocol>().value()->greet(), "kept");
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

  ASSERT_TRUE(IoC::registerSingleton<CounterProtocol>(std::make_shared<NotAGreeter>()).ok());
  EXPECT_TRUE(IoC::resolve<GreeterProtocol>().ok());
}

}  // namespace
}  // namespace tessellon
