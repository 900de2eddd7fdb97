#include "backup/StoredChecksum.h"

#include <utility>

#include "platform/files/ContentChecksum.h"

namespace tessellon {

StoredChecksum::StoredChecksum(std::shared_ptr<RemoteIOServiceProtocol> remote,
                               std::shared_ptr<FileIOServiceProtocol> files)
    : remote_(std::move(remote)), files_(std::move(files)) {}

Future<std::string> StoredChecksum::of(const std::string& path,
                                       const std::shared_ptr<CancelToken>& token) const {
  auto checksum = std::make_shared<ContentChecksum>();
  return remote_
      ->readFile(
          path,
          [checksum](const char* data, size_t size) {
            checksum->update(data, size);
            return true;
          },
          token)
      .onComplete([remote = remote_, files = files_, path, token,
                   checksum](const FutureResult<bool>& read) -> Future<std::string> {
        if (read.isCancelled()) return Future<std::string>::cancelled();
        if (read.isFail()) return Future<std::string>::fail(read.failure());
        if (read.successValue()) return Future<std::string>::success(checksum->finish());
        // The host cannot stream: the file is downloaded instead, read, and let go.
        return remote->downloadFileInternal(path, nullptr, token)
            .onComplete([files](const FutureResult<std::string>& copy) -> Future<std::string> {
              if (copy.isCancelled()) return Future<std::string>::cancelled();
              if (copy.isFail()) return Future<std::string>::fail(copy.failure());
              Result<std::string> sum = files->contentChecksum(copy.successValue());
              (void)files->deleteItem(copy.successValue());
              if (!sum.ok()) return Future<std::string>::fail(sum.error());
              return Future<std::string>::success(std::move(sum).value());
            });
      });
}

}  // namespace tessellon
