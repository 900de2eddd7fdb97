#include "platform/AdditionalSetup.h"

#include "tessellon/LoggerProtocol.h"

#include "core/IoC.h"
#include "platform/calendar/CalendarEventUpdater.h"
#include "platform/calendar/CalendarFilter.h"
#include "platform/calendar/CalendarRepository.h"
#include "platform/calendar/CalendarRepositoryHelper.h"
#include "platform/contacts/CNContactStoreHelper.h"
#include "platform/contacts/ContactRepository.h"
#include "platform/identity/DeviceUIDService.h"
#include "platform/identity/DirectoryUtilsAdapter.h"
#include "platform/identity/SystemInformation.h"
#include "platform/identity/UserDefaultsService.h"
#include "platform/locations/LocationProvider.h"
#include "platform/locations/PHPhotoLibraryWrapper.h"
#include "platform/memorymap/FileContentReader.h"

namespace tessellon {

void AdditionalSetup::setupIoC(const PlatformRoots& roots) {
  IoC::registerLazySingleton<FileContentReaderProtocol>(
      [] { return std::make_shared<FileContentReader>(); });
  IoC::registerLazySingleton<UserDefaultsServiceProtocol>(
      [state = roots.state] { return std::make_shared<UserDefaultsService>(state); });
  IoC::registerLazySingleton<DeviceUIDServiceProtocol>([] {
    return std::make_shared<DeviceUIDService>(IoC::require<UserDefaultsServiceProtocol>(),
                                              DeviceUID::kMachineIdPath,
                                              IoC::optional<LoggerProtocol>());
  });
  IoC::registerLazySingleton<DirectoryUtilsProtocol>(
      [] { return std::make_shared<DirectoryUtilsAdapter>(); });
  IoC::registerLazySingleton<CNContactStoreHelper>(
      [] { return std::make_shared<CNContactStoreHelper>(); });
  IoC::registerLazySingleton<ContactRepositoryProtocol>([root = roots.contacts] {
    return std::make_shared<ContactRepository>(root, IoC::require<CNContactStoreHelper>(),
                                               IoC::optional<LoggerProtocol>());
  });
  IoC::registerLazySingleton<CalendarRepositoryProtocol>([root = roots.calendars] {
    auto logger = IoC::optional<LoggerProtocol>();
    return std::make_shared<CalendarRepository>(
        root, logger, std::make_shared<CalendarFilter>(),
        std::make_shared<CalendarRepositoryHelper>(logger,
                                                   std::make_shared<CalendarEventUpdater>()));
  });
  IoC::registerLazySingleton<SystemInformationProtocol>(
      [] { return std::make_shared<SystemInformation>(); });
  IoC::registerLazySingleton<PHPhotoLibraryWrapperProtocol>(
      [] { return std::make_shared<PHPhotoLibraryWrapper>(); });
  IoC::registerLazySingleton<LocationProviderProtocol>([roots] {
    return std::make_shared<LocationProvider>(IoC::require<DirectoryUtilsProtocol>(),
                                              IoC::require<FileIOServiceProtocol>(), roots.pictures,
                                              roots.movies);
  });
}

}  // namespace tessellon
