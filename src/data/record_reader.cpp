#include "data/record_reader.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "output/layout.h"

namespace vok {

std::string_view describe(ReadStatus status) {
  switch (status) {
    case ReadStatus::ok:
      return "no error";
    case ReadStatus::end_of_file:
      return "end of file";
    case ReadStatus::cut_line:
      return "the line has no line end";
    case ReadStatus::bad_character:
      return "a character that cannot stand in a number";
    case ReadStatus::no_digits:
      return "a sign, a point or an exponent with no digits";
    case ReadStatus::out_of_range:
      return "a number beyond the range of 32-bit reals";
    case ReadStatus::text_for_number:
      return "an A descriptor where the row has a number";
    case ReadStatus::number_for_text:
      return "a numeric descriptor where the row has its stamp";
    case ReadStatus::no_value_descriptor:
      return "no descriptor left that takes a value";
    case ReadStatus::line_read_failed:
      return "a line could not be read";
    case ReadStatus::missing_value:
      return "an empty field where a value should stand";
    case ReadStatus::unusable_format:
      return "a record format that cannot be used for reading";
    case ReadStatus::short_line:
      return "fewer values on the line than the row has";
    case ReadStatus::empty_line:
      return "an empty line before the end of the file";
  }
  return "unknown status";
}

// ---------------------------------------------------------------------------
// Numeric fields

namespace {

// Beyond this many significant digits the rest only decides the rounding
// direction, which a final nonzero digit keeps (a 32-bit real never needs
// more than about 112 digits to be told from its neighbours' midpoint).
constexpr int kKeptDigits = 200;
constexpr int kExponentCap = 100'000;

constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

bool is_blank(char c) {
  return c == ' ';
}
bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// m * 10^exponent rounded once to the nearest float, for m < 10^15 and
// |exponent| <= 22, when a quick computation can tell: m and 10^|exponent|
// are exact in double, so the product or quotient rounds once; converting
// that double to float rounds a second time, which differs from a single
// rounding only when the double falls exactly on the midpoint of two floats.
// False (value untouched) for that case and for magnitudes outside the
// normal floats.
bool quick_to_float(bool negative, std::uint64_t m, int exponent, float& value) {
  double d = static_cast<double>(m);
  d = exponent < 0 ? d / kPowersOfTen[-exponent] : d * kPowersOfTen[exponent];
  if (!(d >= static_cast<double>(std::numeric_limits<float>::min()) &&
        d <= static_cast<double>(std::numeric_limits<float>::max())))
    return false;
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(d);
  constexpr std::uint64_t kLow = (std::uint64_t{1} << 29) - 1;
  if ((bits & kLow) == (std::uint64_t{1} << 28)) return false;
  // The sign set without a branch: signs in data follow no pattern.
  value = std::bit_cast<float>(std::bit_cast<std::uint32_t>(static_cast<float>(d)) |
                               (static_cast<std::uint32_t>(negative) << 31));
  return true;
}

// The decimal value sign * digits * 10^exponent rounded once to the nearest
// float.
ReadStatus to_float(bool negative, const char* digits, int count, int exponent, float& value) {
  if (count == 0) {
    value = negative ? -0.0f : 0.0f;
    return ReadStatus::ok;
  }
  if (count <= 15 && exponent >= -22 && exponent <= 22) {
    std::uint64_t m = 0;
    for (int i = 0; i < count; ++i) m = m * 10 + static_cast<std::uint64_t>(digits[i] - '0');
    if (quick_to_float(negative, m, exponent, value)) return ReadStatus::ok;
  }
  char text[kKeptDigits + 16];
  std::memcpy(text, digits, static_cast<std::size_t>(count));
  char* end = text + count;
  *end++ = 'e';
  end = std::to_chars(end, text + sizeof text, exponent).ptr;
  float f = 0.0f;
  std::from_chars_result r = std::from_chars(text, end, f);
  if (r.ec == std::errc::result_out_of_range) {
    // Magnitude below 10^(count + exponent - 1): tiny values round to zero.
    if (count + exponent < 0) {
      value = negative ? -0.0f : 0.0f;
      return ReadStatus::ok;
    }
    return ReadStatus::out_of_range;
  }
  if (r.ec != std::errc{}) return ReadStatus::bad_character;
  value = negative ? -f : f;
  return ReadStatus::ok;
}

// The usual field, read in one quick pass: blanks, an optional sign, digits
// with at most one point (none under Iw), blanks, and from 1 to 15
// significant digits in a value that quick_to_float can round. Anything else
// (blanks between digits, an exponent, a field without digits, a value it
// cannot round) is left to the full reading: false, value untouched.
bool decode_usual_field(const char* p, const char* end, int implied_decimals, bool integer,
                        float& value) {
  while (p < end && is_blank(*p)) ++p;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  // Two runs of digits, before and after the point, in one number m; at
  // most 19 characters (blanks after the number included) cannot overflow it.
  if (end - p > 19) return false;
  std::uint64_t m = 0;
  while (p < end && is_digit(*p)) m = m * 10 + static_cast<std::uint64_t>(*p++ - '0');
  int scale = 0;  // decimals after the point
  const bool point = p < end && *p == '.' && !integer;
  if (point) {
    const char* decimals = ++p;
    while (p < end && is_digit(*p)) m = m * 10 + static_cast<std::uint64_t>(*p++ - '0');
    scale = static_cast<int>(p - decimals);
  }
  while (p < end && is_blank(*p)) ++p;
  // From 1 to 15 significant digits.
  if (p != end || m == 0 || m >= 1'000'000'000'000'000) return false;
  const int exponent = -scale - (point ? 0 : implied_decimals);
  if (exponent < -22 || exponent > 22) return false;
  return quick_to_float(negative, m, exponent, value);
}

#if defined(__SSE2__)
__extension__ using Wide = unsigned __int128;

// The characters of a field of 1 to 16 characters in one register, right
// aligned (the last character in byte 15), blanks before them; read without
// touching a byte outside the field.
__m128i load_short_field(const char* p, std::size_t n) {
  constexpr std::uint64_t kBlanks = 0x2020202020202020;
  std::uint64_t low = kBlanks;  // bytes 0..7
  std::uint64_t high;           // bytes 8..15
  if (n >= 8) {
    std::memcpy(&high, p + n - 8, 8);
    if (n > 8) {
      std::uint64_t first;  // characters 0..7, to bytes 16 - n ..
      std::memcpy(&first, p, 8);
      low = n == 16 ? first : (first << (8 * (16 - n))) | (kBlanks >> (8 * (n - 8)));
    }
  } else if (n >= 4) {
    std::uint32_t first, last;  // characters 0..3 and n - 4..n - 1
    std::memcpy(&first, p, 4);
    std::memcpy(&last, p + n - 4, 4);
    high = (std::uint64_t{last} << 32) | (std::uint64_t{first} << (8 * (8 - n))) |
           (kBlanks >> (8 * n));
  } else {
    high = kBlanks;
    for (std::size_t i = 0; i < n; ++i)
      high = (high >> 8) | (std::uint64_t{static_cast<unsigned char>(p[i])} << 56);
  }
  return _mm_set_epi64x(static_cast<long long>(high), static_cast<long long>(low));
}

// Bit i set where byte i of `v` equals c.
unsigned bytes_equal(__m128i v, char c) {
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(c))));
}

// The number that 8 digit values (0..9, one a byte, the first the most
// significant) stand for.
std::uint64_t eight_digits(std::uint64_t digits) {
  digits = digits * 10 + (digits >> 8);  // pairs
  return (((digits & 0x000000FF000000FF) * (100 + (1000000ULL << 32))) +
          (((digits >> 16) & 0x000000FF000000FF) * (1 + (10000ULL << 32)))) >>
         32;
}

// decode_usual_field for a field of 1 to 16 characters: the characters are
// sorted into blanks, signs, points and digits all at once, and the digits
// read eight at a time.
bool decode_short_usual_field(const char* p, std::size_t n, int implied_decimals, bool integer,
                              float& value) {
  const __m128i v = load_short_field(p, n);
  const __m128i minus_bytes = _mm_cmpeq_epi8(v, _mm_set1_epi8('-'));
  const unsigned minus = static_cast<unsigned>(_mm_movemask_epi8(minus_bytes));
  const unsigned signs = static_cast<unsigned>(
      _mm_movemask_epi8(_mm_or_si128(minus_bytes, _mm_cmpeq_epi8(v, _mm_set1_epi8('+')))));
  const unsigned filled = ~bytes_equal(v, ' ') & 0xFFFF;
  const unsigned points = bytes_equal(v, '.');
  // '0'..'9' become -128..-119 once '0' is taken off and the sign bit flipped.
  const __m128i from_zero = _mm_sub_epi8(v, _mm_set1_epi8('0'));
  const __m128i is_digit =
      _mm_cmplt_epi8(_mm_xor_si128(from_zero, _mm_set1_epi8(static_cast<char>(0x80))),
                     _mm_set1_epi8(static_cast<char>(-118)));
  const unsigned digits = static_cast<unsigned>(_mm_movemask_epi8(is_digit));
  if (filled == 0) return false;
  // The characters from the first that is not a blank: a run without blanks
  // (blanks may follow it) of digits with at most one point (none under Iw),
  // a sign before them, and at most 15 digits.
  const int first = std::countr_zero(filled);
  const unsigned lead = 1u << first;
  const unsigned run = filled >> first;
  if ((run & (run + 1)) != 0) return false;
  if ((filled & ~(digits | points | (signs & lead))) != 0) return false;
  if ((points & (integer ? ~0u : points - 1)) != 0) return false;
  if (digits == 0xFFFF) return false;
  const int last = 31 - std::countl_zero(filled);
  const unsigned point = points;
  // The digit values, 0 in every other byte, the last digit in byte 15.
  const __m128i digit_values = _mm_and_si128(from_zero, is_digit);
  std::uint64_t low = static_cast<std::uint64_t>(_mm_cvtsi128_si64(digit_values));
  std::uint64_t high =
      static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(digit_values, digit_values)));
  if (last < 15) {
    Wide values = (Wide{high} << 64 | low) << (8 * (15 - last));
    low = static_cast<std::uint64_t>(values);
    high = static_cast<std::uint64_t>(values >> 64);
  }
  // The digits before the point moved up one byte, over it.
  const int decimals = point != 0 ? last - std::countr_zero(point) : 0;
  if (point != 0) {
    const int point_byte = 15 - decimals;
    if (point_byte >= 8) {
      const std::uint64_t below = (std::uint64_t{1} << (8 * (point_byte - 8))) - 1;
      high = ((high & below) << 8) | (high & ~below) | (low >> 56);
      low <<= 8;
    } else {
      const std::uint64_t below = (std::uint64_t{1} << (8 * point_byte)) - 1;
      low = ((low & below) << 8) | (low & ~below);
    }
  }
  const std::uint64_t m = eight_digits(low) * 100'000'000 + eight_digits(high);
  if (m == 0) return false;
  const int exponent = point != 0 ? -decimals : -implied_decimals;
  if (exponent < -22 || exponent > 22) return false;
  return quick_to_float((minus & lead) != 0, m, exponent, value);
}
#endif

// The full reading of a numeric field, for any field the quick pass leaves.
[[gnu::noinline]] ReadStatus decode_unusual_field(std::string_view field, int implied_decimals,
                                                  bool integer, float& value) {
  const char* p = field.data();
  const char* end = p + field.size();
  while (p < end && is_blank(*p)) ++p;
  bool negative = false;
  bool sign = false;
  if (p < end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    sign = true;
    ++p;
  }
  char digits[kKeptDigits + 1];
  int count = 0;  // significant digits kept (leading zeros dropped)
  int scale = 0;  // power of ten that the kept digits stand at
  bool any_digit = false;
  bool point = false;
  bool sticky = false;  // a nonzero digit was dropped
  for (; p < end; ++p) {
    char c = *p;
    if (is_digit(c)) {
      any_digit = true;
      if (point) --scale;
      if (count == 0 && c == '0') continue;
      if (count < kKeptDigits) {
        digits[count++] = c;
      } else {
        ++scale;
        sticky = sticky || c != '0';
      }
    } else if (c == '.') {
      if (point || integer) return ReadStatus::bad_character;
      point = true;
    } else if (!is_blank(c)) {
      break;
    }
  }
  // Exponent: a letter with an optional sign, or a sign alone.
  bool has_exponent = false;
  int exponent = 0;
  if (p < end) {
    if (integer) return ReadStatus::bad_character;
    char c = *p;
    bool letter = c == 'E' || c == 'e' || c == 'D' || c == 'd' || c == 'Q' || c == 'q';
    if (!letter && c != '+' && c != '-') return ReadStatus::bad_character;
    has_exponent = true;
    if (letter) {
      ++p;
      while (p < end && is_blank(*p)) ++p;
    }
    bool exponent_negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
      exponent_negative = *p == '-';
      ++p;
    }
    bool exponent_digit = false;
    for (; p < end; ++p) {
      if (is_digit(*p)) {
        exponent_digit = true;
        exponent = std::min(exponent * 10 + (*p - '0'), kExponentCap);
      } else if (!is_blank(*p)) {
        return ReadStatus::bad_character;
      }
    }
    if (!exponent_digit) return ReadStatus::no_digits;
    if (exponent_negative) exponent = -exponent;
  }
  if (!any_digit) {
    // A sign alone is no number; a field of blanks reads as zero.
    if (point || has_exponent || sign) return ReadStatus::no_digits;
    value = 0.0f;
    return ReadStatus::ok;
  }
  if (sticky) {
    digits[count++] = '1';
    --scale;
  }
  if (!point) scale -= implied_decimals;
  return to_float(negative, digits, count, scale + exponent, value);
}

// One pass over a numeric field. `integer` refuses a point and an exponent.
inline ReadStatus decode_field(std::string_view field, int implied_decimals, bool integer, float& value) {
#if defined(__SSE2__)
  const bool read = field.size() - 1 < 16
                        ? decode_short_usual_field(field.data(), field.size(), implied_decimals,
                                                   integer, value)
                        : decode_usual_field(field.data(), field.data() + field.size(),
                                             implied_decimals, integer, value);
#else
  const bool read = decode_usual_field(field.data(), field.data() + field.size(),
                                       implied_decimals, integer, value);
#endif
  return read ? ReadStatus::ok : decode_unusual_field(field, implied_decimals, integer, value);
}

}  // namespace

ReadStatus decode_real(std::string_view field, int digits, float& value) {
  return decode_field(field, digits, false, value);
}

ReadStatus decode_integer(std::string_view field, float& value) {
  return decode_field(field, 0, true, value);
}

// ---------------------------------------------------------------------------
// Compiling a record format into the plan of one row

namespace {

[[noreturn]] void refuse(const std::string& why, std::size_t character) {
  throw RecordFormatError(why, character);
}

// 1-based position of the first character of `format` for which `is` holds
// (1 when there is none).
template <typename Predicate>
std::size_t first_character(std::string_view format, Predicate is) {
  for (std::size_t i = 0; i < format.size(); ++i)
    if (is(format, i)) return i + 1;
  return 1;
}

bool is_separator(char c) {
  return c == ' ' || c == ',' || c == '\t';
}

// An empty group would let the walk loop without ever reaching an element.
void refuse_empty_groups(const std::vector<Edit>& edits, std::string_view format) {
  for (std::size_t i = 0; i < edits.size(); ++i) {
    if (edits[i].kind != EditKind::group_open) continue;
    bool has_element = false;
    for (std::size_t j = i + 1; j < static_cast<std::size_t>(edits[i].target); ++j) {
      if (edits[j].kind != EditKind::group_open && edits[j].kind != EditKind::group_close) {
        has_element = true;
        break;
      }
    }
    if (!has_element) {
      // An empty group holds, innermost, a "(" followed by its ")".
      refuse("a group with no descriptor in it",
             first_character(format, [](std::string_view f, std::size_t i) {
               if (f[i] != '(') return false;
               std::size_t j = i + 1;
               while (j < f.size() && is_separator(f[j])) ++j;
               return j < f.size() && f[j] == ')';
             }));
    }
  }
}

int clamp_column(long long column) {
  return static_cast<int>(std::min<long long>(column, INT_MAX / 2));
}

}  // namespace

RecordFormat RecordFormat::compile(std::string_view format, int values, StampPosition stamp) {
  std::size_t first = format.find_first_not_of(' ');
  if (first != std::string_view::npos && format[first] == '*' &&
      format.find_first_not_of(' ', first + 1) == std::string_view::npos) {
    if (stamp != StampPosition::none)
      refuse("rows read with \"*\" cannot carry a stamp", first + 1);
    RecordFormat plan;
    plan.values_ = std::max(values, 0);
    plan.list_directed_ = true;
    return plan;
  }
  if (first == std::string_view::npos || format[first] != '(')
    refuse("the record format must begin with \"(\"",
           first == std::string_view::npos ? 1 : first + 1);
  Layout layout;
  try {
    layout = Layout::parse(format);
  } catch (const LayoutError& e) {
    // The parser's text is "bad layout: WHY at offset N near ...": WHY is kept,
    // the offset becomes the character.
    std::string why = e.what();
    constexpr std::string_view kPrefix = "bad layout: ";
    if (why.starts_with(kPrefix)) why.erase(0, kPrefix.size());
    if (std::size_t at = why.find(" at offset "); at != std::string::npos) why.erase(at);
    refuse(why, e.offset() + 1);
  }
  for (const Edit& e : layout.edits()) {
    if (e.kind == EditKind::literal)
      refuse("a text in quotes has no meaning when reading",
             first_character(format, [](std::string_view f, std::size_t i) {
               return f[i] == '"' || f[i] == '\'';
             }));
    if (e.kind == EditKind::sign_plus || e.kind == EditKind::sign_default)
      refuse("the sign descriptors S, SS and SP have no meaning when reading",
             first_character(format, [](std::string_view f, std::size_t i) {
               return f[i] == 'S' || f[i] == 's';
             }));
    if (e.kind == EditKind::integer && e.width < 1)
      refuse("an integer field of width 0",
             first_character(format, [](std::string_view f, std::size_t i) {
               return (f[i] == 'I' || f[i] == 'i') && i + 1 < f.size() && f[i + 1] == '0';
             }));
  }
  refuse_empty_groups(layout.edits(), format);

  RecordFormat plan;
  plan.values_ = std::max(values, 0);
  plan.stamp_ = stamp;
  const int items = plan.values_ + (stamp == StampPosition::none ? 0 : 1);
  const int stamp_item = stamp == StampPosition::first  ? 0
                         : stamp == StampPosition::last ? plan.values_
                                                        : -1;
  const int first_value = stamp == StampPosition::first ? 1 : 0;
  // A reasonable format takes a few elements per value; this bound only stops
  // formats built to walk practically forever (large nested repeat counts).
  const long long step_limit = 1'000'000LL + 64LL * items;

  LayoutWalker walker(layout);
  long long column = 0;
  long long walked = 0;
  int item = 0;
  auto push = [&plan](Step step) { plan.steps_.push_back(step); };
  auto new_line = [&] {
    push(Step{Step::Kind::next_line, 0, 0, 0, 0});
    ++plan.lines_per_row_;
    column = 0;
  };
  bool done = false;
  while (!done) {
    if (++walked > step_limit) refuse("the record format takes too many steps for one row", 1);
    const Edit* e = walker.next();
    if (e == nullptr) {
      if (item >= items) break;
      if (!walker.consumed_value_since_start()) {
        push(Step{Step::Kind::fail, 0, 0, 0, 0, ReadStatus::no_value_descriptor});
        break;
      }
      walker.revert();
      new_line();
      continue;
    }
    switch (e->kind) {
      case EditKind::blanks:
      case EditKind::tab_right:
        column += e->width;
        break;
      case EditKind::tab_left:
        column = std::max(0LL, column - e->width);
        break;
      case EditKind::tab_to:
        column = e->width - 1;
        break;
      case EditKind::new_line:
        new_line();
        break;
      case EditKind::colon:
        done = item >= items;
        break;
      case EditKind::integer:
      case EditKind::fixed:
      case EditKind::general:
      case EditKind::exponent:
      case EditKind::dexponent:
      case EditKind::text: {
        if (item >= items) {
          done = true;
          break;
        }
        const bool text = e->kind == EditKind::text;
        const bool wants_stamp = item == stamp_item;
        if (text != wants_stamp) {
          push(Step{Step::Kind::fail, 0, 0, 0, 0,
                    text ? ReadStatus::text_for_number : ReadStatus::number_for_text});
          done = true;
          break;
        }
        Step step{Step::Kind::real, clamp_column(column), e->width, e->digits, item - first_value};
        if (text) {
          step.kind = Step::Kind::stamp;
          if (step.width == 0) step.width = static_cast<int>(kStampWidth);
        } else if (e->kind == EditKind::integer) {
          step.kind = Step::Kind::integer;
        }
        push(step);
        column += step.width;
        ++item;
        break;
      }
      default:
        break;
    }
  }
  return plan;
}

// ---------------------------------------------------------------------------
// Reading rows

namespace {

std::string_view cut(std::string_view line, int column, int width) {
  std::size_t size = line.size();
  std::size_t from = static_cast<std::size_t>(column);
  if (from >= size) return {};
  return line.substr(from, static_cast<std::size_t>(width));
}

// Aw into a 20-character stamp: a wider field keeps its rightmost 20
// characters, a narrower one is padded on the right.
void copy_stamp(std::string_view line, int column, int width, char* stamp) {
  const int keep = static_cast<int>(kStampWidth);
  int from = width > keep ? column + width - keep : column;
  int count = std::min(width, keep);
  std::string_view field = cut(line, from, count);
  if (!field.empty()) std::memcpy(stamp, field.data(), field.size());
  std::memset(stamp + field.size(), ' ', kStampWidth - field.size());
}

}  // namespace

std::size_t RecordFormat::last_line_length() const {
  std::size_t length = 0;
  for (const Step& step : steps_) {
    if (step.kind == Step::Kind::next_line) length = 0;
    if (step.kind == Step::Kind::real || step.kind == Step::Kind::integer ||
        step.kind == Step::Kind::stamp)
      length = std::max(length, static_cast<std::size_t>(step.column + step.width));
  }
  return length;
}

ReadStatus RecordReader::next_line() {
  if (file_->read_line(line_)) return ReadStatus::ok;
  return file_->error() != 0 ? ReadStatus::line_read_failed : ReadStatus::end_of_file;
}

namespace {

bool is_list_blank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

}  // namespace

ReadStatus RecordReader::read_list_row(const RowDestination* to) {
  if (ReadStatus s = next_line(); s != ReadStatus::ok) return s;
  if (file_->last_line_unterminated()) return ReadStatus::cut_line;
  // Rows passed over are not decoded: one line each.
  if (to == nullptr) return ReadStatus::ok;
  const std::string_view line = line_;
  const int wanted = format_->values();
  std::size_t at = 0;
  while (at < line.size() && is_list_blank(line[at])) ++at;
  if (at == line.size()) {
    if (wanted == 0) return ReadStatus::ok;
    // Only empty lines to the end: the file has ended (an editor's blank last
    // lines); anything after an empty line makes it an error.
    while (file_->read_line(look_ahead_)) {
      if (look_ahead_.find_first_not_of(" \t\r") != std::string::npos)
        return ReadStatus::empty_line;
    }
    return file_->error() != 0 ? ReadStatus::line_read_failed : ReadStatus::end_of_file;
  }
  bool after_comma = false;  // the last separator held a comma
  for (int item = 0; item < wanted; ++item) {
    while (at < line.size() && is_list_blank(line[at])) ++at;
    if (at == line.size()) {
      return after_comma ? ReadStatus::missing_value : ReadStatus::short_line;
    }
    // A comma where a value should begin: an empty field.
    if (line[at] == ',') return ReadStatus::missing_value;
    const std::size_t begin = at;
    while (at < line.size() && !is_list_blank(line[at]) && line[at] != ',') ++at;
    float v;
    if (ReadStatus s = decode_real(line.substr(begin, at - begin), 0, v); s != ReadStatus::ok)
      return s;
    to->store(item, v);
    // The separator after a value: blanks, a comma, or a comma with blanks
    // around it.
    while (at < line.size() && is_list_blank(line[at])) ++at;
    after_comma = at < line.size() && line[at] == ',';
    if (after_comma) ++at;
  }
  return ReadStatus::ok;
}

ReadStatus decode_row(const RecordFormat& format, const RowLines& lines, const RowDestination& to) {
  const std::size_t held = lines.count();
  if (held == 0) return lines.missing;
  std::size_t at = 0;
  std::string_view line = lines.line(0);
  for (const RecordFormat::Step& step : format.steps()) {
    // Most steps read a real: a test the processor learns the pattern of,
    // before a jump through a table it would often miss.
    if (step.kind == RecordFormat::Step::Kind::real) [[likely]] {
      float v;
      ReadStatus s = decode_field(cut(line, step.column, step.width), step.digits, false, v);
      if (s != ReadStatus::ok) return s;
      to.store(step.item, v);
      continue;
    }
    switch (step.kind) {
      case RecordFormat::Step::Kind::next_line:
        if (++at == held) return lines.missing;
        line = lines.line(at);
        break;
      case RecordFormat::Step::Kind::real:
        break;
      case RecordFormat::Step::Kind::integer: {
        float v;
        ReadStatus s = decode_integer(cut(line, step.column, step.width), v);
        if (s != ReadStatus::ok) return s;
        to.store(step.item, v);
        break;
      }
      case RecordFormat::Step::Kind::stamp:
        if (to.stamp != nullptr) copy_stamp(line, step.column, step.width, to.stamp);
        break;
      case RecordFormat::Step::Kind::fail:
        return step.failure;
    }
  }
  return ReadStatus::ok;
}

ReadStatus RecordReader::read_row(const RowDestination& to) {
  if (format_->list_directed()) return read_list_row(&to);
  const std::size_t lines = static_cast<std::size_t>(format_->lines_per_row());
  row_text_.resize(lines);
  row_lines_.clear();
  ReadStatus missing = ReadStatus::ok;
  for (std::string& line : row_text_) {
    if (missing = next_line(); missing != ReadStatus::ok) break;
    line.swap(line_);
    row_lines_.push_back(line);
  }
  if (missing == ReadStatus::ok && file_->last_line_unterminated() &&
      row_lines_.back().size() < format_->last_line_length()) {
    row_lines_.pop_back();  // cut off while being written: the row lacks it
    missing = ReadStatus::end_of_file;
  }
  return decode_row(*format_, RowLines{row_lines_, missing}, to);
}

ReadStatus RecordReader::skip_row() {
  if (format_->list_directed()) return read_list_row(nullptr);
  for (int i = 0; i < format_->lines_per_row(); ++i)
    if (ReadStatus s = next_line(); s != ReadStatus::ok) return s;
  return ReadStatus::ok;
}

}  // namespace vok
