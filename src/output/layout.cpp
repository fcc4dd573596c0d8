#include "output/layout.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace vok {

namespace {

// ---------------------------------------------------------------------------
// Parsing

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  std::vector<Edit> parse(int& reversion) {
    std::vector<Edit> edits;
    std::vector<int> open_groups;
    int last_top_group = -1;
    std::size_t end = text_.size();
    // A record format is enclosed in one pair of parentheses; text after the
    // closing parenthesis is not part of it.
    skip_separators();
    if (pos_ < text_.size() && text_[pos_] == '(') {
      std::size_t close = matching_paren(pos_);
      if (close == std::string_view::npos) fail("unbalanced parentheses");
      ++pos_;
      end = close;
    }
    while (true) {
      skip_separators(end);
      if (pos_ >= end) break;
      char c = text_[pos_];
      if (c == ')') {
        if (open_groups.empty()) fail("unexpected ')'");
        int open = open_groups.back();
        open_groups.pop_back();
        Edit e{EditKind::group_close};
        e.target = open;
        edits[open].target = static_cast<int>(edits.size());
        edits.push_back(e);
        ++pos_;
        continue;
      }
      std::size_t item_start = pos_;
      int count = 1;
      bool has_count = false;
      if (std::isdigit(static_cast<unsigned char>(c))) {
        count = read_number(kMaxRepeat, "repeat count");
        has_count = true;
        skip_blanks(end);
        if (pos_ >= end) fail("repeat count without a descriptor");
        c = text_[pos_];
      }
      char u = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (c == '(') {
        if (static_cast<int>(open_groups.size()) >= kMaxNesting) fail("groups nested too deeply");
        Edit e{EditKind::group_open};
        e.count = count;
        if (open_groups.empty()) last_top_group = static_cast<int>(edits.size());
        open_groups.push_back(static_cast<int>(edits.size()));
        edits.push_back(e);
        ++pos_;
      } else if (c == '"' || c == '\'') {
        Edit e{EditKind::literal};
        e.literal = read_literal(c);
        if (has_count) {
          // 60"=" written without a group: the text repeated.
          if (e.literal.size() * static_cast<std::size_t>(count) > kMaxRepeatedText)
            fail("repeated text too long");
          std::string repeated;
          for (int i = 0; i < count; ++i) repeated += e.literal;
          e.literal = std::move(repeated);
        }
        edits.push_back(e);
      } else if (u == 'X') {
        Edit e{EditKind::blanks};
        e.width = has_count ? count : 1;
        edits.push_back(e);
        ++pos_;
      } else if (c == '/') {
        Edit e{EditKind::new_line};
        e.count = count;
        edits.push_back(e);
        ++pos_;
      } else if (c == ':') {
        if (has_count) fail("repeat count before ':'");
        edits.push_back(Edit{EditKind::colon});
        ++pos_;
      } else if (u == 'S') {
        if (has_count) fail("repeat count before a sign descriptor");
        ++pos_;
        char n = peek_upper(end);
        if (n == 'P') {
          edits.push_back(Edit{EditKind::sign_plus});
          ++pos_;
        } else {
          if (n == 'S') ++pos_;
          edits.push_back(Edit{EditKind::sign_default});
        }
      } else if (u == 'T') {
        if (has_count) fail("repeat count before a tab descriptor");
        ++pos_;
        char n = peek_upper(end);
        Edit e{EditKind::tab_to};
        if (n == 'L') {
          e.kind = EditKind::tab_left;
          ++pos_;
        } else if (n == 'R') {
          e.kind = EditKind::tab_right;
          ++pos_;
        }
        e.width = read_required_number(kMaxWidth, "tab position");
        if (e.kind == EditKind::tab_to && e.width < 1) fail("tab position below 1");
        edits.push_back(e);
      } else if (u == 'I' || u == 'F' || u == 'G' || u == 'E' || u == 'D' || u == 'A') {
        Edit e{EditKind::text};
        e.count = count;
        ++pos_;
        switch (u) {
          case 'I':
            e.kind = EditKind::integer;
            break;
          case 'F':
            e.kind = EditKind::fixed;
            break;
          case 'G':
            e.kind = EditKind::general;
            break;
          case 'E':
            e.kind = EditKind::exponent;
            break;
          case 'D':
            e.kind = EditKind::dexponent;
            break;
          default:
            e.kind = EditKind::text;
            break;
        }
        if (u == 'A') {
          if (pos_ < end && std::isdigit(static_cast<unsigned char>(text_[pos_]))) {
            e.width = read_number(kMaxWidth, "width");
            if (e.width < 1) fail("width below 1");
          }
        } else {
          e.width = read_required_number(kMaxWidth, "width");
          if (u == 'I') {
            // Iw.m: minimum digits are accepted and ignored.
            if (pos_ < end && text_[pos_] == '.') {
              ++pos_;
              read_required_number(kMaxWidth, "digits");
            }
          } else {
            if (pos_ >= end || text_[pos_] != '.') fail("expected '.' and a digit count");
            ++pos_;
            e.digits = read_required_number(kMaxWidth, "digits");
            // Ew.dEe: the exponent width is accepted and ignored.
            if ((u == 'E' || u == 'G' || u == 'D') && peek_upper(end) == 'E') {
              ++pos_;
              read_required_number(kMaxWidth, "exponent width");
            }
          }
          if (e.width < 1 && u != 'I') fail("width below 1");
        }
        edits.push_back(e);
      } else {
        pos_ = item_start;
        fail("unknown edit descriptor");
      }
      if (has_count && count < 1) {
        pos_ = item_start;
        fail("repeat count below 1");
      }
    }
    if (!open_groups.empty()) fail("unbalanced parentheses");
    reversion = last_top_group < 0 ? 0 : last_top_group;
    return edits;
  }

 private:
  [[noreturn]] void fail(const std::string& what) const {
    std::size_t from = pos_ > 10 ? pos_ - 10 : 0;
    std::string around(text_.substr(from, 20));
    throw LayoutError(
        "bad layout: " + what + " at offset " + std::to_string(pos_) + " near \"" + around + "\"",
        pos_);
  }

  void skip_separators(std::size_t end = std::string_view::npos) {
    end = std::min(end, text_.size());
    while (pos_ < end && (text_[pos_] == ' ' || text_[pos_] == ',' || text_[pos_] == '\t')) ++pos_;
  }
  void skip_blanks(std::size_t end) {
    while (pos_ < end && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
  }
  char peek_upper(std::size_t end) const {
    if (pos_ >= end) return '\0';
    return static_cast<char>(std::toupper(static_cast<unsigned char>(text_[pos_])));
  }

  int read_number(int limit, const char* what) {
    long long v = 0;
    std::size_t start = pos_;
    while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_]))) {
      v = v * 10 + (text_[pos_] - '0');
      if (v > limit) fail(std::string(what) + " too large");
      ++pos_;
    }
    if (pos_ == start) fail(std::string("expected ") + what);
    return static_cast<int>(v);
  }
  int read_required_number(int limit, const char* what) { return read_number(limit, what); }

  std::string read_literal(char quote) {
    std::string out;
    ++pos_;
    while (true) {
      if (pos_ >= text_.size()) fail("unterminated text");
      char c = text_[pos_++];
      if (c == quote) {
        if (pos_ < text_.size() && text_[pos_] == quote) {
          out += quote;
          ++pos_;
          continue;
        }
        return out;
      }
      out += c;
    }
  }

  std::size_t matching_paren(std::size_t open) const {
    int depth = 0;
    char quote = 0;
    for (std::size_t i = open; i < text_.size(); ++i) {
      char c = text_[i];
      if (quote) {
        if (c == quote) quote = 0;
        continue;
      }
      if (c == '"' || c == '\'')
        quote = c;
      else if (c == '(')
        ++depth;
      else if (c == ')' && --depth == 0)
        return i;
    }
    return std::string_view::npos;
  }
  std::string_view text_;
  std::size_t pos_ = 0;
};

// ---------------------------------------------------------------------------
// Numeric editing

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

// Decimal exponent e of |value| rounded to `digits` significant digits,
// written as 0.d1d2..dd x 10^e; value must be finite and non-zero.
int rounded_exponent(double magnitude, int digits, std::string* mantissa_digits) {
  // d.ddddde[+-]xx, as long as the digits ask for (G with many digits
  // included).
  const int precision = std::max(digits - 1, 0);
  const int length = std::snprintf(nullptr, 0, "%.*e", precision, magnitude);
  std::string s(static_cast<std::size_t>(std::max(length, 0)) + 1, '\0');
  std::snprintf(s.data(), s.size(), "%.*e", precision, magnitude);
  s.pop_back();
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

// ---------------------------------------------------------------------------

Layout Layout::parse(std::string_view notation) {
  Layout layout;
  layout.notation_ = std::string(notation);
  Parser parser(notation);
  layout.edits_ = parser.parse(layout.reversion_);
  for (const Edit& e : layout.edits_)
    if (e.takes_value()) layout.has_value_field_ = true;
  return layout;
}

const Edit* LayoutWalker::next() {
  const std::vector<Edit>& edits = layout_->edits();
  if (repeat_left_ > 0) {
    --repeat_left_;
    return &edits[static_cast<std::size_t>(pos_ - 1)];
  }
  while (pos_ < static_cast<int>(edits.size())) {
    const Edit& e = edits[static_cast<std::size_t>(pos_)];
    if (e.kind == EditKind::group_open) {
      stack_.push_back(Frame{pos_, e.count - 1});
      ++pos_;
      continue;
    }
    if (e.kind == EditKind::group_close) {
      Frame& f = stack_.back();
      if (f.remaining > 0) {
        --f.remaining;
        pos_ = f.open + 1;
      } else {
        stack_.pop_back();
        ++pos_;
      }
      continue;
    }
    ++pos_;
    repeat_left_ = e.count - 1;
    if (e.takes_value()) consumed_value_ = true;
    return &e;
  }
  return nullptr;
}

void LayoutWalker::revert() {
  pos_ = layout_->reversion_point();
  repeat_left_ = 0;
  stack_.clear();
  consumed_value_ = false;
}

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
  const int n = std::snprintf(nullptr, 0, "%.*f", digits, std::fabs(value));
  if (n < 0) return fill(width, '*');
  std::string s(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(s.data(), s.size(), "%.*f", digits, std::fabs(value));
  s.pop_back();
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

std::vector<std::string> Layout::format(std::span<const Value> values) const {
  std::vector<std::string> lines;
  std::string current;
  bool sign_plus = false;
  std::size_t next_value = 0;
  LayoutWalker walker(*this);
  auto edit_value = [&](const Edit& e, const Value& v) -> std::string {
    double real = v.kind() == Value::Kind::integer ? static_cast<double>(v.integer()) : v.real();
    switch (e.kind) {
      case EditKind::integer:
        if (v.kind() == Value::Kind::integer) return edit_integer(v.integer(), e.width, sign_plus);
        // A real that no integer can hold (NaN included) does not fit the field.
        if (!(std::fabs(v.real()) < 0x1p63)) return fill(std::max(e.width, 1), '*');
        return edit_integer(static_cast<std::int64_t>(v.real()), e.width, sign_plus);
      case EditKind::fixed:
        return edit_fixed(real, e.width, e.digits, sign_plus);
      case EditKind::general:
        return edit_general(real, e.width, e.digits, sign_plus);
      case EditKind::exponent:
      case EditKind::dexponent:
        return edit_exponent(real, e.width, e.digits, sign_plus);
      default: {
        std::string text = v.kind() == Value::Kind::text      ? std::string(v.text())
                           : v.kind() == Value::Kind::integer ? std::to_string(v.integer())
                                                              : free_format({v}).substr(1);
        if (e.width == 0) return text;
        if (static_cast<int>(text.size()) >= e.width) return text.substr(0, e.width);
        return fill(e.width - static_cast<int>(text.size()), ' ') + text;
      }
    }
  };
  while (true) {
    const Edit* e = walker.next();
    if (e == nullptr) {
      if (next_value < values.size() && walker.consumed_value_since_start()) {
        lines.push_back(std::move(current));
        current.clear();
        walker.revert();
        continue;
      }
      break;
    }
    bool stop = false;
    switch (e->kind) {
      case EditKind::literal:
        current += e->literal;
        break;
      case EditKind::blanks:
        current += fill(e->width, ' ');
        break;
      case EditKind::tab_to:
        if (static_cast<int>(current.size()) < e->width - 1)
          current += fill(e->width - 1 - static_cast<int>(current.size()), ' ');
        break;
      case EditKind::tab_right:
        current += fill(e->width, ' ');
        break;
      case EditKind::tab_left:
        break;
      case EditKind::new_line:
        lines.push_back(std::move(current));
        current.clear();
        break;
      case EditKind::colon:
        stop = next_value >= values.size();
        break;
      case EditKind::sign_plus:
        sign_plus = true;
        break;
      case EditKind::sign_default:
        sign_plus = false;
        break;
      case EditKind::group_open:
      case EditKind::group_close:
        break;
      default:
        if (next_value >= values.size()) {
          stop = true;
          break;
        }
        current += edit_value(*e, values[next_value++]);
        break;
    }
    if (stop) break;
  }
  lines.push_back(std::move(current));
  return lines;
}

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
