#include <gtest/gtest.h>

#include "tessellon/BackupSettings.h"
#include "tessellon/Version.h"

#include "model/BackupRecord.h"
#include "model/BackupRunState.h"
#include "model/HostBackup.h"
#include "model/ModelTestSupport.h"
#include "platform/contacts/Contact.h"

namespace tessellon {
namespace {

TEST(RecordsTest, VersionParsingAndOrder) {
  const std::pair<const char*, std::optional<Version>> rows[] = {
      {"  1.2 \n", Version(1, 2)}, {"1.2.3", std::nullopt}, {"1", std::nullopt},
      {"a1.2", std::nullopt},      {"1.-2", std::nullopt},  {"99999999999.1", std::nullopt},
  };
  for (const auto& [text, expected] : rows) {
    SCOPED_TRACE(text);
    EXPECT_EQ(Version::parse(text), expected);
  }
  EXPECT_GT(Version(1, 10), Version(1, 9));
  EXPECT_GT(Version(2, 0), Version(1, 99));
}

TEST(RecordsTest, BackupNameKeepsOnlyAcceptedCharacters) {
  const std::pair<const char*, const char*> rows[] = {
      {"Mein Backup #1!", "Mein Backup 1"},
      {"Grüße_aus Köln ÄÖÜß", "Grüße_aus Köln ÄÖÜß"},
      {"a/b\\c.d-e", "abcde"},
      {"café", "caf"},  // é is not accepted, even though it shares ä's lead byte
      {"日本 name", " name"},
      // Decomposed, as some file systems and keyboards give them: whole characters all the same.
      {"Gru\u0308\u00dfe", "Grüße"},
      {"cafe\u0301", "caf"},
      {"xa\u0308\u0323y \u0301z", "xyz"},
      {"bad\xff\xc3 end", "bad end"},
  };
  for (const auto& [given, stored] : rows) {
    SCOPED_TRACE(given);
    EXPECT_EQ(BackupSettings(given, true, true, true, true, false).backupName, stored);
  }
}

TEST(RecordsTest, BackupCopyHasMetadataOfItsOwn) {
  BackupRecord original("device");
  original.imagesMetaData = std::make_shared<MediaMetaData>(MediaMetaData::Items{
      std::make_shared<MediaItem>("jpg", 10, "a", dateAt(0), "1.1_a", std::vector<std::string>{})});
  original.contactsMetaData = std::make_shared<ItemsMetaData<Contact>>(4, 400);
  const auto copied = original.copy();
  copied->imagesMetaData->removeMediaItems(*original.imagesMetaData->items);
  copied->contactsMetaData->count = 0;
  EXPECT_EQ(original.imagesMetaData->count, 1);
  EXPECT_EQ(original.contactsMetaData->count, 4);
  EXPECT_EQ(copied->contactsMetaData->bytes, 400);
}

TEST(RecordsTest, MediaVersionsFollowTheItemsFingerprints) {
  const auto image = [](std::optional<std::string> fingerprint) {
    return std::make_shared<MediaItem>("jpg", 1, "a", dateAt(0), std::move(fingerprint),
                                       std::vector<std::string>{});
  };
  BackupRecord backup("device");
  backup.imagesMetaData = std::make_shared<MediaMetaData>(MediaMetaData::Items{
      image("900150983cd24fb0d6963f7d28e17f72"), image("1.1_a"), image("1.2_b"), image("1.0_c")});
  backup.videosMetaData = std::make_shared<MediaMetaData>(MediaMetaData::Items{image("1.2_d")});

  const MediaVersions updated = CreateUpdatedMediaVersions(backup);
  EXPECT_EQ(updated, (MediaVersions{4, 1, {Version(1, 1), Version(1, 0), Version(1, 2)}}));
  EXPECT_EQ(backup.mediaVersions.versions, updated.versions);

  // Only a changed item count makes the schemes be collected again.
  backup.mediaVersions.versions = {Version(1, 1)};
  CreateUpdatedMediaVersions(backup);
  EXPECT_EQ(backup.mediaVersions.versions, std::vector<Version>{Version(1, 1)});
  backup.imagesMetaData.reset();
  EXPECT_EQ(CreateUpdatedMediaVersions(backup).images, 0);
  backup.imagesMetaData = std::make_shared<MediaMetaData>(MediaMetaData::Items{image("1.2_e")});
  EXPECT_EQ(CreateUpdatedMediaVersions(backup).versions,
            (std::vector<Version>{Version(1, 1), Version(1, 2)}));
}

// A host sees each category's totals and, of a preview, what the run sends and what it removes
// from the remote; removals are told only where both item lists are known.
TEST(RecordsTest, HostBackupSummarisesEachCategoryOfAPreview) {
  const auto image = [](const char* fingerprint, int64_t bytes) {
    return std::make_shared<MediaItem>("jpg", bytes, fingerprint, dateAt(0), fingerprint,
                                       std::vector<std::string>{});
  };
  const auto person = [](const char* name) {
    auto contact = std::make_shared<Contact>();
    contact->firstName = name;
    return contact;
  };
  auto stored = std::make_shared<BackupRecord>("device");
  stored->imagesMetaData = std::make_shared<MediaMetaData>(
      MediaMetaData::Items{image("1.1_kept", 10), image("1.1_gone", 30)});
  stored->contactsMetaData = std::make_shared<ItemsMetaData<Contact>>(
      ItemsMetaData<Contact>::Items{person("kept"), person("gone")});
  stored->videosMetaData = MediaMetaData::stored(std::nullopt, 3, 300);
  auto preview = std::make_shared<BackupRecord>("device");
  preview->name = "Laptop";
  preview->imagesMetaData = std::make_shared<MediaMetaData>(
      MediaMetaData::Items{image("1.1_kept", 10), image("1.1_new", 20)});
  preview->contactsMetaData =
      std::make_shared<ItemsMetaData<Contact>>(ItemsMetaData<Contact>::Items{person("kept")});
  preview->videosMetaData = std::make_shared<MediaMetaData>();
  preview->taskList = std::make_shared<BackupRecord>("device");
  preview->taskList->imagesMetaData =
      std::make_shared<MediaMetaData>(MediaMetaData::Items{image("1.1_new", 20)});
  BackupRunState::of(*preview).storedRecord = stored;

  const std::shared_ptr<Backup> backup = hostBackup(preview);
  ASSERT_TRUE(backup);
  EXPECT_EQ(backup->record, preview);
  EXPECT_EQ(backup->name, "Laptop");
  EXPECT_EQ(backup->version, Version(1, 2));
  EXPECT_EQ(backup->images, (BackupCategory{CategorySummary{2, 30}, CategorySummary{1, 20},
                                            CategorySummary{2, 40}, CategorySummary{1, 30}}));
  const int64_t goneBytes = std::string(R"([{"firstName":"gone"}])").size();
  EXPECT_EQ(backup->contacts.removed, (CategorySummary{1, goneBytes}));
  EXPECT_EQ(backup->contacts.stored, (CategorySummary{2, stored->contactsMetaData->bytes}));
  EXPECT_FALSE(backup->contacts.toSend);
  // The stored videos are a summary: what goes is for the host to estimate.
  EXPECT_EQ(backup->videos.stored, (CategorySummary{3, 300}));
  EXPECT_FALSE(backup->videos.removed);
  EXPECT_EQ(backup->calendars, BackupCategory{});

  // A listed record has no plan: only what it holds.
  const std::shared_ptr<Backup> listed = hostBackup(stored);
  EXPECT_EQ(listed->images.held, (CategorySummary{2, 40}));
  EXPECT_FALSE(listed->images.toSend || listed->images.stored || listed->images.removed);
  EXPECT_EQ(listed->videos.held, (CategorySummary{3, 300}));
  EXPECT_EQ(hostBackup(nullptr), nullptr);
  EXPECT_EQ(recordOf(std::make_shared<Backup>()), nullptr);
}

}  // namespace
}  // namespace tessellon
