#include "restore/ContactFilter.h"

#include <algorithm>
#include <unordered_map>

namespace tessellon {

namespace {

// The kept text counts: a card of only a photo or another application's properties is still the
// user's card.
bool hasAnyField(const Contact& contact) {
  return (contact.vCard && !contact.vCard->empty()) || contact.firstName || contact.middleName ||
         contact.lastName || contact.previousFamilyName || contact.company || contact.birthday ||
         contact.numbers || contact.emails || contact.addresses || contact.url || contact.note ||
         contact.instantMessageAddress || contact.nickname || contact.jobTitle ||
         contact.departmentName || contact.contactType;
}

}  // namespace

ContactFilter::Contacts ContactFilter::getNonemptyContacts(const Contacts& contacts) {
  Contacts kept;
  std::copy_if(
      contacts.begin(), contacts.end(), std::back_inserter(kept),
      [](const std::shared_ptr<Contact>& contact) { return contact && hasAnyField(*contact); });
  return kept;
}

ContactFilter::Contacts ContactFilter::getRemoteOnlyContacts(const Contacts& existing,
                                                             const Contacts& remote) {
  // Buckets by first and last name keep this linear for address books of
  // thousands of cards; equality still decides.
  auto bucketOf = [](const Contact& contact) {
    return contact.firstName.value_or("\x01") + '\x00' + contact.lastName.value_or("\x01");
  };
  std::unordered_map<std::string, std::vector<size_t>> candidates;
  for (size_t index = 0; index < remote.size(); ++index) {
    if (remote[index]) candidates[bucketOf(*remote[index])].push_back(index);
  }
  std::vector<bool> removed(remote.size(), false);
  for (const auto& card : existing) {
    if (!card) continue;
    auto bucket = candidates.find(bucketOf(*card));
    if (bucket == candidates.end()) continue;
    auto& indices = bucket->second;
    auto match = std::find_if(indices.begin(), indices.end(),
                              [&](size_t index) { return *remote[index] == *card; });
    if (match == indices.end()) continue;
    removed[*match] = true;
    indices.erase(match);
  }
  Contacts result;
  for (size_t index = 0; index < remote.size(); ++index) {
    if (remote[index] && !removed[index]) result.push_back(remote[index]);
  }
  return result;
}

}  // namespace tessellon
