// One value handed to a layout field or a free-format line: an integer, a
// real or a text (a view: the text must outlive the value).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

namespace vok {

class Value {
 public:
  enum class Kind { integer, real, text };

  template <typename I>
  requires(std::is_integral_v<I> && !std::is_same_v<I, bool>) Value(I v)
      : kind_(Kind::integer), integer_(static_cast<std::int64_t>(v)) {}
  Value(float v) : kind_(Kind::real), real_(v) {}
  Value(double v) : kind_(Kind::real), real_(v) {}
  Value(std::string_view v) : kind_(Kind::text), text_(v) {}
  Value(const char* v) : kind_(Kind::text), text_(v) {}
  Value(const std::string& v) : kind_(Kind::text), text_(v) {}

  Kind kind() const { return kind_; }
  std::int64_t integer() const { return integer_; }
  double real() const { return real_; }
  std::string_view text() const { return text_; }

 private:
  Kind kind_;
  std::int64_t integer_ = 0;
  double real_ = 0.0;
  std::string_view text_;
};

}  // namespace vok
