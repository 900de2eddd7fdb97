#include "model/json/MediaListReader.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "model/DateText.h"
#include "model/Utf8.h"
#include "model/json/MediaItemJson.h"

namespace tessellon {
namespace {

using PathDictionary = std::map<std::string, std::vector<std::string>>;

// A cursor over the text. Every reader answers nothing for what it does not handle and leaves
// the cursor anywhere: one refusal ends the whole read.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}

  bool atEnd() {
    skipSpace();
    return position_ == text_.size();
  }

  bool take(char expected) {
    skipSpace();
    if (position_ == text_.size() || text_[position_] != expected) return false;
    ++position_;
    return true;
  }

  // A string without escapes or control characters, in well-formed UTF-8.
  std::optional<std::string_view> string() {
    if (!take('"')) return std::nullopt;
    const size_t start = position_;
    bool ascii = true;
    for (; position_ < text_.size(); ++position_) {
      const auto c = static_cast<unsigned char>(text_[position_]);
      if (c == '"') break;
      if (c == '\\' || c < 0x20) return std::nullopt;
      ascii = ascii && c < 0x80;
    }
    if (position_ == text_.size()) return std::nullopt;
    const std::string_view value = text_.substr(start, position_ - start);
    ++position_;
    if (!ascii && !isValidUtf8(value)) return std::nullopt;
    return value;
  }

  // A JSON integer (no fraction or exponent) within 64 bits.
  std::optional<int64_t> integer() {
    skipSpace();
    const size_t start = position_;
    if (position_ < text_.size() && text_[position_] == '-') ++position_;
    const size_t digits = position_;
    while (position_ < text_.size() && text_[position_] >= '0' && text_[position_] <= '9') {
      ++position_;
    }
    if (position_ == digits || (position_ - digits > 1 && text_[digits] == '0')) {
      return std::nullopt;
    }
    if (position_ < text_.size() &&
        (text_[position_] == '.' || text_[position_] == 'e' || text_[position_] == 'E')) {
      return std::nullopt;
    }
    int64_t value = 0;
    const auto [end, error] =
        std::from_chars(text_.data() + start, text_.data() + position_, value);
    if (error != std::errc() || end != text_.data() + position_) return std::nullopt;
    return value;
  }

  // Reads an object's members, handing each key to `member`, which reads the value.
  template <class Member>
  bool members(Member member) {
    if (!take('{')) return false;
    if (take('}')) return true;
    do {
      const std::optional<std::string_view> key = string();
      if (!key || !take(':') || !member(*key)) return false;
    } while (take(','));
    return take('}');
  }

  // Reads an array's elements, each with `element`.
  template <class Element>
  bool elements(Element element) {
    if (!take('[')) return false;
    if (take(']')) return true;
    do {
      if (!element()) return false;
    } while (take(','));
    return take(']');
  }

 private:
  void skipSpace() {
    while (position_ < text_.size()) {
      const char c = text_[position_];
      if (c != ' ' && c != '\n' && c != '\r' && c != '\t') return;
      ++position_;
    }
  }

  std::string_view text_;
  size_t position_ = 0;
};

// Sets `slot` from `value` unless it was set already: a repeated key is left to the general
// parser, whose rule (the last one wins) this reader does not repeat.
template <class Value>
bool once(std::optional<Value>& slot, std::optional<Value> value) {
  if (slot || !value) return false;
  slot = std::move(value);
  return true;
}

std::optional<PathDictionary> pathDictionary(Cursor& in) {
  PathDictionary dictionary;
  const bool read = in.members([&](std::string_view key) {
    std::vector<std::string> paths;
    if (!in.elements([&] {
          const std::optional<std::string_view> path = in.string();
          if (path) paths.emplace_back(*path);
          return path.has_value();
        })) {
      return false;
    }
    return dictionary.emplace(std::string(key), std::move(paths)).second;
  });
  if (!read) return std::nullopt;
  return dictionary;
}

std::shared_ptr<MediaItem> item(Cursor& in) {
  std::optional<std::string_view> extension, fingerprint, id, date;
  std::optional<int64_t> bytes;
  std::optional<PathDictionary> paths;
  const bool read = in.members([&](std::string_view key) {
    if (key == "bytes") return once(bytes, in.integer());
    if (key == "fileExtension") return once(extension, in.string());
    if (key == "fingerprint") return once(fingerprint, in.string());
    if (key == "id") return once(id, in.string());
    if (key == "modificationDate") return once(date, in.string());
    if (key == "pathDictionary") return once(paths, pathDictionary(in));
    return false;
  });
  if (!read || !extension || !bytes || !date || !paths) return nullptr;
  const std::optional<Date> modificationDate = toDate(*date);
  if (!modificationDate) return nullptr;
  std::optional<std::string> storedFingerprint;
  if (fingerprint) storedFingerprint.emplace(*fingerprint);
  std::string identifier(id.value_or(fingerprint.value_or("")));
  return MediaItemJson::make(std::string(*extension), *bytes, std::move(identifier),
                             *modificationDate, std::move(storedFingerprint), std::move(*paths));
}

}  // namespace

std::optional<std::shared_ptr<MediaMetaData>> MediaListReader::read(std::string_view text) {
  Cursor in(text);
  std::optional<int64_t> bytes, count;
  std::optional<MediaMetaData::Items> items;
  const bool read = in.members([&](std::string_view key) {
    if (key == "bytes") return once(bytes, in.integer());
    if (key == "count") return once(count, in.integer());
    if (key != "items" || items) return false;
    items.emplace();
    return in.elements([&] {
      std::shared_ptr<MediaItem> next = item(in);
      if (!next) return false;
      items->push_back(std::move(next));
      return true;
    });
  });
  if (!read || !in.atEnd() || !bytes || !count || !items || *count < 0 ||
      *count > std::numeric_limits<int>::max()) {
    return std::nullopt;
  }
  return MediaMetaData::stored(std::move(items), static_cast<int>(*count), *bytes);
}

}  // namespace tessellon
