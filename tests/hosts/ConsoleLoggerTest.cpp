#include "delegates/ConsoleLogger.h"

#include <set>
#include <sstream>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tessellon {
namespace {

using hosts::ConsoleLogger;

// Takes one character at a time and yields now and then, so that unserialised writes interleave.
class CharByCharBuffer : public std::streambuf {
 public:
  std::string text;

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    text.push_back(traits_type::to_char_type(c));
    if (text.size() % 16 == 0) std::this_thread::yield();
    return c;
  }
};

TEST(ConsoleLoggerTest, WritesOnlyLevelsAtOrAboveTheMinimum) {
  const struct {
    LogLevel minimum;
    std::string expected;
  } rows[] = {
      {LogLevel::verbose, "verbose: v\ndebug: d\ninfo: i\nwarning: w\nerror: e\n"},
      {LogLevel::error, "error: e\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(ConsoleLogger::levelName(row.minimum));
    std::ostringstream out;
    ConsoleLogger logger(row.minimum, &out);
    for (LogLevel level :
         {LogLevel::verbose, LogLevel::debug, LogLevel::info, LogLevel::warning, LogLevel::error}) {
      logger.log(level, [level] { return std::string(1, ConsoleLogger::levelName(level)[0]); });
    }
    EXPECT_EQ(out.str(), row.expected);
  }
}

TEST(ConsoleLoggerTest, MessageClosureMayLogThroughTheSameLogger) {
  std::ostringstream out;
  ConsoleLogger logger(LogLevel::info, &out);
  logger.log(LogLevel::warning, [&logger] {
    logger.log(LogLevel::info, [] { return std::string("inner"); });
    return std::string("outer");
  });
  EXPECT_EQ(out.str(), "info: inner\nwarning: outer\n");
}

TEST(ConsoleLoggerTest, ConcurrentLinesNeverInterleave) {
  constexpr int kThreads = 8;
  constexpr int kLinesPerThread = 400;
  const std::string padding(300, '.');
  CharByCharBuffer buffer;
  std::ostream stream(&buffer);
  ConsoleLogger logger(LogLevel::verbose, &stream);

  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&logger, &padding, t] {
      for (int i = 0; i < kLinesPerThread; ++i) {
        logger.log(LogLevel::info, [&padding, t, i] {
          return std::to_string(t) + "/" + std::to_string(i) + padding;
        });
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  std::set<std::string> seen;
  std::istringstream lines(buffer.text);
  for (std::string line; std::getline(lines, line);) {
    ASSERT_THAT(line, ::testing::MatchesRegex("info: [0-9]+/[0-9]+\\.{300}"));
    seen.insert(line);
  }
  EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kLinesPerThread));
}

}  // namespace
}  // namespace tessellon
