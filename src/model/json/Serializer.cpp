#include "model/json/Serializer.h"

#include "model/BackupRecord.h"
#include "model/MediaMetaData.h"
#include "model/json/SerializationError.h"
#include "platform/calendar/CalendarEntry.h"
#include "platform/contacts/Contact.h"

namespace tessellon {
namespace {

template <class T>
Result<std::shared_ptr<Serializable>> upcast(Result<std::shared_ptr<T>> model) {
  if (!model.ok()) return model.error();
  return std::shared_ptr<Serializable>(std::move(model).value());
}

}  // namespace

Serializer::Serializer(std::shared_ptr<BackupSerializer> backupSerializer,
                       std::shared_ptr<MetadataSerializer> metadataSerializer)
    : backupSerializer_(std::move(backupSerializer)),
      metadataSerializer_(std::move(metadataSerializer)) {}

Result<std::string> Serializer::serialize(const Serializable& model) {
  if (const auto* backup = dynamic_cast<const BackupRecord*>(&model)) {
    return backupSerializer_->serialize(*backup);
  }
  if (const auto* media = dynamic_cast<const MediaMetaData*>(&model)) {
    return metadataSerializer_->serialize(*media);
  }
  if (const auto* contacts = dynamic_cast<const ItemsMetaData<Contact>*>(&model)) {
    return metadataSerializer_->serialize(*contacts);
  }
  if (const auto* calendars = dynamic_cast<const ItemsMetaData<CalendarEntry>*>(&model)) {
    return metadataSerializer_->serialize(*calendars);
  }
  return makeError(SerializationError::missingSerializationImplementation, typeid(model).name());
}

Result<std::shared_ptr<Serializable>> Serializer::deserialize(const std::string& text,
                                                              const std::type_info& expected) {
  if (expected == typeid(BackupRecord)) return upcast(backupSerializer_->deserialize(text));
  if (expected == typeid(MediaMetaData)) {
    return upcast(metadataSerializer_->deserializeMediaMetaData(text));
  }
  if (expected == typeid(ItemsMetaData<Contact>)) {
    return upcast(metadataSerializer_->deserializeContacts(text));
  }
  if (expected == typeid(ItemsMetaData<CalendarEntry>)) {
    return upcast(metadataSerializer_->deserializeCalendars(text));
  }
  return makeError(SerializationError::missingDeserializationImplementation, expected.name());
}

}  // namespace tessellon
