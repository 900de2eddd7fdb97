#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tessellon/Error.h"

namespace tessellon {

// The library's error codes. The integer value is the code a host sees in
// Error::code under the domain "BackupSDKError".
enum class BackupSDKError : int {
  unknownError = 0,
  delegateFileDownloadFailed = 1,
  delegateFileDoesNotExist = 2,
  delegateDirectoryExist = 3,
  delegateDirectoryCreationFailed = 4,
  delegateDirectoryInfoFailed = 5,
  delegateDeleteFileFailed = 8,
  isAlreadyRunning = 101,
  cannotFetchAvailableBackups = 102,
  versionConflict = 103,
  isCanceling = 104,
  backupLocked = 105,
  contactsAccessDenied = 201,
  contactsSaveContactFailed = 202,
  contactsFetchingContainersFailed = 203,
  contactsFetchingResultsForContainersFailed = 204,
  contactsVersionIncompatibility = 205,
  mediaNoPhotoLibraryAccess = 301,
  mediaNoAVURLAsset = 302,
  mediaNoAccessToPath = 303,
  mediaNoAssetWithGivenLocalId = 304,
  mediaAssetCastFailed = 305,
  mediaGivenAssetNoVideo = 306,
  mediaGivenAssetNoImage = 307,
  mediaWriteDataToURLFailed = 308,
  mediaNoImageData = 309,
  mediaNoVideoData = 310,
  mediaFailedToAddVideo = 311,
  mediaFailedToAddImage = 312,
  mediaFailedToAccessDateInfo = 313,
  mediaFailedToCreateFolder = 314,
  mediaFailedToCreateAlbum = 315,
  mediaFailedToAccessInfo = 316,
  mediaFailedCauseOfCancel = 317,
  mediaFailedToFindHashedItem = 318,
  mediaNotEnoughRemoteStorage = 319,
  mediaUnknownPhotoLibraryAccess = 320,
  fileIOParentDirectoryNotFound = 401,
  fileIOFailedToReadFile = 402,
  fileIOFailedToMoveFile = 403,
  fileIOFailedToDelete = 404,
  fileIOFailedToCreateDirectory = 405,
  fileIOFailedToUploadFile = 406,
  jsonDeserializationFailed = 501,
  corruptBackupMetaData = 502,
  corruptMetaData = 503,
  jsonSerializationFailed = 504,
  zipAppendFailed = 601,
  zipFailedNotEnoughDiskSpace = 602,
  wrongOSError = 701,
  calendarsAccessDenied = 801,
  calendarsSaveCalendarFailed = 802,
};

inline constexpr std::string_view kBackupSDKErrorDomain = "BackupSDKError";

// The case with this code, or nothing for codes the library does not define.
std::optional<BackupSDKError> backupSDKErrorFromRawValue(int code);

// The case name ("isAlreadyRunning"), for messages.
std::string_view caseName(BackupSDKError error);

// An Error in the "BackupSDKError" domain; the message defaults to the case name.
Error makeError(BackupSDKError error, std::string message = {});

// True when `error` is exactly this case of this domain.
bool isError(const Error& error, BackupSDKError code);

// Remote-side status codes a host may answer with.
enum class APIErrorCodes : int { InsufficientStorage = 507 };

}  // namespace tessellon
