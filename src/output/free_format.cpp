#include "output/free_format.h"

#include <charconv>
#include <cmath>

namespace vok {

std::string free_format(std::span<const Value> items) {
  std::string out = " ";
  bool first = true;
  for (const Value& v : items) {
    if (!first) out += ' ';
    first = false;
    switch (v.kind()) {
      case Value::Kind::text:
        append_escaped(out, v.text());
        break;
      case Value::Kind::integer:
        out += std::to_string(v.integer());
        break;
      case Value::Kind::real: {
        char buf[64];
        double d = v.real();
        std::to_chars_result r;
        float f = static_cast<float>(d);
        if (std::isfinite(d) && static_cast<double>(f) == d)
          r = std::to_chars(buf, buf + sizeof buf, f);
        else
          r = std::to_chars(buf, buf + sizeof buf, d);
        out.append(buf, r.ptr);
        break;
      }
    }
  }
  return out;
}

void append_escaped(std::string& to, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  for (const char c : text) {
    if (!is_control_byte(c)) {
      to += c;
      continue;
    }
    const auto byte = static_cast<unsigned char>(c);
    const char code[] = {'\\', 'x', kHex[byte >> 4], kHex[byte & 15]};
    to.append(code, sizeof code);
  }
}

std::string escaped_text(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  append_escaped(out, text);
  return out;
}

std::string masked_text(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (is_control_byte(c)) c = '?';
  return out;
}

}  // namespace vok
