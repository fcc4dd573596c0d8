// A small JSON reader: objects, arrays, strings (escapes up to Latin-1),
// numbers read as doubles (1e999 as infinity), true, false and null. It reads
// the results files vok writes (NAME.json); a text it cannot read throws
// std::runtime_error naming the offset.
#pragma once

#include <charconv>
#include <cmath>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vok::plot {

struct JsonValue {
  enum class Kind { null, boolean, number, string, array, object };
  Kind kind = Kind::null;
  bool boolean = false;
  double number = 0.0;
  std::string text;  // the string; the number's text
  std::vector<JsonValue> items;
  std::map<std::string, JsonValue> members;

  const JsonValue& operator[](const std::string& key) const {
    const auto found = members.find(key);
    if (kind != Kind::object || found == members.end())
      throw std::runtime_error("no member " + key);
    return found->second;
  }
  bool is_null() const { return kind == Kind::null; }
  // The member `key` of an object, or nullptr (also when this is no object).
  const JsonValue* find(const std::string& key) const {
    if (kind != Kind::object) return nullptr;
    const auto found = members.find(key);
    return found == members.end() ? nullptr : &found->second;
  }
};

class JsonParser {
 public:
  explicit JsonParser(std::string_view text) : text_(text) {}

  JsonValue document() {
    JsonValue v = value();
    space();
    if (at_ < text_.size()) fail("text after the value");
    return v;
  }

 private:
  [[noreturn]] void fail(const std::string& what) const {
    throw std::runtime_error(what + " at " + std::to_string(at_));
  }
  void space() {
    while (at_ < text_.size() &&
           (text_[at_] == ' ' || text_[at_] == '\n' || text_[at_] == '\t' || text_[at_] == '\r'))
      ++at_;
  }
  bool take(char c) {
    space();
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  void expect(char c) {
    if (!take(c)) fail(std::string("expected ") + c);
  }
  bool word(std::string_view w) {
    if (text_.substr(at_, w.size()) != w) return false;
    at_ += w.size();
    return true;
  }

  JsonValue value() {
    space();
    if (at_ >= text_.size()) fail("end of text");
    JsonValue v;
    const char c = text_[at_];
    if (c == '{') {
      v.kind = JsonValue::Kind::object;
      ++at_;
      if (take('}')) return v;
      do {
        space();
        const std::string key = string();
        expect(':');
        v.members[key] = value();
      } while (take(','));
      expect('}');
    } else if (c == '[') {
      v.kind = JsonValue::Kind::array;
      ++at_;
      if (take(']')) return v;
      do v.items.push_back(value());
      while (take(','));
      expect(']');
    } else if (c == '"') {
      v.kind = JsonValue::Kind::string;
      v.text = string();
    } else if (word("true") || word("false")) {
      v.kind = JsonValue::Kind::boolean;
      v.boolean = text_[at_ - 1] == 'e' && text_[at_ - 2] == 'u';
    } else if (word("null")) {
    } else {
      v.kind = JsonValue::Kind::number;
      const std::size_t begin = at_;
      while (at_ < text_.size() &&
             std::string_view("+-0123456789.eE").find(text_[at_]) != std::string_view::npos)
        ++at_;
      v.text = std::string(text_.substr(begin, at_ - begin));
      const auto [end, ec] =
          std::from_chars(v.text.data(), v.text.data() + v.text.size(), v.number);
      if (ec == std::errc::result_out_of_range && end == v.text.data() + v.text.size())
        v.number = v.text[0] == '-' ? -HUGE_VAL : HUGE_VAL;
      else if (ec != std::errc() || end != v.text.data() + v.text.size())
        fail("bad number " + v.text);
    }
    return v;
  }

  std::string string() {
    if (at_ >= text_.size() || text_[at_] != '"') fail("expected a string");
    ++at_;
    std::string s;
    while (at_ < text_.size() && text_[at_] != '"') {
      char c = text_[at_++];
      if (static_cast<unsigned char>(c) < 0x20) fail("control character in a string");
      if (c == '\\') {
        const char e = text_[at_++];
        switch (e) {
          case 'n':
            c = '\n';
            break;
          case 't':
            c = '\t';
            break;
          case 'u': {
            unsigned code = 0;
            std::from_chars(text_.data() + at_, text_.data() + at_ + 4, code, 16);
            at_ += 4;
            if (code > 0xff) fail("a character beyond Latin-1");
            c = static_cast<char>(code);
            break;
          }
          default:
            c = e;
        }
      }
      s += c;
    }
    if (at_ >= text_.size()) fail("unterminated string");
    ++at_;
    return s;
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

inline JsonValue parse_json(std::string_view text) {
  return JsonParser(text).document();
}

}  // namespace vok::plot
