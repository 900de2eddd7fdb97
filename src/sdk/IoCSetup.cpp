#include "sdk/IoCSetup.h"

#include <mutex>

#include "backup/CleanupService.h"
#include "backup/ZipServiceDecorator.h"
#include "media/PathUtil.h"
#include "media/fingerprints/HashingUtilAdapter.h"
#include "model/json/BackupSerializer.h"
#include "model/json/MetadataSerializer.h"
#include "model/json/Serializer.h"
#include "model/loading/CompatibilityService.h"
#include "model/loading/MetadataLoader.h"
#include "model/loading/Migrations.h"
#include "platform/AdditionalSetup.h"
#include "platform/files/FileIOService.h"
#include "platform/identity/DeviceUIDServiceProtocol.h"
#include "platform/identity/SystemInformationProtocol.h"
#include "platform/memorymap/FileContentReaderProtocol.h"
#include "platform/zip/ZipService.h"
#include "remote/RemoteIOService.h"
#include "remote/SingleFileTransferStateReporter.h"
#include "sdk/AccessRequestFactory.h"
#include "sdk/CancelationService.h"
#include "sdk/FileStatusManager.h"
#include "sdk/IoC.h"
#include "sdk/NotificationService.h"

namespace tessellon {
namespace {

std::mutex& overridesMutex() {
  static std::mutex mutex;
  return mutex;
}

std::function<void()>& overrides() {
  static std::function<void()> hook;
  return hook;
}

}  // namespace

Result<void> IoCSetup::setupIoC(std::shared_ptr<BackupSDKDelegate> delegate,
                                std::shared_ptr<LoggerProtocol> logger,
                                const PlatformRoots& roots) {
  // A logger that cannot be registered leaves the library silent, not broken.
  if (logger) (void)IoC::registerSingleton<LoggerProtocol>(logger);
  Result<void> files =
      IoC::registerSingleton<FileIOServiceProtocol>(std::make_shared<FileIOService>(roots.temporary));
  if (!files.ok()) return files.error();

  IoC::registerLazySingleton<NotificationServiceProtocol>(
      [] { return std::make_shared<NotificationService>(IoC::optional<LoggerProtocol>()); });
  IoC::registerLazySingleton<FileStatusManagerProtocol>([] {
    return std::make_shared<FileStatusManager>(IoC::require<NotificationServiceProtocol>());
  });
  IoC::registerLazySingleton<SingleFileTransferStateReporterProtocol>([] {
    return std::make_shared<SingleFileTransferStateReporter>(
        IoC::require<FileStatusManagerProtocol>());
  });

  // The remote port is built at once: it is the one object every pipeline
  // shares, and the only one that holds the host's delegate.
  if (!delegate) {
    return makeError(BackupSDKError::unknownError, "no BackupSDKDelegate was given");
  }
  auto reporter = IoC::resolve<SingleFileTransferStateReporterProtocol>();
  if (!reporter.ok()) return reporter.error();
  (void)IoC::registerSingleton<RemoteIOServiceProtocol>(std::make_shared<RemoteIOService>(
      std::move(delegate), IoC::optional<FileIOServiceProtocol>(), IoC::optional<LoggerProtocol>(),
      reporter.value()));

  IoC::registerLazySingleton<ZipServiceProtocol>([] {
    return std::make_shared<ZipServiceDecorator>(IoC::optional<FileIOServiceProtocol>(),
                                                 std::make_shared<ZipService>());
  });
  IoC::registerLazySingleton<SerializerProtocol>([] {
    return std::make_shared<Serializer>(IoC::require<BackupSerializerProtocol>(),
                                        IoC::require<MetadataSerializerProtocol>());
  });
  IoC::registerLazySingleton<BackupSerializerProtocol>([] {
    // A "backup.json" without "deviceID" belongs to this device; asked only then.
    return std::make_shared<BackupSerializer>(
        [] { return IoC::require<DeviceUIDServiceProtocol>()->getUID(); });
  });
  IoC::registerLazySingleton<MetadataSerializerProtocol>(
      [] { return std::make_shared<MetadataSerializer>(); });
  IoC::registerLazySingleton<HashingUtilAdapterProtocol>([] {
    return std::make_shared<HashingUtilAdapter>(IoC::require<FileContentReaderProtocol>());
  });
  IoC::registerLazySingleton<PathUtilProtocol>([] { return std::make_shared<PathUtil>(); });
  IoC::registerLazySingleton<CancelationServiceProtocol>([] {
    return std::make_shared<CancelationService>(IoC::require<NotificationServiceProtocol>());
  });

  IoC::registerLazySingleton<MetadataLoaderProtocol>([] {
    return std::make_shared<MetadataLoader>(IoC::require<RemoteIOServiceProtocol>(),
                                            IoC::require<FileIOServiceProtocol>(),
                                            IoC::require<SerializerProtocol>());
  });
  IoC::registerLazySingleton<CompatibilityServiceProtocol>([] {
    return std::make_shared<CompatibilityService>(IoC::require<SystemInformationProtocol>());
  });
  IoC::registerLazySingleton<MigrationsProtocol>([] {
    return std::make_shared<Migrations>(IoC::require<RemoteIOServiceProtocol>(),
                                        IoC::optional<LoggerProtocol>());
  });
  IoC::registerLazySingleton<CleanupServiceProtocol>([] {
    return std::make_shared<CleanupService>(IoC::require<RemoteIOServiceProtocol>(),
                                            IoC::require<DeviceUIDServiceProtocol>());
  });
  IoC::registerLazySingleton<AccessRequestFactoryProtocol>(
      [] { return std::make_shared<AccessRequestFactory>(); });

  AdditionalSetup::setupIoC(roots);

  std::function<void()> hook;
  {
    std::lock_guard lock(overridesMutex());
    hook = overrides();
  }
  if (hook) hook();
  return {};
}

void IoCSetup::setOverrides(std::function<void()> hook) {
  std::lock_guard lock(overridesMutex());
  overrides() = std::move(hook);
}

}  // namespace tessellon
