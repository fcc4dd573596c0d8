// Layouts parsed from their notation into edit elements, and the walk over
// those elements that the line writer (layout_format.cpp) and the record
// reader share.
#include "output/layout.h"

#include <algorithm>
#include <cctype>

namespace vok {

namespace {

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

}  // namespace

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

}  // namespace vok
