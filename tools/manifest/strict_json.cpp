#include "manifest/strict_json.h"

#include <unordered_set>
#include <vector>

#include "manifest/places.h"

namespace quenrid {

namespace {

// nlohmann keeps the last of two equal keys without a word; a copied line
// that overrides an earlier one must not pass unnoticed. The library's
// callback parser would say so, but it rescans each array at the end of every
// object in it, which makes a large manifest quadratic; this handler builds
// the same document in one pass and checks each object's keys as they come.
class CheckedDocument : public nlohmann::json_sax<Json> {
 public:
  Json &root() { return root_; }

  bool null() override { return Add(Json()); }
  bool boolean(bool value) override { return Add(Json(value)); }
  bool number_integer(number_integer_t value) override { return Add(Json(value)); }
  bool number_unsigned(number_unsigned_t value) override { return Add(Json(value)); }
  bool number_float(number_float_t value, const string_t &) override { return Add(Json(value)); }
  bool string(string_t &value) override { return Add(Json(std::move(value))); }
  bool binary(binary_t &value) override { return Add(Json::binary(std::move(value))); }

  bool start_object(size_t) override { return Open(Json::object()); }
  bool start_array(size_t) override { return Open(Json::array()); }
  bool end_object() override { return Close(); }
  bool end_array() override { return Close(); }

  bool key(string_t &key) override {
    Frame &frame = frames_.back();
    if (!frame.keys.insert(key).second) Fail(Place(), "duplicate key \"" + key + "\"");
    frame.key = key;
    return true;
  }

  bool parse_error(size_t, const std::string &, const nlohmann::detail::exception &error) override {
    // Drop the library's "[json.exception.parse_error.101] " prefix.
    const std::string message = error.what();
    const size_t bracket = message.find("] ");
    Fail("", bracket == std::string::npos ? message : message.substr(bracket + 2));
  }

 private:
  struct Frame {
    Json *value;
    std::string key;                       // objects: the key being read
    std::unordered_set<std::string> keys;  // objects: the keys read so far
  };

  // Puts `value` where the innermost open container expects it.
  Json *Insert(Json value) {
    if (frames_.empty()) {
      root_ = std::move(value);
      return &root_;
    }
    Frame &frame = frames_.back();
    if (frame.value->is_array()) {
      frame.value->push_back(std::move(value));
      return &frame.value->back();
    }
    return &((*frame.value)[frame.key] = std::move(value));
  }

  bool Add(Json value) {
    Insert(std::move(value));
    return true;
  }
  bool Open(Json container) {
    frames_.push_back(Frame{Insert(std::move(container)), {}, {}});
    return true;
  }
  bool Close() {
    frames_.pop_back();
    return true;
  }

  // The place of the innermost open container.
  std::string Place() const {
    std::string place;
    for (size_t i = 1; i < frames_.size(); ++i) {
      const Frame &parent = frames_[i - 1];
      place =
          parent.value->is_array() ? At(place, parent.value->size() - 1) : At(place, parent.key);
    }
    return place;
  }

  Json root_;
  std::vector<Frame> frames_;
};

}  // namespace

Json ParseStrictJson(const std::string &text) {
  CheckedDocument document;
  Json::sax_parse(text, &document);
  return std::move(document.root());
}

}  // namespace quenrid
