#include "output/number_edit.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace vok {

namespace {

std::string fill(int width, char c) {
  return std::string(static_cast<std::size_t>(std::max(width, 0)), c);
}

std::string right_align(const std::string& s, int width) {
  if (width <= 0) return s;
  if (static_cast<int>(s.size()) > width) return fill(width, '*');
  return fill(width - static_cast<int>(s.size()), ' ') + s;
}

std::string edit_special(double value, int width, bool sign_plus) {
  std::string s;
  if (std::isnan(value)) {
    s = "NaN";
  } else {
    std::string sign = std::signbit(value) ? "-" : (sign_plus ? "+" : "");
    s = sign + (width >= 8 + static_cast<int>(sign.size()) ? "Infinity" : "Inf");
  }
  return right_align(s, width);
}

bool all_zero_digits(const std::string& s) {
  for (char c : s)
    if (c >= '1' && c <= '9') return false;
  return true;
}

// printf's "%.*f" (fixed) or "%.*e" (scientific) of a finite value:
// std::to_chars gives the same correctly rounded digits, without the cost of
// printf's format parsing.
std::string decimal_text(double value, std::chars_format format, int precision) {
  precision = std::max(precision, 0);
  // The longest text: sign, 309 integer digits, point, the decimals.
  std::string s(static_cast<std::size_t>(precision) + 320, '\0');
  const std::to_chars_result r = std::to_chars(s.data(), s.data() + s.size(), value, format,
                                               precision);
  s.resize(static_cast<std::size_t>(r.ptr - s.data()));
  return s;
}

// Decimal exponent e of |value| rounded to `digits` significant digits,
// written as 0.d1d2..dd x 10^e; value must be finite and non-zero.
int rounded_exponent(double magnitude, int digits, std::string* mantissa_digits) {
  // d.ddddde[+-]xx, as long as the digits ask for (G with many digits
  // included).
  const int precision = std::max(digits - 1, 0);
  const std::string s = decimal_text(magnitude, std::chars_format::scientific, precision);
  std::size_t epos = s.find('e');
  int exp10 = std::atoi(s.c_str() + epos + 1);
  if (mantissa_digits) {
    mantissa_digits->clear();
    for (std::size_t i = 0; i < epos; ++i)
      if (std::isdigit(static_cast<unsigned char>(s[i]))) mantissa_digits->push_back(s[i]);
  }
  return exp10 + 1;
}

}  // namespace

std::string edit_integer(std::int64_t value, int width, bool sign_plus) {
  // The magnitude, formed without overflow for the most negative value.
  unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                           : static_cast<unsigned long long>(value);
  std::string s = std::to_string(magnitude);
  if (value < 0)
    s.insert(s.begin(), '-');
  else if (sign_plus)
    s.insert(s.begin(), '+');
  return right_align(s, width);
}

std::string edit_fixed(double value, int width, int digits, bool sign_plus) {
  if (!std::isfinite(value)) return edit_special(value, width, sign_plus);
  // As many characters as the digits ask for.
  std::string s = decimal_text(std::fabs(value), std::chars_format::fixed, digits);
  if (digits == 0) s += '.';
  // No minus sign on a value that rounds to zero in its field.
  bool negative = std::signbit(value) && !all_zero_digits(s);
  std::string sign = negative ? "-" : (sign_plus ? "+" : "");
  if (static_cast<int>(sign.size() + s.size()) > width && s.size() > 1 && s[0] == '0' &&
      s[1] == '.') {
    s.erase(0, 1);  // the leading zero is written only when the field has room
  }
  return right_align(sign + s, width);
}

std::string edit_exponent(double value, int width, int digits, bool sign_plus) {
  if (!std::isfinite(value)) return edit_special(value, width, sign_plus);
  std::string mantissa;
  int exp10 = 0;
  if (value == 0.0) {
    mantissa = fill(digits, '0');
  } else {
    exp10 = rounded_exponent(std::fabs(value), digits, &mantissa);
  }
  std::string body = "." + mantissa;
  int a = std::abs(exp10);
  char ebuf[16];
  if (a <= 99)
    std::snprintf(ebuf, sizeof ebuf, "E%c%02d", exp10 < 0 ? '-' : '+', a);
  else
    std::snprintf(ebuf, sizeof ebuf, "%c%03d", exp10 < 0 ? '-' : '+', a);
  body += ebuf;
  bool negative = std::signbit(value) && value != 0.0;
  std::string sign = negative ? "-" : (sign_plus ? "+" : "");
  if (static_cast<int>(sign.size() + body.size() + 1) <= width) body = "0" + body;
  return right_align(sign + body, width);
}

std::string edit_general(double value, int width, int digits, bool sign_plus) {
  if (!std::isfinite(value)) return edit_special(value, width, sign_plus);
  const int trailing = 4;
  // The fixed form needs a column besides its four trailing blanks.
  const bool room_for_fixed = width > trailing;
  if (value == 0.0 && !room_for_fixed) return fill(width, '*');
  if (value == 0.0)
    return edit_fixed(value, width - trailing, std::max(digits - 1, 0), sign_plus) +
           fill(trailing, ' ');
  int e = rounded_exponent(std::fabs(value), digits, nullptr);
  if (e >= 0 && e <= digits && !room_for_fixed) return fill(width, '*');
  if (e >= 0 && e <= digits)
    return edit_fixed(value, width - trailing, digits - e, sign_plus) + fill(trailing, ' ');
  return edit_exponent(value, width, digits, sign_plus);
}

}  // namespace vok
