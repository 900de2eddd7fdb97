#pragma once

namespace tessellon {

// How one element of an item list document ("contacts.json",
// "calendars.json") is written and read. Each element type specializes it in
// its own file under model/json/:
//
//   template <> struct ItemJson<Contact> {
//     static constexpr const char* kListKey = "contacts";
//     // The element's object; nothing leaves the element out of the list.
//     static std::optional<Json> serialize(const Contact& item);
//     // Fails with a JsonError when a required key is missing.
//     static Result<std::shared_ptr<Contact>> deserialize(const Json& value);
//   };
//
// and, in that file's .cpp, instantiates the two functions the public
// ItemsMetaData<T> declares without a body, so hosts link against them:
//
//   template int64_t detail::compactJsonByteCount<Contact>(
//       const std::vector<std::shared_ptr<Contact>>&);
//   template std::string detail::prettyJsonDescription<Contact>(const ItemsMetaData<Contact>&);
template <class T>
struct ItemJson;

}  // namespace tessellon
