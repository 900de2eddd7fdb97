#include "model/json/JsonItemStream.h"

#include <string>
#include <vector>

#include "model/json/JsonText.h"

namespace tessellon {
namespace {

// The JSON library's event interface, building a tree as its own tree parser
// does, except for the elements of the top-level list.
class StreamingBuilder {
 public:
  StreamingBuilder(std::string_view listKey, const JsonItemStream::Handlers& handlers)
      : listKey_(listKey), handlers_(handlers) {}

  Json& root() { return root_; }

  bool null() { return scalar(nullptr); }
  bool boolean(bool value) { return scalar(value); }
  bool number_integer(Json::number_integer_t value) { return scalar(value); }
  bool number_unsigned(Json::number_unsigned_t value) { return scalar(value); }
  bool number_float(Json::number_float_t value, const std::string&) { return scalar(value); }
  bool string(std::string& value) { return scalar(std::move(value)); }
  bool binary(Json::binary_t& value) { return scalar(std::move(value)); }

  bool start_object(std::size_t) { return open(Json::value_t::object); }
  bool start_array(std::size_t) { return open(Json::value_t::array); }
  bool end_object() { return close(); }
  bool end_array() { return close(); }

  bool key(std::string& name) {
    Json& object = *stack_.back();
    pendingList_ = stack_.size() == 1 && name == listKey_;
    member_ = &object[name];
    *member_ = nullptr;  // a repeated key replaces the earlier value
    if (pendingList_) {
      list_ = nullptr;
      if (handlers_.listStarted) handlers_.listStarted();
    }
    return true;
  }

  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) {
    return false;
  }

 private:
  // Places a new value where the parser is and returns it.
  template <class Value>
  Json* place(Value&& value) {
    if (stack_.empty()) {
      root_ = Json(std::forward<Value>(value));
      return &root_;
    }
    Json& parent = *stack_.back();
    if (parent.is_array()) {
      parent.push_back(Json(std::forward<Value>(value)));
      return &parent.back();
    }
    *member_ = Json(std::forward<Value>(value));
    return member_;
  }

  template <class Value>
  bool scalar(Value&& value) {
    place(std::forward<Value>(value));
    pendingList_ = false;
    handOnCompletedElement();
    return true;
  }

  bool open(Json::value_t type) {
    if (static_cast<int>(stack_.size()) >= kMaxJsonDepth) return false;
    Json* value = place(type);
    if (pendingList_ && type == Json::value_t::array && stack_.size() == 1) list_ = value;
    pendingList_ = false;
    stack_.push_back(value);
    return true;
  }

  bool close() {
    stack_.pop_back();
    handOnCompletedElement();
    return true;
  }

  void handOnCompletedElement() {
    if (list_ == nullptr || stack_.empty() || stack_.back() != list_ || list_->empty()) return;
    Json element = std::move(list_->back());
    list_->get_ref<Json::array_t&>().pop_back();
    if (handlers_.element) handlers_.element(std::move(element));
  }

  const std::string_view listKey_;
  const JsonItemStream::Handlers& handlers_;
  Json root_;
  std::vector<Json*> stack_;
  Json* member_ = nullptr;
  Json* list_ = nullptr;
  bool pendingList_ = false;
};

}  // namespace

std::optional<Json> JsonItemStream::parse(std::string_view text, std::string_view listKey,
                                          const Handlers& handlers) {
  // The parser would take a NUL byte for the end of the text.
  if (text.find('\0') != std::string_view::npos) return std::nullopt;
  StreamingBuilder builder(listKey, handlers);
  try {
    if (!Json::sax_parse(text, &builder)) return std::nullopt;
  } catch (const std::exception&) {
    return std::nullopt;
  }
  return std::move(builder.root());
}

}  // namespace tessellon
