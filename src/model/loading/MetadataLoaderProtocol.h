#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <typeinfo>

#include "futures/Future.h"
#include "core/CancelToken.h"
#include "tessellon/Serializable.h"

namespace tessellon {

// Turns a stored metadata document on the remote into its model.
class MetadataLoaderProtocol {
 public:
  static constexpr std::string_view kProtocolName = "MetadataLoaderProtocol";
  MetadataLoaderProtocol() = default;
  virtual ~MetadataLoaderProtocol() = default;
  MetadataLoaderProtocol(const MetadataLoaderProtocol&) = delete;
  MetadataLoaderProtocol& operator=(const MetadataLoaderProtocol&) = delete;

  // Downloads the document at the remote relative `path` and reads it as
  // `expected` (Backup, MediaMetaData, ItemsMetaData<Contact> or
  // ItemsMetaData<CalendarEntry>). A document that does not read as that model
  // fails with 503 (corruptMetaData); download and read failures pass unchanged.
  virtual Future<std::shared_ptr<Serializable>> getRemoteMetaData(
      const std::string& path, std::shared_ptr<CancelToken> cancelToken,
      const std::type_info& expected) = 0;

  template <class T>
  Future<std::shared_ptr<T>> getRemoteMetaData(const std::string& path,
                                               std::shared_ptr<CancelToken> cancelToken) {
    return getRemoteMetaData(path, std::move(cancelToken), typeid(T))
        .onSuccess([](const std::shared_ptr<Serializable>& model) {
          return std::static_pointer_cast<T>(model);
        });
  }
};

}  // namespace tessellon
