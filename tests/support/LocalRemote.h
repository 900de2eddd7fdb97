#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "core/FileStatusManager.h"
#include "core/NotificationService.h"
#include "delegates/LocalFolderDelegate.h"
#include "model/json/BackupSerializer.h"
#include "model/json/MetadataSerializer.h"
#include "model/json/Serializer.h"
#include "remote/RemoteIOService.h"
#include "remote/SingleFileTransferStateReporter.h"
#include "support/FaultyDelegate.h"
#include "support/TempDir.h"

// The pieces the backup and restore services share over a folder-backed remote.
namespace tessellon {

// A host over "<space>/remote" (downloads to "<space>/downloads"), wrapped for faults.
inline std::shared_ptr<FaultyDelegate> folderHost(const TempDir& space, int64_t zipSize = 4096) {
  return std::make_shared<FaultyDelegate>(std::make_shared<hosts::LocalFolderDelegate>(
      space.file("remote"), zipSize, std::nullopt, space.file("downloads")));
}

inline std::shared_ptr<FileStatusManager> statusManager() {
  return std::make_shared<FileStatusManager>(std::make_shared<NotificationService>(nullptr));
}

// The library's remote port over `host`, reporting transfers to `status`.
inline std::shared_ptr<RemoteIOService> remoteOver(
    std::shared_ptr<BackupSDKDelegate> host, std::shared_ptr<FileIOServiceProtocol> files,
    std::shared_ptr<LoggerProtocol> logger,
    std::shared_ptr<FileStatusManager> status = statusManager(),
    std::chrono::milliseconds requestTimeout = RemoteIOService::kDefaultRequestTimeout) {
  return std::make_shared<RemoteIOService>(
      std::move(host), std::move(files), std::move(logger),
      std::make_shared<SingleFileTransferStateReporter>(std::move(status)), std::string(),
      requestTimeout);
}

inline std::shared_ptr<Serializer> serializerFor(std::string device = "MAC1") {
  return std::make_shared<Serializer>(
      std::make_shared<BackupSerializer>([device] { return device; }),
      std::make_shared<MetadataSerializer>());
}

}  // namespace tessellon
