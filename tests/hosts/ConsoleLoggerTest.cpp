#include "delegates/ConsoleLogger.h"

#include <ostream>
#include <set>
#include <sstream>
#include <streambuf>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tessellon {
namespace {

using hosts::ConsoleLogger;

constexpr LogLevel kAllLevels[] = {LogLevel::verbose, LogLevel::debug, LogLevel::info,
                                   LogLevel::warning, LogLevel::error};

// An unbuffered stream buffer that takes one character at a time and yields now and then, so that
// two writes which are not serialised interleave visibly.
class CharByCharBuffer : public std::streambuf {
 public:
  std::string text;

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) {
      return traits_type::not_eof(c);
    }
    text.push_back(traits_type::to_char_type(c));
    if (text.size() % 16 == 0) {
      std::this_thread::yield();
    }
    return c;
  }
};

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    result.push_back(line);
  }
  return result;
}

class ConsoleLoggerTest : public ::testing::Test {
 protected:
  std::vector<std::string> lines() const { return splitLines(out_.str()); }

  std::ostringstream out_;
};

TEST_F(ConsoleLoggerTest, WritesOnlyLevelsAtOrAboveTheMinimum) {
  const struct {
    LogLevel minimum;
    std::string expected;
  } rows[] = {
      {LogLevel::verbose, "verbose: v\ndebug: d\ninfo: i\nwarning: w\nerror: e\n"},
      {LogLevel::debug, "debug: d\ninfo: i\nwarning: w\nerror: e\n"},
      {LogLevel::info, "info: i\nwarning: w\nerror: e\n"},
      {LogLevel::warning, "warning: w\nerror: e\n"},
      {LogLevel::error, "error: e\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(ConsoleLogger::levelName(row.minimum));
    std::ostringstream out;
    ConsoleLogger logger(row.minimum, &out);
    for (LogLevel level : kAllLevels) {
      logger.log(level, [level] { return std::string(1, ConsoleLogger::levelName(level)[0]); });
    }
    EXPECT_EQ(out.str(), row.expected);
  }
}

TEST_F(ConsoleLoggerTest, BuildsTheMessageOnlyForLinesItWrites) {
  ConsoleLogger logger(LogLevel::warning, &out_);
  int calls = 0;
  const auto message = [&calls] {
    ++calls;
    return std::string("built");
  };

  logger.log(LogLevel::verbose, message);
  logger.log(LogLevel::debug, message);
  logger.log(LogLevel::info, message);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(out_.str(), "");

  logger.log(LogLevel::error, message);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(out_.str(), "error: built\n");
}

TEST_F(ConsoleLoggerTest, MessageClosureMayLogThroughTheSameLogger) {
  ConsoleLogger logger(LogLevel::info, &out_);
  logger.log(LogLevel::warning, [&logger] {
    logger.log(LogLevel::info, [] { return std::string("inner"); });
    return std::string("outer");
  });
  EXPECT_THAT(lines(), ::testing::ElementsAre("info: inner", "warning: outer"));
}

TEST_F(ConsoleLoggerTest, ConcurrentLinesNeverInterleave) {
  constexpr int kThreads = 8;
  constexpr int kLinesPerThread = 400;
  const std::string padding(300, '.');
  CharByCharBuffer buffer;
  std::ostream stream(&buffer);
  ConsoleLogger logger(LogLevel::verbose, &stream);

  std::vector<std::thread> threads;
  threads.reserve(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&logger, &padding, t] {
      for (int i = 0; i < kLinesPerThread; ++i) {
        logger.log(LogLevel::info, [&padding, t, i] {
          return std::to_string(t) + "/" + std::to_string(i) + padding;
        });
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }

  std::set<std::string> seen;
  for (const std::string& line : splitLines(buffer.text)) {
    ASSERT_THAT(line, ::testing::MatchesRegex("info: [0-9]+/[0-9]+\\.{300}"));
    seen.insert(line);
  }
  EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kLinesPerThread));
}

}  // namespace
}  // namespace tessellon
