#include "control/control_files.h"

#include <algorithm>
#include <initializer_list>

#include "control/setting_refusals.h"
#include "output/channel.h"
#include "output/failure.h"

namespace vok {

namespace {

constexpr int kTopParameterLines = 18;
constexpr int kRunParameterLines = 17;
constexpr std::size_t kShownLength = 70;  // of a line without "*" in its message

std::string padded(std::string_view text, std::size_t length) {
  std::string out(text.substr(0, length));
  out.resize(length, ' ');
  return out;
}

std::string_view without_trailing_blanks(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

bool holds(std::string_view text, std::string_view fragment) {
  return text.substr(0, kJoinedLength).find(fragment) != std::string_view::npos;
}

// Appends one parameter line's content to the joined text; content that does
// not fit is refused rather than cut.
void append_content(JoinedText& joined, std::string_view content, int line_number,
                    std::string_view line, const ControlChannels& to) {
  if (joined.size() + content.size() > kJoinedLength) {
    to_each({&to.console, &to.error_file}, [&](Channel& ch) {
      ch.write_free({"Parameter lines of ", joined.file(), " exceed 700 characters"});
    });
    write_detail(to.detail(), SourceLine{joined.file(), line_number, std::string(line)});
    throw Stop{};
  }
  joined.append(content, line_number, line);
}

// A parameter line without "*": the message shows the line itself.
[[noreturn]] void refuse_unmarked_line(std::string_view message, std::string_view record,
                                       const ControlChannels& to) {
  to_each({&to.console, &to.error_file}, [&](Channel& ch) {
    ch.write_free({message});
    ch.write_free({record.substr(0, kShownLength)});
  });
  throw Stop{};
}

// The two lines of an unreadable setting: what failed, and the reader's
// error number.
void report_unreadable(std::initializer_list<Channel*> targets, std::string_view what,
                       std::string_view reader, int error) {
  to_each(targets, [&](Channel& ch) {
    ch.write_free({what});
    ch.write_free({reader, error});
  });
}

constexpr std::string_view kNumread = "Error number for numread = ";
constexpr std::string_view kRnumread = "Error number for rnumread = ";
constexpr std::string_view kCharead = "Error number for charead = ";

// The VAR lag: "VAR" calls for "R lag", otherwise "var" for "r lag";
// neither means no VAR fit.
int read_var_lag(const JoinedText& source, FieldReaders& readers, const ControlChannels& to) {
  const std::string& joined = source.text();
  static const Layout kMissing =
      Layout::parse(R"(7X "The VAR command is missing in the control file" /)");
  static const Layout kMissingLower =
      Layout::parse(R"(7X "The VAR command is missing in the control file " /)");
  // Read with up to 10 digits: a lag too large for any frame is then refused
  // with its value by the lag checks, not taken for a missing command.
  auto refuse_unreadable = [&](const FieldRead<std::int32_t>& lag, std::string_view search,
                               const Layout& on_error_file) {
    if (lag.error == 4) {
      ChannelGroup{&to.console, &to.error_file}.write_free(
          {"VAR parameter > 2147483647: no frame can be that long"});
    } else {
      to.error_file.write(on_error_file);
      to.console.write(kMissing);
    }
    source.write_setting_detail(to.detail(), search);
    throw Stop{};
  };
  if (holds(joined, "VAR")) {
    auto lag = readers.long_numread("R lag", joined, to.error_file);
    if (lag.error != 0) refuse_unreadable(lag, "R lag", kMissing);
    return lag.value;
  }
  if (holds(joined, "var")) {
    auto lag = readers.long_numread("r lag", joined, to.error_file);
    if (lag.error != 0) refuse_unreadable(lag, "r lag", kMissingLower);
    return lag.value;
  }
  return 0;
}

// The file behind a name as it stands in a control file: trailing blanks are
// not part of it.
std::string file_path(std::string_view name) {
  std::string_view path = without_trailing_blanks(name);
  if (path.find('\0') != std::string_view::npos) return {};
  return std::string(path);
}

}  // namespace

std::string as_record(std::string_view line) {
  return padded(line, kRecordLength);
}

void create_error_file(const ControlChannels& to) {
  if (int status = to.error_file.open_file(kErrorFileName); status != 0) {
    to.console.write_free({"**** Error on creating the error file Vok-error.out ", status});
    to.console.write_free({file_error_line(kErrorFileName, status)});
    throw Stop{};
  }
}

SharedSettings read_shared_settings(std::string_view joined, FieldReaders& readers,
                                    const ControlChannels& to) {
  return read_shared_settings(JoinedText(std::string(joined)), readers, to);
}

SharedSettings read_shared_settings(const JoinedText& source, FieldReaders& readers,
                                    const ControlChannels& to) {
  Channel& diag = to.error_file;
  const std::string& joined = source.text();
  SharedSettings s;

  // The run count alone is optional: without its label no run is made; a
  // label with a value that cannot be read stops.
  auto runs = readers.numread("uns", joined, diag);
  if (runs.error != 0 && runs.error != 1) {
    report_unreadable({&to.console, &to.error_file}, "Error in reading the number of runs",
                      kNumread, runs.error);
    source.write_setting_detail(to.detail(), "uns");
    throw Stop{};
  }
  s.runs = runs.error == 0 ? runs.value : 0;

  auto exponent = readers.rnumread("onent", joined, diag);
  if (exponent.error != 0) {
    to_each({&to.console, &to.error_file}, [&](Channel& ch) {
      ch.write_free({"Error in reading the exponent ", exponent.value, " from cnl file"});
      ch.write_free({kRnumread, exponent.error});
    });
    source.write_setting_detail(to.detail(), "onent");
    throw Stop{};
  }
  s.exponent = exponent.value;
  refuse_outside(s.analysis(), detail::Bound::exponent, source, {&to.console, &to.error_file});

  auto alarm = readers.rnumread("larm", joined, diag);
  if (alarm.error != 0) {
    report_unreadable({&to.error_file, &to.console}, "Error in reading the false alarm", kRnumread,
                      alarm.error);
    source.write_setting_detail(to.detail(), "larm");
    throw Stop{};
  }

  auto frame_length = readers.numread("ength", joined, diag);
  if (frame_length.error != 0) {
    report_unreadable({&to.error_file, &to.console}, "Error in reading the frame length", kNumread,
                      frame_length.error);
    source.write_setting_detail(to.detail(), "ength");
    throw Stop{};
  }
  s.frame_length = frame_length.value;
  refuse_outside(s.analysis(), detail::Bound::frame_length, source, {&to.console, &to.error_file});
  // The level, read before the frame length, is checked after it.
  s.false_alarm = alarm.value;
  refuse_outside(s.analysis(), detail::Bound::false_alarm, source, {&to.console, &to.error_file});

  auto overlap = readers.numread("lap", joined, diag);
  if (overlap.error != 0) {
    report_unreadable({&to.error_file, &to.console}, "Error in reading the overlap", kNumread,
                      overlap.error);
    source.write_setting_detail(to.detail(), "lap");
    throw Stop{};
  }
  s.overlap = overlap.value;

  s.var_lag = read_var_lag(source, readers, to);

  auto resamples = readers.numread("sample", joined, diag);
  if (resamples.error != 0) {
    report_unreadable({&to.error_file, &to.console}, "Error in reading the resamples", kNumread,
                      resamples.error);
    source.write_setting_detail(to.detail(), "sample");
    throw Stop{};
  }
  s.resamples = resamples.value;
  // Too few resamples for the level are refused by each run, after its
  // statistics.
  refuse_outside(s.analysis(), detail::Bound::resamples, source, {&to.console, &to.error_file});
  return s;
}

SharedSettings TopControlFile::read(FieldReaders& readers) {
  if (!file_exists(kTopControlName)) {
    to_.console.line("");
    to_.console.line("");
    to_.console.write_free({"Runvok.cnl file does not exist"});
    to_.error_file.write_free({"Runvok.cnl file does not exist"});
    throw Stop{};
  }
  if (int status = file_.open(kTopControlName); status != 0) {
    to_.console.write_free({"**** Error on opening Runvok.cnl ", status});
    to_.detail().write_free(
        {std::string("at ") + kTopControlName + ": " + TextFile::open_failure(status)});
    throw Stop{};
  }

  // Parameter lines up to and including the one with "#".
  joined_.start(kTopControlName);
  lines_read_ = 0;
  for (int i = 0; i < kTopParameterLines; ++i) {
    std::string line;
    if (!file_.read_line(line)) {
      to_each({&to_.console, &to_.error_file}, [&](Channel& ch) {
        if (file_.error() != 0)
          ch.write_free({"Place the symbol # after the two top reads ", file_.error()});
        else
          ch.write_free({"End of file on runvok.cnl reads"});
      });
      throw Stop{};
    }
    ++lines_read_;
    const std::string record = as_record(line);
    const bool last = record.find('#') != std::string::npos;
    const std::size_t star = record.find('*');
    if (star == std::string::npos)
      refuse_unmarked_line("Place comment marker * after each line in Runvok.cnl", record, to_);
    append_content(joined_, std::string_view(record).substr(0, star), i + 1, line, to_);
    if (last) break;
  }
  joined_.pad_to(kJoinedLength);
  return read_shared_settings(joined_, readers, to_);
}

std::string TopControlFile::next_run_name(int run_index) {
  std::string line;
  if (!file_.read_line(line)) {
    const int status = file_.error();
    to_each({&to_.console, &to_.error_file}, [&](Channel& ch) {
      if (status != 0) {
        ch.write_free({"**** Error on reading name of cnl file ", run_index, status});
        ch.write_free({as_record(line)});
      } else {
        ch.write_free({"End of file on cnl read in runvok.cnl"});
      }
    });
    throw Stop{};
  }
  name_line_ = SourceLine{kTopControlName, ++lines_read_, line};
  const std::string record = as_record(line);
  const std::size_t star = record.find('*');
  return padded(
      star == std::string::npos ? std::string_view() : std::string_view(record).substr(0, star),
      kRecordLength);
}

RunSettings read_run_settings(std::string_view joined, FieldReaders& readers,
                              const ControlChannels& to) {
  JoinedText source(padded(joined, kJoinedLength));
  return read_run_settings(source, readers, to);
}

RunSettings read_run_settings(const JoinedText& source, FieldReaders& readers,
                              const ControlChannels& to) {
  Channel& diag = to.error_file;
  RunSettings s;
  s.joined_text = padded(source.text(), kJoinedLength);
  s.source = source;
  s.source.pad_to(kJoinedLength);
  const std::string& joined = s.joined_text;

  auto x = readers.numread("n-x", joined, diag);
  if (x.error != 0) {
    report_unreadable({&to.error_file, &to.console}, "Error in reading the x-data column no.",
                      kNumread, x.error);
    source.write_setting_detail(to.detail(), "n-x");
    throw Stop{};
  }
  s.x_column = x.value;

  auto y = readers.numread("n-y", joined, diag);
  if (y.error != 0) {
    report_unreadable({&to.console, &to.error_file}, "Error in reading the y-data column no.",
                      kNumread, y.error);
    source.write_setting_detail(to.detail(), "n-y");
    throw Stop{};
  }
  s.y_column = y.value;

  // Column numbers start at 1; anything lower names no column of any file.
  struct Column {
    int number;
    const char* label;
    const char* search;
  };
  for (const Column& column :
       {Column{s.x_column, "x-column number ", "n-x"}, Column{s.y_column, "y-column number ", "n-y"}}) {
    if (column.number < 1) {
      to_each({&to.error_file, &to.console}, [&](Channel& ch) {
        ch.write_free({column.label, column.number, " < 1"});
      });
      source.write_setting_detail(to.detail(), column.search);
      throw Stop{};
    }
  }

  auto graphing = readers.charead("graphing", joined);
  if (graphing.error != 0) {
    to_each({&to.console, &to.error_file}, [&](Channel& ch) {
      ch.write_free({"Error in reading the graph file flag"});
      ch.write_free({"String ", padded("graphing", 20)});
      ch.write_free({kCharead, graphing.error});
    });
    source.write_setting_detail(to.detail(), "graphing");
    throw Stop{};
  }
  // "yes" turns graphing on, "no" off; a value holding neither is a mistake
  // (a misspelt "yes" would quietly give no plot files).
  const bool graphing_yes = graphing.value.find("yes") != std::string::npos;
  if (!graphing_yes && graphing.value.find("no") == std::string::npos) {
    const std::string_view value = without_trailing_blanks(graphing.value);
    to_each({&to.console, &to.error_file}, [&](Channel& ch) {
      ch.write_free({"Graphing switch must be yes or no: ", value});
    });
    source.write_setting_detail(to.detail(), "graphing");
    throw Stop{};
  }
  s.graphing = graphing_yes ? Graphing::on : Graphing::off;

  auto unit = readers.charead("nit", joined);
  if (unit.error != 0) {
    static const Layout kConsole = Layout::parse(R"(/ 7X "Error - Place unit= in the cnl file")");
    static const Layout kErrorFile = Layout::parse(R"(/ 7X "Error - Place unit= on Pem.cnl file")");
    to.console.write(kConsole);
    to.error_file.write(kErrorFile);
    source.write_setting_detail(to.detail(), "nit");
    throw Stop{};
  }
  if (unit.value.find("quency") != std::string::npos) {
    s.sample_unit = SampleUnit::frequency;
  } else {
    s.sample_unit = SampleUnit::time;
    s.time_unit = unit.value.substr(0, 7);
  }

  const bool clip = holds(joined, "lip data");
  const bool log = holds(joined, "og data");
  if (clip && log) {
    static const Layout kBoth = Layout::parse(R"(7X "clip and log swiches are set. Use only one")");
    to_each({&to.error_file, &to.console}, [&](Channel& ch) { ch.write(kBoth); });
    source.write_setting_detail(to.detail(), "og data");
    throw Stop{};
  }
  s.transform = clip ? Transform::clip : log ? Transform::log : Transform::none;

  auto data_file = readers.charead("ile name", joined);
  if (data_file.error != 0) {
    report_unreadable({&to.console, &to.error_file},
                      "Error in reading the data file name from cnl file", kCharead,
                      data_file.error);
    source.write_setting_detail(to.detail(), "ile name");
    throw Stop{};
  }
  s.data_file = padded(data_file.value, kRecordLength);
  return s;
}

RunSettings read_run_control(const std::string& name, Execution& execution,
                             const ControlChannels& to) {
  const std::string shown = padded(name, std::max(name.size(), kRecordLength));
  const std::string path = file_path(name);
  if (path.empty() || !file_exists(path)) {
    to_each({&to.console, &to.error_file}, [&](Channel& ch) {
      ch.line("");
      ch.line("");
      ch.write_free({"cnl file does not exist ", shown});
    });
    if (execution.run_name_line.number > 0) write_detail(to.detail(), execution.run_name_line);
    throw RunEnded{};
  }
  TextFile file;
  if (int status = file.open(path); status != 0) {
    to_each({&to.console, &to.error_file}, [&](Channel& ch) {
      ch.write_free({"**** Error on opening control file ", status});
      ch.write_free({"at " + std::string(path) + ": " + TextFile::open_failure(status)});
    });
    throw Stop{};
  }

  // Parameter lines up to the one with "#", which is not used.
  JoinedText joined;
  joined.start(path);
  for (int i = 0; i < kRunParameterLines; ++i) {
    std::string line;
    if (!file.read_line(line)) {
      to_each({&to.console, &to.error_file}, [&](Channel& ch) {
        if (file.error() != 0)
          ch.write_free({"**** Error on reading cnl file ", path, file.error()});
        else
          ch.write_free({"End of file on cnl file ", path, " before the # line"});
      });
      throw Stop{};
    }
    const std::string record = as_record(line);
    if (record.find('#') != std::string::npos) break;
    const std::size_t star = record.find('*');
    if (star == std::string::npos)
      refuse_unmarked_line("Place comment marker * after parameters on vok.cnl", record, to);
    append_content(joined, std::string_view(record).substr(0, star), i + 1, line, to);
  }
  joined.pad_to(kJoinedLength);
  return read_run_settings(joined, execution.readers, to);
}

Datums read_datums(std::string_view joined, int rows, Execution& execution,
                   const ControlChannels& to) {
  return read_datums(JoinedText(std::string(joined)), rows, execution, to);
}

Datums read_datums(const JoinedText& source, int rows, Execution& execution,
                   const ControlChannels& to) {
  Channel& diag = to.error_file;
  const std::string& joined = source.text();
  auto start = execution.readers.long_numread("start", joined, diag);
  if (start.error != 0) {
    to_each({&to.console, &to.error_file}, [&](Channel& ch) {
      ch.write_free({"Error ", start.error, " in read of start datum"});
      ch.write_free({padded("start", 20)});
    });
    source.write_setting_detail(to.detail(), "start");
    throw Stop{};
  }
  auto end = execution.readers.long_numread("end", joined, diag);
  if (end.error != 0) {
    to_each({&to.console, &to.error_file}, [&](Channel& ch) {
      ch.write_free({"Error ", end.error, " in read of end datum"});
      ch.write_free({padded("end", 20)});
    });
    source.write_setting_detail(to.detail(), "end");
    throw Stop{};
  }

  Datums d{start.value, end.value, 0};
  if (d.start < 1) {
    to_each({&to.console, &to.error_file}, [&](Channel& ch) {
      ch.write_free({"IS in CNL file is < 1 ", d.start});
    });
    source.write_setting_detail(to.detail(), "start");
    throw Stop{};
  }
  if (d.end != 0 && d.end < d.start) {
    to_each({&to.console, &to.error_file}, [&](Channel& ch) {
      ch.write_free({"IE < IS in CNL file ", d.start, d.end});
    });
    source.write_setting_detail(to.detail(), "end");
    throw Stop{};
  }
  if (d.end == 0) d.end = rows;
  // Rows past the end of the data file cannot be read.
  if (d.end > rows) {
    to_each({&to.console, &to.error_file}, [&](Channel& ch) {
      ch.write_free({"IE ", d.end, " > number of rows ", rows});
    });
    source.write_setting_detail(to.detail(), "end");
    throw Stop{};
  }
  d.n = d.end - d.start + 1;
  if (d.n > rows) {
    to_each({&to.console, &to.error_file}, [&](Channel& ch) {
      ch.write_free({"n ", d.n, " > sample size ", rows});
    });
    source.write_setting_detail(to.detail(), "end");
    throw Stop{};
  }
  return d;
}

}  // namespace vok
