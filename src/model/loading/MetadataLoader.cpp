#include "model/loading/MetadataLoader.h"

#include <typeinfo>

#include "tessellon/BackupSDKError.h"

#include "model/MediaMetaData.h"
#include "platform/files/ContentChecksum.h"

namespace tessellon {

MetadataLoader::MetadataLoader(std::shared_ptr<RemoteIOServiceProtocol> remoteIOService,
                               std::shared_ptr<FileIOServiceProtocol> fileIOService,
                               std::shared_ptr<Serializer> serializer)
    : remoteIOService_(std::move(remoteIOService)),
      fileIOService_(std::move(fileIOService)),
      serializer_(std::move(serializer)) {}

Future<std::shared_ptr<Serializable>> MetadataLoader::getRemoteMetaData(
    const std::string& path, std::shared_ptr<CancelToken> cancelToken,
    const std::type_info& expected) {
  using Loaded = FutureResult<std::shared_ptr<Serializable>>;
  return remoteIOService_->downloadFile(path, std::move(cancelToken))
      .onSuccess([files = fileIOService_, serializer = serializer_, &expected,
                  path](const std::string& localPath) {
        // Read and parsed in one step: the text, many megabytes for a large library, goes as
        // soon as the items are made instead of living on in a future's result.
        return files->read(localPath).onComplete(
            [files, localPath, serializer, &expected, path](const FutureResult<std::string>& text) {
              // The copy goes once read, whatever it held: a document left in the temporary folder
              // is a list of the user's contacts or photos.
              (void)files->deleteItem(localPath);
              if (text.isCancelled()) return Loaded::cancelled();
              if (text.isFail()) return Loaded::fail(text.failure());
              auto model = serializer->deserialize(text.successValue(), expected);
              // Whatever the reader objects to, for the caller the document is corrupt.
              if (!model.ok()) {
                return Loaded::fail(makeError(BackupSDKError::corruptMetaData,
                                              path + ": " + model.error().message));
              }
              if (expected == typeid(MediaMetaData)) {
                static_cast<MediaMetaData&>(*model.value()).documentChecksum =
                    textChecksum(text.successValue());
              }
              return Loaded::success(std::move(model).value());
            });
      });
}

}  // namespace tessellon
