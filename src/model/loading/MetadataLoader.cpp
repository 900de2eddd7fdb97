#include "model/loading/MetadataLoader.h"

#include <typeinfo>

#include "tessellon/BackupSDKError.h"
#include "tessellon/MediaMetaData.h"

#include "platform/files/ContentChecksum.h"

namespace tessellon {

MetadataLoader::MetadataLoader(std::shared_ptr<RemoteIOServiceProtocol> remoteIOService,
                               std::shared_ptr<FileIOServiceProtocol> fileIOService,
                               std::shared_ptr<SerializerProtocol> serializer)
    : remoteIOService_(std::move(remoteIOService)),
      fileIOService_(std::move(fileIOService)),
      serializer_(std::move(serializer)) {}

Future<std::shared_ptr<Serializable>> MetadataLoader::getRemoteMetaData(
    const std::string& path, std::shared_ptr<CancelToken> cancelToken,
    const std::type_info& expected) {
  return remoteIOService_->downloadFile(path, std::move(cancelToken))
      .onSuccess([files = fileIOService_](const std::string& localPath) {
        // The copy goes once read, whatever it held: a document left in the temporary folder
        // is a list of the user's contacts or photos.
        return files->read(localPath).onComplete(
            [files, localPath](const FutureResult<std::string>& text) {
              (void)files->deleteItem(localPath);
              return text;
            });
      })
      .onSuccess([serializer = serializer_, &expected,
                  path](const std::string& text) -> FutureResult<std::shared_ptr<Serializable>> {
        auto model = serializer->deserialize(text, expected);
        // Whatever the reader objects to, for the caller the document is corrupt.
        if (!model.ok()) {
          return FutureResult<std::shared_ptr<Serializable>>::fail(
              makeError(BackupSDKError::corruptMetaData, path + ": " + model.error().message));
        }
        if (expected == typeid(MediaMetaData)) {
          static_cast<MediaMetaData&>(*model.value()).documentChecksum = textChecksum(text);
        }
        return FutureResult<std::shared_ptr<Serializable>>::success(std::move(model).value());
      });
}

}  // namespace tessellon
