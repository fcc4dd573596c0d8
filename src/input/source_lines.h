// Where a value came from: the file and line behind a piece of input text, and
// the detail line that follows every message about such a value.
//
//   at run.cnl line 5: "start datum=1.5   * first row"
//
// The control files are read through a joined text (the contents of their
// parameter lines, one after another); JoinedText keeps, for each part of it,
// the line it came from, so a setting found in the joined text can be traced
// back to its line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "output/channel.h"

namespace vok {

struct SourceLine {
  std::string file;         // as the user named it
  std::int64_t number = 0;  // 1-based
  std::string text;         // the whole line as read, without its line end
};

// Shown of a line's text in a detail line, at most.
inline constexpr std::size_t kDetailTextLength = 80;

// ` at FILE line N: "TEXT"` (as a free-format line: its first character is a
// blank), the text cut to 80 characters, then `: WHY` when `why` is given.
std::string detail_line(const SourceLine& line, std::string_view why = {});

// Writes the detail line on each channel of `to` (the control stage's go to
// the console, then the error file).
void write_detail(const ChannelGroup& to, const SourceLine& line, std::string_view why = {});

class JoinedText {
 public:
  JoinedText() = default;
  // A text whose lines are not known (settings written directly, in tests):
  // its messages have no detail line.
  explicit JoinedText(std::string text) : text_(std::move(text)) {}

  // Starts the joined text of `file` afresh (a file name, even an empty
  // text, makes its lines known).
  void start(std::string file);
  // Appends one parameter line's content (the text before its "*").
  void append(std::string_view content, std::int64_t line_number, std::string_view line);
  // Pads the text with blanks (parts keep their lines; the padding has none).
  void pad_to(std::size_t length);

  const std::string& text() const { return text_; }
  std::size_t size() const { return text_.size(); }
  const std::string& file() const { return file_; }

  // The line that holds character `offset` (0-based) of the joined text, or
  // null (padding, or lines not known).
  const SourceLine* line_at(std::size_t offset) const;

  // The line a field reader takes a setting's value from: the line of the
  // first "=" at or after the first occurrence of `search` (its trailing
  // blanks dropped) in the first 700 characters; the line of the search text
  // when no "=" follows it; null when the search text does not occur.
  const SourceLine* setting_line(std::string_view search) const;

  // After a message about the setting found by `search`: its detail line, or
  // ` at FILE: no label holds "SEARCH"` when no label holds the search text,
  // on each channel of `to`. Nothing when the lines are not known.
  void write_setting_detail(const ChannelGroup& to, std::string_view search) const;

 private:
  struct Part {
    std::size_t begin;  // offset in text_
    std::size_t end;
    std::size_t line;  // index in lines_
  };
  std::string text_;
  std::string file_;
  std::vector<SourceLine> lines_;
  std::vector<Part> parts_;
};

}  // namespace vok
