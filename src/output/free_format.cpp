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
        out += v.text();
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

}  // namespace vok
