#include "restore/RestoreStatusService.h"

#include <climits>
#include <cstdint>
#include <memory>

#include <gtest/gtest.h>

#include "tessellon/Settings.h"

#include "model/BackupRecord.h"
#include "model/ItemsMetaData.h"
#include "model/MediaMetaData.h"
#include "platform/contacts/Contact.h"

namespace tessellon {
namespace {

// The overall counts of a restore come from the remote's record, before any list is read.
TEST(RestoreStatusServiceTest, CountsFromARecordNeverOverflowTheOverallStatus) {
  BackupRecord backup("OTHER");
  backup.contactsMetaData = std::make_shared<ItemsMetaData<Contact>>(INT_MAX, INT64_MAX);
  backup.imagesMetaData = std::make_shared<MediaMetaData>();
  backup.imagesMetaData->count = 200000000;
  backup.imagesMetaData->bytes = INT64_MAX;
  backup.videosMetaData = std::make_shared<MediaMetaData>();
  backup.videosMetaData->count = -5;
  backup.videosMetaData->bytes = -5;
  RestoreStatusService service(nullptr);
  service.setRestoreSettings(Settings(true, false, true, true));

  const FileStatus status = service.increaseFileStatusField(backup);

  EXPECT_EQ(status.overall, INT_MAX);
  EXPECT_EQ(status.overallBytes, INT64_MAX);
}

}  // namespace
}  // namespace tessellon
