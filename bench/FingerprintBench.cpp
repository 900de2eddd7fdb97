// Fingerprints of a 4 GiB file: how many bytes a fingerprint reads, counted by a reader that sits
// between the fingerprint code and the real file streams and mappings. Prints
// "BENCH fingerprint_4gib_bytes_read <bytes> ..." (the larger of the stream and the mapped form)
// after the Google Benchmark report. The file is sparse, so making it costs no disk.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include "BenchReport.h"
#include "media/fingerprints/HashUtils.h"
#include "platform/memorymap/FileInputStream.h"
#include "platform/memorymap/PositionalFile.h"

namespace tessellon {
namespace {

constexpr std::int64_t kFileSize = std::int64_t{4} << 30;
constexpr std::int64_t kBytesTarget = 24576;

// Counts every byte handed out by streams and copied out of mappings.
class CountingReader final : public FileContentReaderProtocol {
 public:
  std::int64_t bytesRead() const { return bytes_->load(); }
  void resetCount() { bytes_->store(0); }

  Result<std::int64_t> fileSize(const std::string& path) override {
    struct stat status;
    if (::stat(path.c_str(), &status) != 0) return Error{"NSPOSIXErrorDomain", errno, path};
    return static_cast<std::int64_t>(status.st_size);
  }
  Result<std::unique_ptr<FileContentStream>> openStream(const std::string& path) override {
    auto stream = FileInputStream::open(path);
    if (!stream.ok()) return stream.error();
    return std::unique_ptr<FileContentStream>(
        new CountingStream(std::move(stream).value(), bytes_));
  }
  Result<std::unique_ptr<MappedContent>> mapFile(const std::string& path) override {
    auto mapped = PositionalFile::open(path);
    if (!mapped.ok()) return mapped.error();
    return std::unique_ptr<MappedContent>(new CountingMapping(std::move(mapped).value(), bytes_));
  }

 private:
  using Counter = std::shared_ptr<std::atomic<std::int64_t>>;

  class CountingStream final : public FileContentStream {
   public:
    CountingStream(std::unique_ptr<FileContentStream> inner, Counter bytes)
        : inner_(std::move(inner)), bytes_(std::move(bytes)) {}
    Result<std::size_t> read(unsigned char* buffer, std::size_t length) override {
      auto count = inner_->read(buffer, length);
      if (count.ok()) *bytes_ += static_cast<std::int64_t>(count.value());
      return count;
    }
    Result<std::int64_t> skip(std::int64_t length) override { return inner_->skip(length); }

   private:
    std::unique_ptr<FileContentStream> inner_;
    Counter bytes_;
  };

  class CountingMapping final : public MappedContent {
   public:
    CountingMapping(std::unique_ptr<MappedContent> inner, Counter bytes)
        : inner_(std::move(inner)), bytes_(std::move(bytes)) {}
    std::int64_t size() const override { return inner_->size(); }
    Result<void> copy(std::int64_t offset, std::int64_t length,
                      unsigned char* destination) const override {
      auto copied = inner_->copy(offset, length, destination);
      if (copied.ok()) *bytes_ += length;
      return copied;
    }

   private:
    std::unique_ptr<MappedContent> inner_;
    Counter bytes_;
  };

  Counter bytes_ = std::make_shared<std::atomic<std::int64_t>>(0);
};

// A sparse file of kFileSize bytes with a few written marks, removed when the program ends.
class HugeFile {
 public:
  HugeFile() {
    const char* base = std::getenv("TMPDIR");
    path_ = std::string(base != nullptr && *base ? base : "/tmp") + "/tessellon-fpbench-" +
            std::to_string(::getpid());
    const int descriptor = ::open(path_.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
    ok_ = descriptor >= 0 && ::ftruncate(descriptor, kFileSize) == 0;
    for (const std::int64_t offset : {std::int64_t{0}, kFileSize / 2, kFileSize - 8}) {
      ok_ = ok_ && ::pwrite(descriptor, "tessell", 8, offset) == 8;
    }
    if (descriptor >= 0) ::close(descriptor);
  }
  ~HugeFile() { ::unlink(path_.c_str()); }
  bool ok() const { return ok_; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  bool ok_ = false;
};

HugeFile& hugeFile() {
  static HugeFile file;
  return file;
}

void BM_FingerprintHugeFileMapped(benchmark::State& state) {
  CountingReader reader;
  for (auto _ : state) {
    benchmark::DoNotOptimize(HashUtils::getFileHash(reader, hugeFile().path(), {1, 1}));
  }
}
BENCHMARK(BM_FingerprintHugeFileMapped)->Unit(benchmark::kMicrosecond);

void BM_FingerprintHugeFileStreamed(benchmark::State& state) {
  CountingReader reader;
  for (auto _ : state) {
    benchmark::DoNotOptimize(HashUtils::getHashUsingStream(reader, hugeFile().path(), {1, 1}));
  }
}
BENCHMARK(BM_FingerprintHugeFileStreamed)->Unit(benchmark::kMicrosecond);

int reportBytesRead() {
  if (!hugeFile().ok()) {
    std::fprintf(stderr, "fingerprint bench: cannot make %s\n", hugeFile().path().c_str());
    return 1;
  }
  CountingReader reader;
  const auto mapped = HashUtils::getFileHash(reader, hugeFile().path(), {1, 1});
  const std::int64_t mappedBytes = reader.bytesRead();
  reader.resetCount();
  const auto streamed = HashUtils::getHashUsingStream(reader, hugeFile().path(), {1, 1});
  const std::int64_t streamedBytes = reader.bytesRead();
  if (!mapped.ok() || !streamed.ok() || mapped.value() != streamed.value()) {
    std::fprintf(stderr, "fingerprint bench: the two forms failed or disagree\n");
    return 1;
  }
  std::fprintf(stderr, "fingerprint bench: %s, mapped form %lld bytes, stream form %lld bytes\n",
               mapped.value().c_str(), static_cast<long long>(mappedBytes),
               static_cast<long long>(streamedBytes));
  const std::int64_t bytes = std::max(mappedBytes, streamedBytes);
  bench::reportBench("fingerprint_4gib_bytes_read", static_cast<double>(bytes), 0, "bytes",
                     "<=", static_cast<double>(kBytesTarget));
  return 0;
}

}  // namespace
}  // namespace tessellon

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::fflush(stdout);
  return tessellon::reportBytesRead();
}
