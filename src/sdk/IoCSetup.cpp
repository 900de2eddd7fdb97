#include "sdk/IoCSetup.h"

#include <mutex>

#include "backup/ZipServiceDecorator.h"
#include "media/PathUtil.h"
#include "media/fingerprints/HashingUtilAdapter.h"
#include "platform/AdditionalSetup.h"
#include "platform/files/FileIOService.h"
#include "platform/memorymap/FileContentReaderProtocol.h"
#include "platform/zip/ZipService.h"
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

  IoC::registerLazySingleton<ZipServiceProtocol>([] {
    return std::make_shared<ZipServiceDecorator>(IoC::optional<FileIOServiceProtocol>(),
                                                 std::make_shared<ZipService>());
  });
  IoC::registerLazySingleton<HashingUtilAdapterProtocol>([] {
    return std::make_shared<HashingUtilAdapter>(IoC::require<FileContentReaderProtocol>());
  });
  IoC::registerLazySingleton<PathUtilProtocol>([] { return std::make_shared<PathUtil>(); });
  IoC::registerLazySingleton<CancelationServiceProtocol>([] {
    return std::make_shared<CancelationService>(IoC::require<NotificationServiceProtocol>());
  });

  (void)delegate;  // the remote port, built here eagerly, wraps it
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
