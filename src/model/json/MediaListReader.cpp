#include "model/json/MediaListReader.h"

#include <algorithm>
#include <charconv>
#include <condition_variable>
#include <cstdint>
#include <iterator>
#include <limits>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "futures/Executor.h"
#include "model/json/MediaItemJson.h"
#include "platform/text/DateText.h"
#include "platform/text/Utf8.h"

namespace tessellon {
namespace {

// This platform's paths apart from the other families': only items written by phones have any.
struct PathLists {
  std::vector<std::string> own;
  MediaItem::PathDictionary others;
};

// A cursor over the text. Every reader answers nothing for what it does not handle and leaves
// the cursor anywhere: one refusal ends the whole read.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}

  bool atEnd() { return position() == text_.size(); }

  // Where the next token starts.
  size_t position() {
    skipSpace();
    return position_;
  }
  void seek(size_t position) { position_ = position; }

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

std::optional<PathLists> pathDictionary(Cursor& in) {
  PathLists lists;
  bool ownRead = false;
  const bool read = in.members([&](std::string_view key) {
    std::vector<std::string> paths;
    if (!in.elements([&] {
          const std::optional<std::string_view> path = in.string();
          if (path) paths.emplace_back(*path);
          return path.has_value();
        })) {
      return false;
    }
    if (key != MediaItem::kMacOSPathsKey) {
      return lists.others.emplace(std::string(key), std::move(paths)).second;
    }
    if (ownRead) return false;
    ownRead = true;
    lists.own = std::move(paths);
    return true;
  });
  if (!read) return std::nullopt;
  return lists;
}

std::shared_ptr<MediaItem> item(Cursor& in) {
  std::optional<std::string_view> extension, fingerprint, id, date, checksum;
  std::optional<int64_t> bytes;
  std::optional<PathLists> paths;
  const bool read = in.members([&](std::string_view key) {
    if (key == "bytes") return once(bytes, in.integer());
    if (key == "checksum") return once(checksum, in.string());
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
  std::shared_ptr<MediaItem> stored = MediaItemJson::make(
      std::string(*extension), *bytes, std::move(identifier), *modificationDate,
      std::move(storedFingerprint), std::move(paths->own), std::move(paths->others));
  if (checksum) stored->checksum.emplace(*checksum);
  return stored;
}

// Items separated by commas, up to the first item not followed by one.
bool itemsFrom(Cursor& in, MediaMetaData::Items& items) {
  do {
    std::shared_ptr<MediaItem> next = item(in);
    if (!next) return false;
    items.push_back(std::move(next));
  } while (in.take(','));
  return true;
}

// Texts this large are read by two threads: the second half of the item list on a pool thread
// while this one reads up to it, which takes about half the time for a large library.
constexpr size_t kSplitFrom = size_t{4} << 20;

// Where an item starts after the middle of the text, or npos. A guess: only the reading from the
// start can tell whether the item list reaches there. Strings here have no escapes, so every
// quote opens or closes one, and their count before a point tells whether it is inside a string.
size_t itemStartAfterMiddle(std::string_view text) {
  size_t at = text.size() / 2;
  bool inString = std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(at), '"') % 2;
  const auto skipSpace = [text](size_t from) {
    while (from < text.size() &&
           (text[from] == ' ' || text[from] == '\n' || text[from] == '\r' || text[from] == '\t')) {
      ++from;
    }
    return from;
  };
  for (; at < text.size(); ++at) {
    if (text[at] == '"') inString = !inString;
    if (inString || text[at] != '}') continue;
    const size_t comma = skipSpace(at + 1);
    if (comma == text.size() || text[comma] != ',') continue;
    const size_t next = skipSpace(comma + 1);
    if (next < text.size() && text[next] == '{') return next;
  }
  return std::string_view::npos;
}

// The items from one point of the text on, read by a pool thread unless the reader that gets
// there first takes the work back.
class ItemsAhead {
 public:
  ItemsAhead(std::string_view text, size_t start) : text_(text), start_(start) {}

  size_t start() const { return start_; }

  void run() {
    {
      std::lock_guard lock(mutex_);
      if (state_ != State::waiting) return;
      state_ = State::reading;
    }
    Cursor in(text_);
    in.seek(start_);
    MediaMetaData::Items items;
    const bool read = itemsFrom(in, items);
    const size_t end = in.position();
    std::lock_guard lock(mutex_);
    if (read) {
      items_ = std::move(items);
      end_ = end;
    }
    state_ = State::done;
    done_.notify_all();
  }

  // The items and where they end: nothing when the pool thread did not start (the caller reads
  // them itself) or the text there is not an item list this reader accepts (`failed`).
  std::optional<std::pair<MediaMetaData::Items, size_t>> take(bool& failed) {
    std::unique_lock lock(mutex_);
    if (state_ == State::waiting) state_ = State::abandoned;
    done_.wait(lock, [this] { return state_ != State::reading; });
    failed = state_ == State::done && !items_;
    if (!items_) return std::nullopt;
    return std::pair(std::move(*items_), end_);
  }

  // The text must not be read once the reader has returned.
  void abandon() {
    bool failed = false;
    (void)take(failed);
  }

 private:
  enum class State { waiting, reading, done, abandoned };
  const std::string_view text_;
  const size_t start_;
  std::mutex mutex_;
  std::condition_variable done_;
  State state_ = State::waiting;
  std::optional<MediaMetaData::Items> items_;
  size_t end_ = 0;
};

}  // namespace

std::optional<std::shared_ptr<MediaMetaData>> MediaListReader::read(std::string_view text) {
  std::shared_ptr<ItemsAhead> ahead;
  if (text.size() >= kSplitFrom) {
    if (const size_t start = itemStartAfterMiddle(text); start != std::string_view::npos) {
      ahead = std::make_shared<ItemsAhead>(text, start);
      Executor::utility().execute([ahead] { ahead->run(); });
    }
  }
  Cursor in(text);
  std::optional<int64_t> bytes, count;
  std::optional<MediaMetaData::Items> items;
  const bool read = in.members([&](std::string_view key) {
    if (key == "bytes") return once(bytes, in.integer());
    if (key == "count") return once(count, in.integer());
    if (key != "items" || items) return false;
    items.emplace();
    return in.elements([&] {
      if (ahead && in.position() == ahead->start()) {
        bool failed = false;
        auto rest = ahead->take(failed);
        ahead.reset();
        if (failed) return false;
        if (rest) {
          std::move(rest->first.begin(), rest->first.end(), std::back_inserter(*items));
          in.seek(rest->second);
          return true;
        }
      }
      std::shared_ptr<MediaItem> next = item(in);
      if (!next) return false;
      items->push_back(std::move(next));
      return true;
    });
  });
  if (ahead) ahead->abandon();
  if (!read || !in.atEnd() || !bytes || !count || !items || *count < 0 ||
      *count > std::numeric_limits<int>::max()) {
    return std::nullopt;
  }
  return MediaMetaData::stored(std::move(items), static_cast<int>(*count), *bytes);
}

}  // namespace tessellon
