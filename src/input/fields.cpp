#include "input/fields.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace vok {

namespace {

// The part of a text the readers look at: its first 700 characters, with
// blanks standing in for anything past the end of a shorter text.
class Window {
 public:
  explicit Window(std::string_view text) : text_(text.substr(0, kSearchLimit)) {}

  char at(std::size_t i) const { return i < text_.size() ? text_[i] : ' '; }
  std::size_t size() const { return kSearchLimit; }

  // First occurrence of `what` that lies wholly inside the window, or npos.
  std::size_t find(std::string_view what, std::size_t from = 0) const {
    if (what.size() > kSearchLimit) return std::string_view::npos;
    for (std::size_t i = from; i + what.size() <= kSearchLimit; ++i) {
      bool match = true;
      for (std::size_t j = 0; j < what.size() && match; ++j) match = at(i + j) == what[j];
      if (match) return i;
    }
    return std::string_view::npos;
  }
  std::size_t find(char c, std::size_t from) const {
    for (std::size_t i = from; i < kSearchLimit; ++i)
      if (at(i) == c) return i;
    return std::string_view::npos;
  }

  // Characters [from, 700), blank-padded.
  std::string tail(std::size_t from) const {
    return slice(from, from < kSearchLimit ? kSearchLimit - from : 0);
  }
  std::string slice(std::size_t from, std::size_t count) const {
    std::string out(count, ' ');
    for (std::size_t i = 0; i < count; ++i) out[i] = at(from + i);
    return out;
  }

 private:
  std::string_view text_;
};

std::string_view without_trailing_blanks(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

char separator(std::string_view separators, std::size_t i) {
  return i < separators.size() ? separators[i] : ' ';
}

// Steps common to every reader: the search text, then the assignment mark.
// Returns the index just after the mark, or sets the error number.
struct Located {
  std::size_t value_start = 0;
  int error = 0;
};

Located locate(const Window& w, std::string_view search, std::string_view separators) {
  std::size_t k = w.find(without_trailing_blanks(search));
  if (k == std::string_view::npos) return {0, 1};
  std::size_t mark = w.find(separator(separators, 0), k);
  if (mark == std::string_view::npos) return {0, 2};
  return {mark + 1, 0};
}

// A number value may stand after up to two blanks and carry a minus sign.
struct NumberStart {
  std::size_t p;
  int sign;
};

NumberStart skip_blanks_and_sign(const Window& w, std::size_t p) {
  if (w.at(p) == ' ') ++p;
  if (w.at(p) == ' ') ++p;
  if (w.at(p) == '-') return {p + 1, -1};
  return {p, 1};
}

// Where a number reader's value starts: the field located, then its blanks
// and sign passed over. Sets the reader's error number and position; nothing
// when the field is not found.
template <typename T>
std::optional<NumberStart> number_start(const Window& w, std::string_view search,
                                        std::string_view separators, FieldRead<T>& r) {
  const Located at = locate(w, search, separators);
  r.error = at.error;
  if (at.error != 0) return std::nullopt;
  const NumberStart start = skip_blanks_and_sign(w, at.value_start);
  r.position = static_cast<int>(start.p + 1);
  return start;
}

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

bool all_digits(std::string_view s) {
  return std::all_of(s.begin(), s.end(), is_digit);
}

// The decimal reading of a run of digits (at most 18).
std::int64_t decimal_value(std::string_view digits) {
  std::int64_t v = 0;
  for (char c : digits) v = v * 10 + (c - '0');
  return v;
}

}  // namespace

std::int32_t number(std::string_view digits, std::int32_t previous) {
  if (digits.empty() || digits.size() > 7) return previous;
  // Any character counts by its code; the readers check for digits first.
  std::int32_t result = 0;
  for (char c : digits) result = result * 10 + (static_cast<unsigned char>(c) - '0');
  return result;
}

FieldRead<std::string> FieldReaders::charead(std::string_view search, std::string_view text,
                                             std::string_view separators) {
  constexpr std::size_t kWidth = 50;
  FieldRead<std::string> r;
  r.value.assign(kWidth, ' ');
  const Window w(text);
  Located at = locate(w, search, separators);
  r.error = at.error;
  if (at.error != 0) return r;
  std::size_t p = at.value_start;
  r.position = static_cast<int>(p + 1);
  std::size_t end = w.find(separator(separators, 1), p);
  if (end == std::string_view::npos || end == p) {
    r.error = 3;
    return r;
  }
  // The value keeps its terminating blank.
  std::string value = w.slice(p, std::min(end - p + 1, kWidth));
  r.value.replace(0, value.size(), value);
  return r;
}

FieldRead<std::int32_t> FieldReaders::numread(std::string_view search, std::string_view text,
                                              Channel& diag, std::string_view separators) {
  return read_integer(search, text, diag, separators, kShortDigits);
}

FieldRead<std::int32_t> FieldReaders::long_numread(std::string_view search, std::string_view text,
                                                   Channel& diag, std::string_view separators) {
  return read_integer(search, text, diag, separators, kLongDigits);
}

FieldRead<std::int32_t> FieldReaders::read_integer(std::string_view search, std::string_view text,
                                                   Channel& diag, std::string_view separators,
                                                   std::size_t max_digits) {
  FieldRead<std::int32_t> r;
  r.value = last_integer_;
  const Window w(text);
  const std::optional<NumberStart> start = number_start(w, search, separators, r);
  if (!start) return r;
  const auto [p, sign] = *start;
  std::size_t end = w.find(separator(separators, 1), p);
  if (end == std::string_view::npos || end == p) {
    r.error = 3;
    return r;
  }
  const std::string digits = w.slice(p, end - p);
  if (!all_digits(digits)) {
    r.error = 3;
    return r;
  }
  std::int64_t magnitude = 0;
  if (digits.size() <= max_digits) magnitude = decimal_value(digits);
  if (digits.size() > max_digits || magnitude > std::numeric_limits<std::int32_t>::max()) {
    diag.write_free({"The number ", w.tail(p), " > 999999"});
    r.error = 4;
    return r;
  }
  last_integer_ = static_cast<std::int32_t>(magnitude) * sign;
  r.value = last_integer_;
  return r;
}

FieldRead<float> FieldReaders::rnumread(std::string_view search, std::string_view text,
                                        Channel& diag, std::string_view separators) {
  FieldRead<float> r;
  r.value = last_real_;
  const Window w(text);
  const std::optional<NumberStart> start = number_start(w, search, separators, r);
  if (!start) return r;
  const auto [p, sign] = *start;

  // The value runs up to its terminator (to character 700 when it has none);
  // its point, if any, stands before that.
  const char terminator = separator(separators, 1);
  const std::size_t value_end = w.find(terminator, p);
  std::size_t point = w.find('.', p);
  if (point != std::string_view::npos && value_end != std::string_view::npos && point > value_end)
    point = std::string_view::npos;

  // The integer part runs up to the point, or for a whole number (read from
  // its own digits) up to the terminator.
  const bool whole = point == std::string_view::npos;
  if (whole && value_end == std::string_view::npos) {
    r.error = 4;
    return r;
  }
  const std::string integer_digits = w.slice(p, (whole ? value_end : point) - p);
  if (!all_digits(integer_digits) || (whole && integer_digits.empty())) {
    r.error = 3;
    return r;
  }
  if (integer_digits.size() >= 8) {
    diag.write_free({"The number ", w.tail(p), " > 9,999,999"});
    r.error = 5;
    return r;
  }
  const std::int32_t integer_part = integer_digits.empty() ? 0 : number(integer_digits, 0);
  if (whole) {
    last_real_ = static_cast<float>(sign) * static_cast<float>(integer_part);
    r.value = last_real_;
    return r;
  }

  // The point and the 9 characters after it. A blank right after the point
  // ends the value: "5. " is 5.0, whatever the text after the blank holds.
  std::string after = w.slice(point, 10);
  const bool digit_after_point = is_digit(after[1]);
  if (after[1] == ' ') {
    if (integer_digits.empty()) {  // "." or "-." alone holds no digit
      r.error = 3;
      return r;
    }
    last_real_ = static_cast<float>(sign) * static_cast<float>(integer_part);
    r.value = last_real_;
    return r;
  }
  std::size_t fraction_digits = std::string_view::npos;
  for (std::size_t i = 1; i < after.size(); ++i) {
    if (after[i] == terminator) {
      fraction_digits = i - 1;
      break;
    }
  }
  if (fraction_digits == std::string_view::npos) {
    r.error = 3;
    return r;
  }
  const std::string_view fraction_text = std::string_view(after).substr(1, fraction_digits);
  // A point alone ("." or "-.") holds no digit at all.
  if (!all_digits(fraction_text) || (integer_digits.empty() && !digit_after_point)) {
    r.error = 3;
    return r;
  }
  if (fraction_digits == 7 || fraction_digits == 8) {
    diag.write_free({"The number ", w.tail(point + 1), " > 9,999,999"});
    r.error = 5;
    return r;
  }
  std::int32_t fraction = number(fraction_text, 0);
  std::int32_t scale = 1;
  for (std::size_t i = 0; i < fraction_digits; ++i) scale *= 10;
  const float magnitude =
      static_cast<float>(static_cast<double>(integer_part) +
                         static_cast<double>(fraction) / static_cast<double>(scale));
  last_real_ = static_cast<float>(sign) * magnitude;
  r.value = last_real_;
  return r;
}

}  // namespace vok
