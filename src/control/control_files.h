// The two kinds of control file.
//
// "Runvok.cnl" holds the settings shared by every run (parameter lines up to
// and including the line with "#", at most 18) and then one line per run that
// names the run's control file. A run control file holds the settings of one
// run (parameter lines up to the line with "#", at most 17; the "#" line itself
// is not used). On a parameter line the text before the first "*" is content,
// the rest comment; the contents are joined, with nothing between them, into
// one 700-character text in which the field readers look for the settings.
//
// Every failed check writes its messages (console, error file, in the order
// each message needs, on the channels it is handed) and throws Stop, except
// a missing run control file, which throws RunEnded.
#pragma once

#include <string>
#include <string_view>

#include "control/run_driver.h"
#include "output/run_kind.h"
#include "input/source_lines.h"
#include "input/text_file.h"
#include "output/channel.h"

namespace vok {

inline constexpr std::size_t kRecordLength = 80;   // a control-file line is an 80-character record
inline constexpr std::size_t kJoinedLength = 700;  // length of the joined text
inline constexpr const char* kTopControlName = "Runvok.cnl";
inline constexpr const char* kErrorFileName = "Vok-error.out";

// A line as an 80-character record: cut at 80, or padded with blanks.
std::string as_record(std::string_view line);

// Where the control files' messages go: the console and the error file, each
// message on the two in the order it needs; the detail line after a message
// on the console, then the error file.
struct ControlChannels {
  Channel& console;
  Channel& error_file;
  ChannelGroup detail() const { return {&console, &error_file}; }
};

// Creates (or replaces) the error file "Vok-error.out" in the working
// directory on `to.error_file`. Stops when it cannot be created.
void create_error_file(const ControlChannels& to);

// The settings of the top control file from its joined text, read and checked
// in their fixed order. A message about a setting is followed by its detail
// line when the joined text knows its lines.
SharedSettings read_shared_settings(const JoinedText& joined, FieldReaders& readers,
                                    const ControlChannels& to);
SharedSettings read_shared_settings(std::string_view joined, FieldReaders& readers,
                                    const ControlChannels& to);

// "Runvok.cnl": read once for its shared settings, then one name line per run.
class TopControlFile {
 public:
  // Its messages go to `to`.
  explicit TopControlFile(const ControlChannels& to) : to_(to) {}
  // Checks that the file exists, opens it, joins its parameter lines and reads
  // the shared settings. The file is left at its first name line.
  SharedSettings read(FieldReaders& readers);
  // The run control file name of the next line: the text before its first
  // "*" (none when the line has no "*"), blank-padded to 80 characters.
  std::string next_run_name(int run_index);
  // The line that named the last run control file.
  const SourceLine& name_line() const { return name_line_; }
  // Joined text of the parameter lines.
  const std::string& joined_text() const { return joined_.text(); }
  // The same with the line each part came from.
  const JoinedText& source() const { return joined_; }

 private:
  ControlChannels to_;
  TextFile file_;
  JoinedText joined_;
  int lines_read_ = 0;
  SourceLine name_line_;
};

// What a run control file sets for its run (the datums are read later, from
// the same joined text, once the data file's row count is known).
struct RunSettings {
  int x_column = 0;
  int y_column = 0;
  Graphing graphing = Graphing::off;
  SampleUnit sample_unit = SampleUnit::time;
  std::string time_unit = "       ";  // 7 characters; set in a time run only
  Transform transform = Transform::none;  // "clip data" (clipping) or "log data"
  std::string data_file;              // 80 characters, blank-padded
  std::string joined_text;            // 700 characters
  JoinedText source;                  // the same, with the line of each part
};

// The settings of a run control file from its joined text.
RunSettings read_run_settings(const JoinedText& joined, FieldReaders& readers,
                              const ControlChannels& to);
RunSettings read_run_settings(std::string_view joined, FieldReaders& readers,
                              const ControlChannels& to);

// Reads the run control file `name` (80 characters, blank-padded, as it stands
// in "Runvok.cnl"). A missing file writes its messages and throws RunEnded.
RunSettings read_run_control(const std::string& name, Execution& execution,
                             const ControlChannels& to);

// First and last observation row of a run and their count.
struct Datums {
  int start = 0;  // IS
  int end = 0;    // IE, with 0 replaced by rows
  int n = 0;      // IE - IS + 1
};

// Reads and checks the start and end datum of a run (up to 10 digits each)
// from the joined text of its control file, given the row count of the data
// file's header.
Datums read_datums(const JoinedText& joined, int rows, Execution& execution,
                   const ControlChannels& to);
Datums read_datums(std::string_view joined, int rows, Execution& execution,
                   const ControlChannels& to);

}  // namespace vok
