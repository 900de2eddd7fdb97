#pragma once

#include <memory>

#include "model/json/SerializerProtocol.h"
#include "model/loading/MetadataLoaderProtocol.h"
#include "platform/files/FileIOServiceProtocol.h"
#include "remote/RemoteIOServiceProtocol.h"

namespace tessellon {

class MetadataLoader final : public MetadataLoaderProtocol {
 public:
  MetadataLoader(std::shared_ptr<RemoteIOServiceProtocol> remoteIOService,
                 std::shared_ptr<FileIOServiceProtocol> fileIOService,
                 std::shared_ptr<SerializerProtocol> serializer);

  using MetadataLoaderProtocol::getRemoteMetaData;
  Future<std::shared_ptr<Serializable>> getRemoteMetaData(
      const std::string& path, std::shared_ptr<CancelToken> cancelToken,
      const std::type_info& expected) override;

 private:
  std::shared_ptr<RemoteIOServiceProtocol> remoteIOService_;
  std::shared_ptr<FileIOServiceProtocol> fileIOService_;
  std::shared_ptr<SerializerProtocol> serializer_;
};

}  // namespace tessellon
