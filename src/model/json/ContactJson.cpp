#include "model/json/ContactJson.h"

#include <cstddef>
#include <string>
#include <type_traits>
#include <vector>

#include "model/json/ItemsMetaDataJson.h"
#include "model/json/JsonError.h"
#include "model/json/JsonReaders.h"
#include "model/json/JsonText.h"
#include "platform/contacts/ContactLabels.h"
#include "platform/text/DateText.h"

namespace tessellon {
namespace {

template <class T, class ToJson>
void setList(Json& object, const char* key, const std::optional<std::vector<T>>& list,
             ToJson toJson) {
  if (!list) return;
  Json array = Json::array();
  for (const T& element : *list) array.push_back(toJson(element));
  object[key] = std::move(array);
}

Json postAddressJson(const PostAddress& address) {
  Json object{{"label", address.label}};
  setOptional(object, "postalCode", address.postalCode);
  setOptional(object, "street", address.street);
  setOptional(object, "city", address.city);
  setOptional(object, "country", address.country);
  setOptional(object, "state", address.state);
  setOptional(object, "countryCode", address.countryCode);
  return object;
}

Result<std::string> requiredText(const Json& object, const char* key) {
  std::optional<std::string> text = readString(member(object, key));
  if (!text) return makeError(JsonError::missingProperty, key);
  return std::move(*text);
}

// A "labelType" code, when the object carries one, replaces the label.
template <class Adopt>
void adoptLabel(const Json& object, std::string& label, Adopt adopt) {
  const Json* code = member(object, "labelType");
  if (code == nullptr || !code->is_number()) return;
  const std::optional<int64_t> labelType = readInteger(code);
  if (!labelType) return;
  if (std::optional<std::string> adopted = adopt(*labelType)) label = std::move(*adopted);
}

// An entry of a required "label" and one more required text under `key` (phone numbers, email
// addresses, URLs), with what `adopt` (null for none) makes of a "labelType" code as its label.
template <class T, class Adopt = std::nullptr_t>
Result<T> readLabelled(const Json& object, const char* key, Adopt adopt = nullptr) {
  Result<std::string> label = requiredText(object, "label");
  if (!label.ok()) return label.error();
  Result<std::string> text = requiredText(object, key);
  if (!text.ok()) return text.error();
  T entry{std::move(label).value(), std::move(text).value()};
  if constexpr (!std::is_null_pointer_v<Adopt>) adoptLabel(object, entry.label, adopt);
  return entry;
}

Result<PhoneNumber> readPhoneNumber(const Json& object) {
  return readLabelled<PhoneNumber>(object, "number",
                                   &ContactLabels::adoptPhoneNumberLabelFromAndroid);
}

Result<EmailAddress> readEmailAddress(const Json& object) {
  return readLabelled<EmailAddress>(object, "address",
                                    &ContactLabels::adoptAddressLabelFromAndroid);
}

Result<PostAddress> readPostAddress(const Json& object) {
  Result<std::string> label = requiredText(object, "label");
  if (!label.ok()) return label.error();
  PostAddress address;
  address.label = std::move(label).value();
  adoptLabel(object, address.label, &ContactLabels::adoptAddressLabelFromAndroid);
  address.postalCode = readString(member(object, "postalCode"));
  address.street = readString(member(object, "street"));
  address.city = readString(member(object, "city"));
  address.country = readString(member(object, "country"));
  address.state = readString(member(object, "state"));
  address.countryCode = readString(member(object, "countryCode"));
  return address;
}

Result<InstantMessageAddress> readInstantMessageAddress(const Json& object) {
  Result<std::string> messengerName = requiredText(object, "messengerName");
  if (!messengerName.ok()) return messengerName.error();
  Result<std::string> username = requiredText(object, "username");
  if (!username.ok()) return username.error();
  InstantMessageAddress address{std::move(messengerName).value(), std::move(username).value(), ""};
  address.label = readString(member(object, "label")).value_or(address.messengerName);
  return address;
}

Result<Url> readUrl(const Json& object) { return readLabelled<Url>(object, "url"); }

// A list under `key`: absent when the key is missing or not a list, the first
// element's error when one does not read.
template <class T, class Reader>
std::optional<Error> readList(const Json& object, const char* key,
                              std::optional<std::vector<T>>& target, Reader reader) {
  const Json* list = member(object, key);
  if (list == nullptr || !list->is_array()) return std::nullopt;
  Result<std::vector<T>> elements = toArray<T>(list, reader);
  if (!elements.ok()) return elements.error();
  target = std::move(elements).value();
  return std::nullopt;
}

}  // namespace

std::optional<Json> ItemJson<Contact>::serialize(const Contact& contact) {
  Json object = Json::object();
  setOptional(object, "firstName", contact.firstName);
  setOptional(object, "middleName", contact.middleName);
  setOptional(object, "lastName", contact.lastName);
  setOptional(object, "previousFamilyName", contact.previousFamilyName);
  setOptional(object, "company", contact.company);
  if (contact.birthday) object["birthday"] = toString(*contact.birthday);
  setOptional(object, "note", contact.note);
  setOptional(object, "nickname", contact.nickname);
  setOptional(object, "jobTitle", contact.jobTitle);
  setOptional(object, "departmentName", contact.departmentName);
  setOptional(object, "contactType", contact.contactType);
  setList(object, "numbers", contact.numbers, [](const PhoneNumber& phone) {
    return Json{{"label", phone.label}, {"number", phone.number}};
  });
  setList(object, "emails", contact.emails, [](const EmailAddress& email) {
    return Json{{"label", email.label}, {"address", email.address}};
  });
  setList(object, "addresses", contact.addresses, &postAddressJson);
  setList(object, "instantMessageAddress", contact.instantMessageAddress,
          [](const InstantMessageAddress& address) {
            return Json{{"messengerName", address.messengerName},
                        {"username", address.username},
                        {"label", address.label}};
          });
  setList(object, "url", contact.url, [](const Url& url) {
    return Json{{"label", url.label}, {"url", url.url}};
  });
  setOptional(object, "vCard", contact.vCard);
  return object;
}

Result<std::shared_ptr<Contact>> ItemJson<Contact>::deserialize(const Json& value) {
  auto contact = std::make_shared<Contact>();
  contact->firstName = readString(member(value, "firstName"));
  contact->middleName = readString(member(value, "middleName"));
  contact->lastName = readString(member(value, "lastName"));
  contact->previousFamilyName = readString(member(value, "previousFamilyName"));
  contact->company = readString(member(value, "company"));
  contact->birthday = readDate(member(value, "birthday"));
  contact->note = readString(member(value, "note"));
  contact->nickname = readString(member(value, "nickname"));
  contact->jobTitle = readString(member(value, "jobTitle"));
  contact->departmentName = readString(member(value, "departmentName"));
  contact->contactType = readInteger(member(value, "contactType"));
  contact->vCard = readString(member(value, "vCard"));

  std::optional<Error> failure = readList(value, "numbers", contact->numbers, &readPhoneNumber);
  if (!failure) failure = readList(value, "emails", contact->emails, &readEmailAddress);
  if (!failure) failure = readList(value, "addresses", contact->addresses, &readPostAddress);
  if (!failure) {
    failure = readList(value, "instantMessageAddress", contact->instantMessageAddress,
                       &readInstantMessageAddress);
  }
  if (!failure) failure = readList(value, "url", contact->url, &readUrl);
  // The names a phone application of another platform uses for the same lists.
  if (!failure && !contact->emails) {
    failure = readList(value, "emailAddresses", contact->emails, &readEmailAddress);
  }
  if (!failure && !contact->addresses) {
    failure = readList(value, "postalAddresses", contact->addresses, &readPostAddress);
  }
  if (failure) return *failure;
  return contact;
}

std::string Contact::description() const {
  // The kept card text (a photo, possibly) has no place in a log line.
  Json object = *ItemJson<Contact>::serialize(*this);
  object.erase("vCard");
  return toPrettyJSONString(object).value_or("");
}

template int64_t detail::compactJsonByteCount<Contact>(
    const std::vector<std::shared_ptr<Contact>>&);
template std::string detail::prettyJsonDescription<Contact>(const ItemsMetaData<Contact>&);

}  // namespace tessellon
