#include "media/fingerprints/Md5.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "media/PythonDigests.h"
#include "support/MediaTree.h"
#include "support/TempDir.h"

namespace tessellon {
namespace {

std::string hexOf(std::string_view data) { return Md5::toHex(Md5::digest(data)); }

TEST(Md5Test, MatchesTheRfc1321TestSuite) {
  const std::pair<std::string, std::string> cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"1234567890123456789012345678901234567890"
       "1234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& [message, digest] : cases) {
    SCOPED_TRACE(message);
    EXPECT_EQ(hexOf(message), digest);
  }
}

TEST(Md5Test, AgreesWithPythonAcrossBlockAndPaddingBoundaries) {
  TempDir scratch;
  const std::vector<std::size_t> lengths{0,   1,   55,  56,  57,   63,   64,           65,
                                         119, 120, 127, 128, 1000, 4099, (1 << 20) + 3};
  std::vector<std::string> contents;
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < lengths.size(); ++i) {
    contents.push_back(randomContent(lengths[i], static_cast<std::uint32_t>(i + 1)));
    paths.push_back(scratch.write("data" + std::to_string(i), contents.back()));
  }
  const std::vector<std::string> expected = pythonDigests(scratch, paths, 0);
  for (std::size_t i = 0; i < lengths.size(); ++i) {
    SCOPED_TRACE("length " + std::to_string(lengths[i]));
    EXPECT_EQ(hexOf(contents[i]), expected[i]);
  }
}

// Pieces of any length give the one-shot digest, and finish() starts a new message.
TEST(Md5Test, PiecewiseUpdatesGiveTheOneShotDigest) {
  const std::string message = randomContent(1000, 7);
  Md5 md5;
  md5.update("some earlier message");
  (void)md5.finish();
  for (const std::size_t pieceLength : {1u, 3u, 63u, 64u, 65u, 200u}) {
    SCOPED_TRACE("pieces of " + std::to_string(pieceLength));
    for (std::size_t offset = 0; offset < message.size(); offset += pieceLength) {
      md5.update(std::string_view(message).substr(offset, pieceLength));
    }
    EXPECT_EQ(Md5::toHex(md5.finish()), hexOf(message));
  }
}

}  // namespace
}  // namespace tessellon
