#pragma once

#include <memory>
#include <optional>

#include "futures/Result.h"
#include "model/ItemsMetaData.h"
#include "model/json/ItemJson.h"
#include "model/json/Json.h"
#include "platform/contacts/Contact.h"

namespace tessellon {

// One contact object of "contacts.json". Absent fields are left out; lists
// that are present are written even when empty.
template <>
struct ItemJson<Contact> {
  static constexpr const char* kListKey = Contact::kSerializationKey;

  // Never fails and never leaves a contact out.
  static std::optional<Json> serialize(const Contact& contact);

  // Any value reads: a field that is missing or of the wrong type stays absent.
  // Fails only with the JsonError of a list element that lacks a required key
  // ("label"/"number", "label"/"address", "label", "messengerName"/"username",
  // "label"/"url"). "labelType" codes of phone applications rewrite labels;
  // "emailAddresses" and "postalAddresses" stand in for missing "emails" and
  // "addresses". The kept card text is read from "vCard" as it is; the store
  // checks it before use.
  static Result<std::shared_ptr<Contact>> deserialize(const Json& value);
};

}  // namespace tessellon
