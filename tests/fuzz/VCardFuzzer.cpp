// Feeds arbitrary bytes to the vCard reader. Beyond "no crash, no hang, no
// sanitizer report", it checks what must hold for any input:
//  - every card that reads can be written, and what is written reads back as
//    the same card, without errors, in lines of at most 75 octets;
//  - every card maps to a Contact whose JSON reads back as an equal Contact;
//  - that Contact, written back into the address book as a restore writes it and read again,
//    is the same Contact: restores compare records in this form, so a card restored once is
//    found by the next restore.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "model/json/ContactJson.h"
#include "model/json/JsonText.h"
#include "platform/contacts/CNContactStoreHelper.h"
#include "platform/contacts/VCardReader.h"
#include "platform/contacts/VCardSource.h"
#include "platform/contacts/VCardWriter.h"

namespace tessellon {
namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

bool linesFit(const std::string& text) {
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    if (end == std::string::npos || end - start > 75) return false;
    start = end + 2;
  }
  return true;
}

void fuzzCard(VCard card) {
  // A kept text is written as it is and must read back as the very card.
  if (!card.source.empty()) {
    const VCardReader::Result kept = VCardReader::read(VCardSource::fileText(card.source));
    require(kept.errors.empty());
    require(kept.cards.size() == 1);
    require(kept.cards.front() == card);
  }
  card.source.clear();
  if (card.uid.empty()) card.uid = "fuzz";
  const std::string written = VCardWriter::write(card);
  require(linesFit(written));
  const VCardReader::Result again = VCardReader::read(written);
  require(again.errors.empty());
  require(again.cards.size() == 1);
  VCard reread = again.cards.front();
  reread.source.clear();
  require(reread == card);

  CNContactStoreHelper helper;
  const std::shared_ptr<Contact> contact = helper.mapContact(card);
  const std::optional<std::string> json = toJSONString(*ItemJson<Contact>::serialize(*contact));
  require(json.has_value());
  const auto reread = ItemJson<Contact>::deserialize(parseJson(*json).value());
  require(reread.ok());
  require(*reread.value() == *contact);

  const VCardReader::Result restored =
      VCardReader::read(VCardWriter::write(helper.mapContact(*reread.value())));
  require(restored.errors.empty());
  require(restored.cards.size() == 1);
  require(*helper.mapContact(restored.cards.front()) == *contact);
}

}  // namespace
}  // namespace tessellon

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (const tessellon::VCard& card : tessellon::VCardReader::read(text).cards) {
    tessellon::fuzzCard(card);
  }
  return 0;
}
