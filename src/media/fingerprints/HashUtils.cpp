#include "media/fingerprints/HashUtils.h"

#include <algorithm>
#include <memory>

#include "tessellon/BackupSDKError.h"

#include "model/Constants.h"
#include "model/FingerprintUtils.h"

namespace tessellon {
namespace {

// Windows are read and hashed in pieces of this size, so memory stays small even for the 2 MiB
// chunks of scheme 1.0.
constexpr std::int64_t kPieceSize = std::int64_t{64} * 1024;

Error readFailure(const std::string& path, const Error& cause) {
  return makeError(BackupSDKError::fileIOFailedToReadFile,
                   "cannot fingerprint " + path + ": " + cause.message);
}

Error shrankFailure(const std::string& path) {
  return makeError(BackupSDKError::fileIOFailedToReadFile,
                   "cannot fingerprint " + path + ": it ended early, it changed while being read");
}

std::string fingerprint(const Version& version, Md5& md5) {
  return fingerprintPrefix(version) + Md5::toHex(md5.finish());
}

}  // namespace

std::vector<SampleWindow> HashUtils::sampleWindows(std::int64_t length, std::int64_t chunkSize) {
  if (length <= 0) return {};
  // 3 * chunkSize >= length, without overflowing for absurd chunk sizes.
  if (chunkSize < 1 || chunkSize >= (length + 2) / 3) return {{0, length}};
  const std::int64_t middle = length / 2 - chunkSize / 2;
  return {{0, chunkSize}, {middle, chunkSize}, {length - chunkSize, chunkSize}};
}

bool HashUtils::samplesPart(std::int64_t length, std::string_view sampled) {
  const Version version = FingerprintUtils::getVersion(sampled);
  return sampleWindows(length, Constants::getHashingChunkSize(version)).size() > 1;
}

std::string HashUtils::distinguished(const std::string& sampled, const std::string& checksum) {
  Md5 md5;
  md5.update(sampled);
  md5.update(std::string_view(" "));
  md5.update(checksum);
  return fingerprint(FingerprintUtils::getVersion(sampled), md5);
}

std::string HashUtils::createSmartDataBuffer(std::string_view data, std::int64_t chunkSize) {
  std::string sample;
  for (const SampleWindow& window :
       sampleWindows(static_cast<std::int64_t>(data.size()), chunkSize)) {
    sample.append(data.substr(static_cast<std::size_t>(window.offset),
                              static_cast<std::size_t>(window.length)));
  }
  return sample;
}

Md5::Digest HashUtils::md5(const void* bytes, std::size_t length) {
  return Md5::digest(bytes, length);
}

std::string HashUtils::encodeMD5(const Md5::Digest& digest) { return Md5::toHex(digest); }

std::string HashUtils::getHash(std::string_view text, const Version& version) {
  if (text.empty()) return std::string(kEmptyContentFingerprint);
  Md5 md5;
  const auto windows = sampleWindows(static_cast<std::int64_t>(text.size()),
                                     Constants::getHashingChunkSize(version));
  for (const SampleWindow& window : windows) {
    md5.update(text.substr(static_cast<std::size_t>(window.offset),
                           static_cast<std::size_t>(window.length)));
  }
  return fingerprint(version, md5);
}

Result<std::string> HashUtils::getHashUsingStream(FileContentReaderProtocol& reader,
                                                  const std::string& path, const Version& version) {
  Result<std::int64_t> size = reader.fileSize(path);
  if (!size.ok()) return readFailure(path, size.error());
  if (size.value() == 0) return std::string(kEmptyContentFingerprint);

  Result<std::unique_ptr<FileContentStream>> opened = reader.openStream(path);
  if (!opened.ok()) return readFailure(path, opened.error());
  FileContentStream& stream = *opened.value();

  const auto windows = sampleWindows(size.value(), Constants::getHashingChunkSize(version));
  std::vector<unsigned char> piece(
      static_cast<std::size_t>(std::min(kPieceSize, windows.front().length)));
  Md5 md5;
  std::int64_t position = 0;
  for (const SampleWindow& window : windows) {
    if (window.offset > position) {
      Result<std::int64_t> skipped = stream.skip(window.offset - position);
      if (!skipped.ok()) return readFailure(path, skipped.error());
      if (skipped.value() != window.offset - position) return shrankFailure(path);
    }
    for (std::int64_t done = 0; done < window.length;) {
      const auto want = static_cast<std::size_t>(std::min(kPieceSize, window.length - done));
      Result<std::size_t> count = stream.read(piece.data(), want);
      if (!count.ok()) return readFailure(path, count.error());
      if (count.value() != want) return shrankFailure(path);
      md5.update(piece.data(), want);
      done += static_cast<std::int64_t>(want);
    }
    position = window.offset + window.length;
  }
  return fingerprint(version, md5);
}

Result<std::string> HashUtils::getHashUsingMapping(FileContentReaderProtocol& reader,
                                                   const std::string& path,
                                                   const Version& version) {
  Result<std::unique_ptr<MappedContent>> mapped = reader.mapFile(path);
  if (!mapped.ok()) return readFailure(path, mapped.error());
  const MappedContent& content = *mapped.value();
  if (content.size() == 0) return std::string(kEmptyContentFingerprint);

  const auto windows = sampleWindows(content.size(), Constants::getHashingChunkSize(version));
  std::vector<unsigned char> piece(
      static_cast<std::size_t>(std::min(kPieceSize, windows.front().length)));
  Md5 md5;
  for (const SampleWindow& window : windows) {
    for (std::int64_t done = 0; done < window.length;) {
      const std::int64_t want = std::min(kPieceSize, window.length - done);
      Result<void> copied = content.copy(window.offset + done, want, piece.data());
      if (!copied.ok()) return readFailure(path, copied.error());
      md5.update(piece.data(), static_cast<std::size_t>(want));
      done += want;
    }
  }
  return fingerprint(version, md5);
}

Result<std::string> HashUtils::getFileHash(FileContentReaderProtocol& reader,
                                           const std::string& path, const Version& version) {
  Result<std::string> mapped = getHashUsingMapping(reader, path, version);
  if (mapped.ok()) return mapped;
  return getHashUsingStream(reader, path, version);
}

}  // namespace tessellon
