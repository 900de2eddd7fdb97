#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <typeinfo>

#include "core/CancelToken.h"
#include "futures/Future.h"
#include "model/Serializable.h"
#include "model/json/Serializer.h"
#include "platform/files/FileIOServiceProtocol.h"
#include "remote/RemoteIOServiceProtocol.h"

namespace tessellon {

// Turns a stored metadata document on the remote into its model.
class MetadataLoader final {
 public:
  static constexpr std::string_view kProtocolName = "MetadataLoader";
  MetadataLoader(std::shared_ptr<RemoteIOServiceProtocol> remoteIOService,
                 std::shared_ptr<FileIOServiceProtocol> fileIOService,
                 std::shared_ptr<Serializer> serializer);

  // Downloads the document at the remote relative `path` and reads it as
  // `expected` (Backup, MediaMetaData, ItemsMetaData<Contact> or
  // ItemsMetaData<CalendarEntry>). A document that does not read as that model
  // fails with 503 (corruptMetaData); download and read failures pass unchanged.
  Future<std::shared_ptr<Serializable>> getRemoteMetaData(const std::string& path,
                                                          std::shared_ptr<CancelToken> cancelToken,
                                                          const std::type_info& expected);

  template <class T>
  Future<std::shared_ptr<T>> getRemoteMetaData(const std::string& path,
                                               std::shared_ptr<CancelToken> cancelToken) {
    return getRemoteMetaData(path, std::move(cancelToken), typeid(T))
        .onSuccess([](const std::shared_ptr<Serializable>& model) {
          return std::static_pointer_cast<T>(model);
        });
  }

 private:
  std::shared_ptr<RemoteIOServiceProtocol> remoteIOService_;
  std::shared_ptr<FileIOServiceProtocol> fileIOService_;
  std::shared_ptr<Serializer> serializer_;
};

}  // namespace tessellon
