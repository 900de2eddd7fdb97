#include "tessellon/BackupSDKError.h"

#include <array>
#include <utility>

namespace tessellon {
namespace {

using Entry = std::pair<BackupSDKError, std::string_view>;

#define TESSELLON_CASE(name) \
  Entry { BackupSDKError::name, #name }
constexpr std::array kCases = {
    TESSELLON_CASE(unknownError),
    TESSELLON_CASE(delegateFileDownloadFailed),
    TESSELLON_CASE(delegateFileDoesNotExist),
    TESSELLON_CASE(delegateDirectoryExist),
    TESSELLON_CASE(delegateDirectoryCreationFailed),
    TESSELLON_CASE(delegateDirectoryInfoFailed),
    TESSELLON_CASE(delegateDeleteFileFailed),
    TESSELLON_CASE(isAlreadyRunning),
    TESSELLON_CASE(cannotFetchAvailableBackups),
    TESSELLON_CASE(versionConflict),
    TESSELLON_CASE(isCanceling),
    TESSELLON_CASE(backupLocked),
    TESSELLON_CASE(contactsAccessDenied),
    TESSELLON_CASE(contactsSaveContactFailed),
    TESSELLON_CASE(contactsFetchingContainersFailed),
    TESSELLON_CASE(contactsFetchingResultsForContainersFailed),
    TESSELLON_CASE(contactsVersionIncompatibility),
    TESSELLON_CASE(mediaNoPhotoLibraryAccess),
    TESSELLON_CASE(mediaNoAVURLAsset),
    TESSELLON_CASE(mediaNoAccessToPath),
    TESSELLON_CASE(mediaNoAssetWithGivenLocalId),
    TESSELLON_CASE(mediaAssetCastFailed),
    TESSELLON_CASE(mediaGivenAssetNoVideo),
    TESSELLON_CASE(mediaGivenAssetNoImage),
    TESSELLON_CASE(mediaWriteDataToURLFailed),
    TESSELLON_CASE(mediaNoImageData),
    TESSELLON_CASE(mediaNoVideoData),
    TESSELLON_CASE(mediaFailedToAddVideo),
    TESSELLON_CASE(mediaFailedToAddImage),
    TESSELLON_CASE(mediaFailedToAccessDateInfo),
    TESSELLON_CASE(mediaFailedToCreateFolder),
    TESSELLON_CASE(mediaFailedToCreateAlbum),
    TESSELLON_CASE(mediaFailedToAccessInfo),
    TESSELLON_CASE(mediaFailedCauseOfCancel),
    TESSELLON_CASE(mediaFailedToFindHashedItem),
    TESSELLON_CASE(mediaNotEnoughRemoteStorage),
    TESSELLON_CASE(mediaUnknownPhotoLibraryAccess),
    TESSELLON_CASE(fileIOParentDirectoryNotFound),
    TESSELLON_CASE(fileIOFailedToReadFile),
    TESSELLON_CASE(fileIOFailedToMoveFile),
    TESSELLON_CASE(fileIOFailedToDelete),
    TESSELLON_CASE(fileIOFailedToCreateDirectory),
    TESSELLON_CASE(fileIOFailedToUploadFile),
    TESSELLON_CASE(jsonDeserializationFailed),
    TESSELLON_CASE(corruptBackupMetaData),
    TESSELLON_CASE(corruptMetaData),
    TESSELLON_CASE(jsonSerializationFailed),
    TESSELLON_CASE(zipAppendFailed),
    TESSELLON_CASE(zipFailedNotEnoughDiskSpace),
    TESSELLON_CASE(wrongOSError),
    TESSELLON_CASE(calendarsAccessDenied),
    TESSELLON_CASE(calendarsSaveCalendarFailed),
};
#undef TESSELLON_CASE

static_assert(kCases.size() == 52);

}  // namespace

std::optional<BackupSDKError> backupSDKErrorFromRawValue(int code) {
  for (const auto& [error, name] : kCases) {
    if (static_cast<int>(error) == code) return error;
  }
  return std::nullopt;
}

std::string_view caseName(BackupSDKError error) {
  for (const auto& [candidate, name] : kCases) {
    if (candidate == error) return name;
  }
  return "unknown";
}

Error makeError(BackupSDKError error, std::string message) {
  if (message.empty()) message = std::string(caseName(error));
  return Error{std::string(kBackupSDKErrorDomain), static_cast<int>(error), std::move(message)};
}

bool isError(const Error& error, BackupSDKError code) {
  return error.domain == kBackupSDKErrorDomain && error.code == static_cast<int>(code);
}

}  // namespace tessellon
