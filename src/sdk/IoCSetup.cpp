#include "sdk/IoCSetup.h"

#include <mutex>

#include "backup/ArchiveUploader.h"
#include "backup/BackupInformationCollector.h"
#include "backup/BackupPreviewService.h"
#include "backup/BackupService.h"
#include "backup/CalendarService.h"
#include "backup/CleanupService.h"
#include "backup/DocumentBackup.h"
#include "backup/MediaBackup.h"
#include "backup/OptimizeTaskListService.h"
#include "backup/ZipServiceDecorator.h"
#include "core/FileStatusManager.h"
#include "core/IoC.h"
#include "core/NotificationService.h"
#include "media/DuplicateCollection.h"
#include "media/MediaService.h"
#include "media/caches/CachingService.h"
#include "media/discovery/FileExtensionFilter.h"
#include "media/discovery/MediaItemRepository.h"
#include "media/discovery/MediaRepository.h"
#include "media/discovery/MediaRepositoryHelper.h"
#include "media/discovery/PathValidator.h"
#include "media/fingerprints/HashingUtilAdapter.h"
#include "media/placement/RestoreMediaItemHelper.h"
#include "media/placement/SolveNameConflictOnRestoreStrategy.h"
#include "model/json/BackupSerializer.h"
#include "model/json/MetadataSerializer.h"
#include "model/json/Serializer.h"
#include "model/loading/CompatibilityService.h"
#include "model/loading/MetadataLoader.h"
#include "model/loading/Migrations.h"
#include "platform/AdditionalSetup.h"
#include "platform/access/AccessRequestFactory.h"
#include "platform/files/FileIOService.h"
#include "platform/files/TemporaryFolderService.h"
#include "platform/identity/DeviceUIDServiceProtocol.h"
#include "platform/identity/SystemInformationProtocol.h"
#include "platform/locations/LocationProviderProtocol.h"
#include "platform/memorymap/FileContentReaderProtocol.h"
#include "platform/zip/ZipService.h"
#include "remote/RemoteIOService.h"
#include "remote/SingleFileTransferStateReporter.h"
#include "restore/RestoreContactsUnit.h"
#include "restore/RestoreDataHandler.h"
#include "restore/RestoreHelper.h"
#include "restore/RestoreMediaItemService.h"
#include "restore/RestoreService.h"
#include "restore/RestoreStatusService.h"
#include "sdk/AccessService.h"
#include "sdk/CancelationService.h"

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

// Discovery, fingerprint caches and duplicates: the repositories share one
// cache and one duplicate collection.
void registerMediaServices(const PlatformRoots& roots) {
  IoC::registerLazySingleton<CachingService>([temporary = roots.temporary] {
    return std::make_shared<CachingService>(temporary, IoC::optional<FileIOServiceProtocol>());
  });
  IoC::registerLazySingleton<DuplicateCollection>(
      [] { return std::make_shared<DuplicateCollection>(IoC::require<HashingUtilAdapter>()); });
  IoC::registerLazySingleton<PathValidator>(
      [] { return std::make_shared<PathValidator>(IoC::require<FileIOServiceProtocol>()); });
  IoC::registerLazySingleton<FileExtensionFilter>(
      [] { return std::make_shared<FileExtensionFilter>(); });
  IoC::registerLazySingleton<SolveNameConflictOnRestoreStrategy>([] {
    return std::make_shared<SolveNameConflictOnRestoreStrategy>(
        IoC::optional<FileIOServiceProtocol>());
  });
  IoC::registerLazySingleton<RestoreMediaItemHelper>([] {
    return std::make_shared<RestoreMediaItemHelper>(
        IoC::optional<CachingService>(), IoC::require<FileIOServiceProtocol>(),
        IoC::optional<LoggerProtocol>(), IoC::require<LocationProviderProtocol>(),
        IoC::require<SolveNameConflictOnRestoreStrategy>());
  });
  IoC::registerLazySingleton<MediaRepositoryHelper>([] {
    return std::make_shared<MediaRepositoryHelper>(
        IoC::optional<CachingService>(), IoC::require<ZipServiceProtocol>(),
        IoC::require<FileIOServiceProtocol>(), IoC::require<RestoreMediaItemHelper>(),
        IoC::require<LocationProviderProtocol>(), IoC::require<PathValidator>(),
        IoC::require<FileExtensionFilter>(), IoC::require<DuplicateCollection>(),
        IoC::require<HashingUtilAdapter>(), IoC::optional<LoggerProtocol>());
  });
  IoC::registerLazySingleton<MediaRepositoryProtocol>([] {
    const auto repository = [](SkippedItem::Category category) {
      return std::make_shared<MediaItemRepository>(category, IoC::require<MediaRepositoryHelper>(),
                                                   IoC::require<LocationProviderProtocol>(),
                                                   IoC::require<FileExtensionFilter>());
    };
    return std::make_shared<MediaRepository>(
        repository(SkippedItem::Category::videos), repository(SkippedItem::Category::images),
        IoC::optional<CachingService>(), IoC::require<AccessRequestFactoryProtocol>());
  });
  IoC::registerLazySingleton<ImageServiceProtocol>(
      [] { return std::make_shared<ImageService>(IoC::require<MediaRepositoryProtocol>()); });
  IoC::registerLazySingleton<VideoServiceProtocol>(
      [] { return std::make_shared<VideoService>(IoC::require<MediaRepositoryProtocol>()); });
}

// Preview, the run and its category services, listing.
void registerBackupServices(const PlatformRoots& roots) {
  const std::string temporary = roots.temporary;
  IoC::registerLazySingleton<CalendarService>([] {
    return std::make_shared<CalendarService>(IoC::optional<CalendarRepositoryProtocol>());
  });
  IoC::registerLazySingleton<OptimizeTaskListService>([] {
    return std::make_shared<OptimizeTaskListService>(IoC::require<NotificationService>(),
                                                     IoC::require<VideoServiceProtocol>(),
                                                     IoC::require<ImageServiceProtocol>());
  });
  IoC::registerLazySingleton<BackupPreviewServiceProtocol>([] {
    return std::make_shared<BackupPreviewService>(
        IoC::require<CalendarService>(), IoC::require<ContactRepositoryProtocol>(),
        IoC::require<VideoServiceProtocol>(), IoC::require<ImageServiceProtocol>(),
        IoC::require<DeviceUIDServiceProtocol>(), IoC::require<RemoteIOServiceProtocol>(),
        IoC::require<DuplicateCollection>(), IoC::require<MetadataLoader>(),
        IoC::require<CachingService>(), IoC::require<FileIOServiceProtocol>(),
        IoC::require<Serializer>(), IoC::require<OptimizeTaskListService>(),
        IoC::optional<LoggerProtocol>(), TESSELLON_VERSION);
  });
  IoC::registerLazySingleton<BackupInformationCollectorProtocol>([] {
    return std::make_shared<BackupInformationCollector>(
        IoC::optional<RemoteIOServiceProtocol>(), IoC::optional<FileIOServiceProtocol>(),
        IoC::optional<Serializer>(), IoC::require<Migrations>());
  });
  IoC::registerLazySingleton<BackupServiceProtocol>([temporary] {
    auto archives = std::make_shared<ArchiveUploader>(ArchiveUploader::Collaborators{
        IoC::require<FileIOServiceProtocol>(), IoC::require<ZipServiceProtocol>(),
        IoC::require<RemoteIOServiceProtocol>(), IoC::require<DeviceUIDServiceProtocol>(),
        IoC::require<Serializer>(), IoC::optional<LoggerProtocol>(), temporary});
    auto status = IoC::require<FileStatusManager>();
    auto logger = IoC::optional<LoggerProtocol>();
    auto media = [&](std::shared_ptr<MediaServiceProtocol> service,
                     const MediaBackup::Category& category) {
      return std::make_shared<MediaBackup>(archives, IoC::require<RemoteIOServiceProtocol>(),
                                           std::move(service), IoC::require<CachingService>(),
                                           status, IoC::require<Serializer>(), logger, category);
    };
    std::vector<std::shared_ptr<CategoryBackup>> categories{
        std::make_shared<DocumentBackup<Contact>>(
            archives, status, logger,
            DocumentBackup<Contact>::Category{&BackupRecord::contactsMetaData,
                                              &ProcessReport::contacts, "contacts.json",
                                              "Contacts"}),
        std::make_shared<DocumentBackup<CalendarEntry>>(
            archives, status, logger,
            DocumentBackup<CalendarEntry>::Category{&BackupRecord::calendarsMetaData,
                                                    &ProcessReport::calendars, "calendars.json",
                                                    "Calendars"}),
        media(IoC::require<ImageServiceProtocol>(), MediaBackup::kImages),
        media(IoC::require<VideoServiceProtocol>(), MediaBackup::kVideos)};
    return std::make_shared<BackupService>(archives, IoC::require<RemoteIOServiceProtocol>(),
                                           status, logger, std::move(categories),
                                           IoC::require<CleanupServiceProtocol>());
  });
}

// Listing and the restore with its category services.
void registerRestoreServices() {
  IoC::registerLazySingleton<RestoreStatusServiceProtocol>(
      [] { return std::make_shared<RestoreStatusService>(IoC::optional<FileStatusManager>()); });
  IoC::registerLazySingleton<RestoreContactsUnit>([] {
    return std::make_shared<RestoreContactsUnit>(IoC::optional<ContactRepositoryProtocol>(),
                                                 IoC::optional<CNContactStoreHelper>(),
                                                 IoC::optional<LoggerProtocol>());
  });
  // Images and videos restore side by side under one limit of downloads.
  auto restoreSlots = std::make_shared<RestoreSlots>();
  IoC::registerLazySingleton<RestoreDataHandler>([restoreSlots] {
    auto media = [&](std::shared_ptr<MediaServiceProtocol> service,
                     const RestoreMediaItemService::Vocabulary& category) {
      return std::make_shared<RestoreMediaItemService>(
          IoC::require<RemoteIOServiceProtocol>(), IoC::optional<LoggerProtocol>(),
          IoC::require<RestoreStatusServiceProtocol>(), IoC::require<FileIOServiceProtocol>(),
          std::move(service), category, restoreSlots);
    };
    return std::make_shared<RestoreDataHandler>(
        IoC::optional<LoggerProtocol>(), IoC::require<RestoreStatusServiceProtocol>(),
        IoC::optional<CalendarService>(),
        media(IoC::require<ImageServiceProtocol>(), RestoreMediaItemService::kImages),
        media(IoC::require<VideoServiceProtocol>(), RestoreMediaItemService::kVideos),
        IoC::optional<RestoreContactsUnit>());
  });
  IoC::registerLazySingleton<RestoreHelperProtocol>([] {
    return std::make_shared<RestoreHelper>(RestoreHelper::Collaborators{
        IoC::optional<CompatibilityService>(), IoC::optional<LoggerProtocol>(),
        IoC::require<FileIOServiceProtocol>(), IoC::require<RemoteIOServiceProtocol>(),
        IoC::optional<CachingService>(), IoC::require<Serializer>(),
        IoC::require<RestoreDataHandler>(), IoC::require<RestoreStatusServiceProtocol>()});
  });
  IoC::registerLazySingleton<RestoreServiceProtocol>([] {
    return std::make_shared<RestoreService>(IoC::require<BackupInformationCollectorProtocol>(),
                                            IoC::require<RestoreHelperProtocol>());
  });
}

}  // namespace

Result<void> IoCSetup::setupIoC(std::shared_ptr<BackupSDKDelegate> delegate,
                                const std::shared_ptr<LoggerProtocol>& logger,
                                const PlatformRoots& roots,
                                std::optional<std::chrono::milliseconds> remoteRequestTimeout) {
  // A logger that cannot be registered leaves the library silent, not broken.
  if (logger) (void)IoC::registerSingleton<LoggerProtocol>(logger);
  Result<void> files = IoC::registerSingleton<FileIOServiceProtocol>(
      std::make_shared<FileIOService>(roots.temporary));
  if (!files.ok()) return files.error();
  IoC::registerLazySingleton<TemporaryFolderServiceProtocol>([temporary = roots.temporary] {
    return std::make_shared<TemporaryFolderService>(temporary);
  });

  IoC::registerLazySingleton<NotificationService>(
      [] { return std::make_shared<NotificationService>(IoC::optional<LoggerProtocol>()); });
  IoC::registerLazySingleton<FileStatusManager>(
      [] { return std::make_shared<FileStatusManager>(IoC::require<NotificationService>()); });
  IoC::registerLazySingleton<SingleFileTransferStateReporter>([] {
    return std::make_shared<SingleFileTransferStateReporter>(IoC::require<FileStatusManager>());
  });

  // The remote port is built at once: it is the one object every pipeline
  // shares, and the only one that holds the host's delegate.
  if (!delegate) {
    return makeError(BackupSDKError::unknownError, "no BackupSDKDelegate was given");
  }
  auto reporter = IoC::resolve<SingleFileTransferStateReporter>();
  if (!reporter.ok()) return reporter.error();
  (void)IoC::registerSingleton<RemoteIOServiceProtocol>(std::make_shared<RemoteIOService>(
      std::move(delegate), IoC::optional<FileIOServiceProtocol>(), IoC::optional<LoggerProtocol>(),
      reporter.value(), roots.temporary,
      remoteRequestTimeout.value_or(RemoteIOService::kDefaultRequestTimeout),
      std::vector<std::string>{roots.pictures, roots.movies, roots.contacts, roots.calendars,
                               roots.state},
      std::vector<std::string>{roots.systemTemporary}));

  IoC::registerLazySingleton<ZipServiceProtocol>([] {
    return std::make_shared<ZipServiceDecorator>(IoC::optional<FileIOServiceProtocol>(),
                                                 std::make_shared<ZipService>());
  });
  IoC::registerLazySingleton<Serializer>([] {
    return std::make_shared<Serializer>(IoC::require<BackupSerializer>(),
                                        IoC::require<MetadataSerializer>());
  });
  IoC::registerLazySingleton<BackupSerializer>([] {
    // A "backup.json" without "deviceID" belongs to this device; asked only then.
    return std::make_shared<BackupSerializer>(
        [] { return IoC::require<DeviceUIDServiceProtocol>()->getUID(); });
  });
  IoC::registerLazySingleton<MetadataSerializer>(
      [] { return std::make_shared<MetadataSerializer>(); });
  IoC::registerLazySingleton<HashingUtilAdapter>([] {
    return std::make_shared<HashingUtilAdapter>(IoC::require<FileContentReaderProtocol>());
  });
  IoC::registerLazySingleton<CancelationService>(
      [] { return std::make_shared<CancelationService>(IoC::require<NotificationService>()); });

  IoC::registerLazySingleton<MetadataLoader>([] {
    return std::make_shared<MetadataLoader>(IoC::require<RemoteIOServiceProtocol>(),
                                            IoC::require<FileIOServiceProtocol>(),
                                            IoC::require<Serializer>());
  });
  IoC::registerLazySingleton<CompatibilityService>([] {
    return std::make_shared<CompatibilityService>(IoC::require<SystemInformationProtocol>());
  });
  IoC::registerLazySingleton<Migrations>([] {
    return std::make_shared<Migrations>(IoC::require<RemoteIOServiceProtocol>(),
                                        IoC::optional<LoggerProtocol>());
  });
  IoC::registerLazySingleton<CleanupServiceProtocol>([] {
    return std::make_shared<CleanupService>(IoC::require<RemoteIOServiceProtocol>(),
                                            IoC::require<DeviceUIDServiceProtocol>());
  });
  IoC::registerLazySingleton<AccessServiceProtocol>([] {
    return std::make_shared<AccessService>(IoC::require<ContactRepositoryProtocol>(),
                                           IoC::optional<CalendarRepositoryProtocol>(),
                                           IoC::optional<MediaRepositoryProtocol>());
  });
  IoC::registerLazySingleton<AccessRequestFactoryProtocol>(
      [] { return std::make_shared<AccessRequestFactory>(); });

  registerMediaServices(roots);
  registerBackupServices(roots);
  registerRestoreServices();
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
