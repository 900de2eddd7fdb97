#include "platform/files/ContentChecksum.h"

#include <sys/stat.h>
#include <algorithm>
#include <cerrno>
#include <string>

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace tessellon {
namespace {

// Answers of xxhsum -H2, the xxHash project's own command, with our prefix: the text must be the
// canonical (big-endian) form a peer tool prints, or a checksum could never be checked elsewhere.
TEST(ContentChecksumTest, MatchesTheReferenceToolWholeInPiecesAndFromAFile) {
  const struct {
    const char* name;
    std::string content;
    const char* expected;
  } cases[] = {
      {"empty", "", "99aa06d3014798d86001c324468d497f"},
      {"one byte", "a", "a96faf705af16834e6c632b61e964e1f"},
      {"sentence", "The quick brown fox jumps over the lazy dog",
       "ddd650205ca3e7fa24a1cc2e3a8a7651"},
      {"three chunks", std::string(3'000'000, 'x'), "1f895bac9b72598405afde2f9995314a"},
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string expected = std::string("xxh3-128:") + c.expected;
    // Uneven pieces cross the hash's internal stripes and blocks.
    ContentChecksum pieces;
    for (size_t at = 0, step = 1; at < c.content.size(); at += step, step = step * 3 + 1) {
      pieces.update(c.content.data() + at, std::min(step, c.content.size() - at));
    }
    EXPECT_EQ(pieces.finish(), expected);
    EXPECT_EQ(ContentChecksum::ofFile(dir.write(c.name, c.content)).value(), expected);
  }
}

TEST(ContentChecksumTest, AFifoIsRefusedRatherThanWaitedOn) {
  TempDir dir;
  const std::string fifo = dir.file("pipe.jpg");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const Result<std::string> checksum = ContentChecksum::ofFile(fifo);
  ASSERT_FALSE(checksum.ok());
  EXPECT_EQ(checksum.error().code, EINVAL);
}

}  // namespace
}  // namespace tessellon
