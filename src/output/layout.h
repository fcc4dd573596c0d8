// Line layouts: a layout is written in the notation of edit descriptors
// ("text", nX, Iw, Fw.d, Gw.d, Aw, "/", n( ... ), ":", SP, ...), parsed once
// into a small program of edit elements, and then applied to many lines.
//
//   static const Layout count_line = Layout::parse(R"(2X I5 2X "(" F5.1 "%)" A)");
//   report.write(count_line, {count, 100.0f * count / frames, text});
//
// The same parse serves the record formats of data files, e.g.
// "(a19,1x,3f12.4)": descriptors are case-insensitive, commas separate items,
// and input-only descriptors (Ew.d, Dw.d, Tn, TLn, TRn) are accepted.
//
// Here: the parsed layout and its walk (layout.cpp), and Layout::format, the
// walk applied to values (layout_format.cpp). The editing of one number is in
// output/number_edit.h, free-format lines in output/free_format.h.
#pragma once

#include <initializer_list>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "output/value.h"

namespace vok {

// What one element of a layout does.
enum class EditKind {
  literal,       // "text"
  blanks,        // nX
  integer,       // Iw
  fixed,         // Fw.d
  general,       // Gw.d
  exponent,      // Ew.d (input; output as E)
  dexponent,     // Dw.d (input)
  text,          // Aw, or A with width 0 meaning "as long as the value"
  tab_to,        // Tn   (input)
  tab_left,      // TLn  (input)
  tab_right,     // TRn  (input)
  new_line,      // "/"
  colon,         // ":"
  sign_plus,     // SP
  sign_default,  // SS or S
  group_open,    // n(   ; count = n, target = index of the matching group_close
  group_close,   // )    ; target = index of the matching group_open
};

struct Edit {
  explicit Edit(EditKind k) : kind(k) {}

  EditKind kind;
  int count = 1;        // repeat count (descriptors and groups)
  int width = 0;        // w of Iw, Fw.d, Gw.d, Aw; n of nX, Tn, TLn, TRn
  int digits = 0;       // d of Fw.d, Gw.d, Ew.d, Dw.d
  int target = -1;      // matching bracket of a group
  std::string literal;  // text of a "text" element

  bool takes_value() const {
    return kind == EditKind::integer || kind == EditKind::fixed || kind == EditKind::general ||
           kind == EditKind::exponent || kind == EditKind::dexponent || kind == EditKind::text;
  }
};

// A layout that cannot be parsed; the message names the offset and the text
// around it.
class LayoutError : public std::runtime_error {
 public:
  LayoutError(const std::string& message, std::size_t offset)
      : std::runtime_error(message), offset_(offset) {}
  std::size_t offset() const { return offset_; }

 private:
  std::size_t offset_;
};

// Limits that keep a user-written record format from exhausting memory or time.
inline constexpr int kMaxRepeat = 1'000'000;
inline constexpr int kMaxWidth = 100'000;
inline constexpr int kMaxNesting = 32;
// Characters of a repeated text such as 60"=".
inline constexpr std::size_t kMaxRepeatedText = 100'000;

class Layout {
 public:
  // Parses a layout written in the notation of the reports. A whole layout
  // enclosed in one pair of parentheses (a record format such as
  // "(a19,1x,3f12.4)") has its outer pair removed. Throws LayoutError.
  static Layout parse(std::string_view notation);

  // The lines the layout writes for these values (a "/" or a reversion starts
  // a new line). Always at least one line, which may be empty. Defined in
  // layout_format.cpp.
  std::vector<std::string> format(std::span<const Value> values) const;
  std::vector<std::string> format(std::initializer_list<Value> values) const {
    return format(std::span<const Value>(values.begin(), values.size()));
  }

  const std::vector<Edit>& edits() const { return edits_; }
  // Index of the element where reversion restarts: the group_open of the last
  // top-level group, or 0 when the layout has no group.
  int reversion_point() const { return reversion_; }
  // True when some element consumes a value.
  bool has_value_field() const { return has_value_field_; }
  const std::string& notation() const { return notation_; }

 private:
  std::vector<Edit> edits_;
  int reversion_ = 0;
  bool has_value_field_ = false;
  std::string notation_;
};

// Walks a parsed layout element by element: expands repeat counts and groups,
// and starts over at the reversion point when asked. Shared by the line writer
// and the record reader.
class LayoutWalker {
 public:
  explicit LayoutWalker(const Layout& layout) : layout_(&layout) {}

  // The next element to act on, with repeat counts expanded (an Edit with
  // count n is returned n times), or nullptr at the end of the layout.
  // Group brackets are consumed here and never returned.
  const Edit* next();
  // Restart at the reversion point (after the end of the layout).
  void revert();
  // True when the walk has passed no value-taking element since the start or
  // the last reversion; used to detect a reversion that would loop forever.
  bool consumed_value_since_start() const { return consumed_value_; }

 private:
  struct Frame {
    int open;       // index of group_open
    int remaining;  // repeats left after the current one
  };
  const Layout* layout_;
  int pos_ = 0;
  int repeat_left_ = 0;  // further repeats of the element at pos_ - 1
  std::vector<Frame> stack_;
  bool consumed_value_ = false;
};

}  // namespace vok
