#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tessellon/Version.h"

#include "futures/Result.h"
#include "media/fingerprints/Md5.h"
#include "platform/memorymap/FileContentReaderProtocol.h"

namespace tessellon {

// A byte range of content that goes into a fingerprint.
struct SampleWindow {
  std::int64_t offset = 0;
  std::int64_t length = 0;
};

// Fingerprints: the scheme's prefix followed by the lowercase hex MD5 of a sample of the content.
// Content of at most three chunks is hashed whole; longer content by its first chunk, the chunk
// around its middle and its last chunk, so a fingerprint costs at most three chunk reads whatever
// the file's size. Every function is thread-safe and throws nothing.
class HashUtils {
 public:
  // The fingerprint of empty content, under every scheme: MD5 of nothing, without a prefix.
  static constexpr std::string_view kEmptyContentFingerprint = "d41d8cd98f00b204e9800998ecf8427e";

  // The ranges of content `length` bytes long that the sample is made of, in order. A chunk size
  // below 1 samples everything.
  static std::vector<SampleWindow> sampleWindows(std::int64_t length, std::int64_t chunkSize);

  // Whether content `length` bytes long has bytes that a fingerprint of `sampled`'s scheme does
  // not read: two such files may share a fingerprint and differ.
  static bool samplesPart(std::int64_t length, std::string_view sampled);
  // The fingerprint of content that shares its `sampled` fingerprint with other content the remote
  // holds: of the same scheme, from that fingerprint and the full-content `checksum`.
  static std::string distinguished(const std::string& sampled, const std::string& checksum);

  // The sample of in-memory data: the bytes of its windows, concatenated.
  static std::string createSmartDataBuffer(std::string_view data, std::int64_t chunkSize);

  static Md5::Digest md5(const void* bytes, std::size_t length);
  // The 32 lowercase hex digits of `digest`.
  static std::string encodeMD5(const Md5::Digest& digest);

  // The fingerprint of a text's UTF-8 bytes under the scheme `version`.
  static std::string getHash(std::string_view text, const Version& version);

  // The fingerprint of the file at `path`, read as a stream: its size first, then only the sample
  // windows, skipping what lies between. Fails with fileIOFailedToReadFile when the file cannot be
  // read, or ends before a window does (it shrank after its size was read).
  static Result<std::string> getHashUsingStream(FileContentReaderProtocol& reader,
                                                const std::string& path, const Version& version);

  // The fingerprint of the file at `path` read through a mapping, copying out only the sample
  // windows. Fails with fileIOFailedToReadFile when the file cannot be mapped or shrinks while
  // being read.
  static Result<std::string> getHashUsingMapping(FileContentReaderProtocol& reader,
                                                 const std::string& path, const Version& version);

  // The fingerprint of a file as media scans compute it: through a mapping, falling back to the
  // stream form when that fails. Fails with fileIOFailedToReadFile when both fail.
  static Result<std::string> getFileHash(FileContentReaderProtocol& reader, const std::string& path,
                                         const Version& version);
};

}  // namespace tessellon
