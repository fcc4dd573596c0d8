#include "control/control_files.h"

#include <algorithm>
#include <initializer_list>

#include "output/channel.h"
#include "output/failure.h"

namespace vok {

namespace {

constexpr int kTopParameterLines = 18;
constexpr int kRunParameterLines = 17;
constexpr std::size_t kShownLength = 70;  // of a line without "*" in its message

Channel& console() {
  return channels().console;
}
Channel& error_file() {
  return channels().error_file;
}

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
void append_content(std::string& joined, std::string_view content, std::string_view file_name) {
  if (joined.size() + content.size() > kJoinedLength) {
    to_each({&console(), &error_file()}, [&](Channel& ch) {
      ch.write_free({"Parameter lines of ", file_name, " exceed 700 characters"});
    });
    throw Stop{};
  }
  joined += content;
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

// The VAR order: "VAR" calls for "R lag", otherwise "var" for "r lag";
// neither means no VAR fit.
int read_var_order(std::string_view joined, FieldReaders& readers) {
  static const Layout kMissing =
      Layout::parse(R"(7X "The VAR command is missing in the control file" /)");
  static const Layout kMissingLower =
      Layout::parse(R"(7X "The VAR command is missing in the control file " /)");
  if (holds(joined, "VAR")) {
    auto p = readers.numread("R lag", joined, error_file());
    if (p.error != 0) {
      to_each({&error_file(), &console()}, [&](Channel& ch) { ch.write(kMissing); });
      throw Stop{};
    }
    return p.value;
  }
  if (holds(joined, "var")) {
    auto p = readers.numread("r lag", joined, error_file());
    if (p.error != 0) {
      error_file().write(kMissingLower);
      console().write(kMissing);
      throw Stop{};
    }
    return p.value;
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

void create_error_file() {
  if (int status = error_file().open_file(kErrorFileName); status != 0) {
    console().write_free({"**** Error on creating the error file Vok-error.out ", status});
    throw Stop{};
  }
}

SharedSettings read_shared_settings(std::string_view joined, FieldReaders& readers) {
  Channel& diag = error_file();
  SharedSettings s;

  // The run count alone is optional: without it no run is made.
  auto runs = readers.numread("uns", joined, diag);
  s.runs = runs.error == 0 ? runs.value : 0;

  auto exponent = readers.rnumread("onent", joined, diag);
  if (exponent.error != 0) {
    to_each({&console(), &error_file()}, [&](Channel& ch) {
      ch.write_free({"Error in reading the exponent ", exponent.value, " from cnl file"});
      ch.write_free({kRnumread, exponent.error});
    });
    throw Stop{};
  }
  // Bounds are the 32-bit reals nearest 0.01 and 0.5, so "0.01" itself fails.
  if (!(exponent.value > 0.01f && exponent.value <= 0.5f)) {
    to_each({&console(), &error_file()}, [&](Channel& ch) {
      ch.write_free({"exponent =", exponent.value, " is out of bounds in file file"});
    });
    throw Stop{};
  }
  s.exponent = exponent.value;

  auto alarm = readers.rnumread("larm", joined, diag);
  if (alarm.error != 0) {
    report_unreadable({&error_file(), &console()}, "Error in reading the false alarm", kRnumread,
                      alarm.error);
    throw Stop{};
  }

  auto lw = readers.numread("ength", joined, diag);
  if (lw.error != 0) {
    report_unreadable({&error_file(), &console()}, "Error in reading the frame length", kNumread,
                      lw.error);
    throw Stop{};
  }
  // Shorter frames leave too few lags and degrees of freedom; 0 and negative
  // lengths have no meaning and are refused the same way.
  if (lw.value < 12) {
    to_each({&console(), &error_file()}, [&](Channel& ch) {
      ch.write_free({"Frame length ", lw.value, " < 12. Increase lw"});
    });
    throw Stop{};
  }
  s.lw = lw.value;

  if (alarm.value > 1.0f) {
    to_each({&console(), &error_file()}, [&](Channel& ch) {
      ch.write_free({alarm.value, " False alarm threshold > 1"});
    });
    throw Stop{};
  }
  s.false_alarm = alarm.value;

  auto overlap = readers.numread("lap", joined, diag);
  if (overlap.error != 0) {
    report_unreadable({&error_file(), &console()}, "Error in reading the overlap", kNumread,
                      overlap.error);
    throw Stop{};
  }
  s.overlap = overlap.value;

  s.var_order = read_var_order(joined, readers);

  auto resamples = readers.numread("sample", joined, diag);
  if (resamples.error != 0) {
    report_unreadable({&error_file(), &console()}, "Error in reading the resamples", kNumread,
                      resamples.error);
    throw Stop{};
  }
  if (resamples.value < 0) {
    to_each({&console(), &error_file()}, [&](Channel& ch) {
      ch.write_free({"Number of resamples ", resamples.value, " < 0"});
    });
    throw Stop{};
  }
  s.resamples = resamples.value;
  return s;
}

SharedSettings TopControlFile::read(FieldReaders& readers) {
  if (!file_exists(kTopControlName)) {
    console().line("");
    console().line("");
    console().write_free({"Runvok.cnl file does not exist"});
    error_file().write_free({"Runvok.cnl file does not exist"});
    throw Stop{};
  }
  if (int status = file_.open(kTopControlName); status != 0) {
    console().write_free({"**** Error on opening Runvok.cnl ", status});
    throw Stop{};
  }

  // Parameter lines up to and including the one with "#".
  joined_.clear();
  for (int i = 0; i < kTopParameterLines; ++i) {
    std::string line;
    if (!file_.read_line(line)) {
      to_each({&console(), &error_file()}, [&](Channel& ch) {
        if (file_.error() != 0)
          ch.write_free({"Place the symbol # after the two top reads ", file_.error()});
        else
          ch.write_free({"End of file on runvok.cnl reads"});
      });
      throw Stop{};
    }
    const std::string record = as_record(line);
    const bool last = record.find('#') != std::string::npos;
    const std::size_t star = record.find('*');
    if (star == std::string::npos) {
      to_each({&console(), &error_file()}, [&](Channel& ch) {
        ch.write_free({"Place comment marker * after each line in Runvok.cnl"});
        ch.write_free({std::string_view(record).substr(0, kShownLength)});
      });
      throw Stop{};
    }
    append_content(joined_, std::string_view(record).substr(0, star), kTopControlName);
    if (last) break;
  }
  joined_.resize(kJoinedLength, ' ');
  return read_shared_settings(joined_, readers);
}

std::string TopControlFile::next_run_name(int run_index) {
  std::string line;
  if (!file_.read_line(line)) {
    const int status = file_.error();
    to_each({&console(), &error_file()}, [&](Channel& ch) {
      if (status != 0) {
        ch.write_free({"**** Error on reading name of cnl file ", run_index, status});
        ch.write_free({as_record(line)});
      } else {
        ch.write_free({"End of file on cnl read in runvok.cnl"});
      }
    });
    throw Stop{};
  }
  const std::string record = as_record(line);
  const std::size_t star = record.find('*');
  return padded(
      star == std::string::npos ? std::string_view() : std::string_view(record).substr(0, star),
      kRecordLength);
}

RunSettings read_run_settings(std::string_view joined, FieldReaders& readers) {
  Channel& diag = error_file();
  RunSettings s;
  s.joined_text = padded(joined, kJoinedLength);

  auto x = readers.numread("n-x", joined, diag);
  if (x.error != 0) {
    report_unreadable({&error_file(), &console()}, "Error in reading the x-data column no.",
                      kNumread, x.error);
    throw Stop{};
  }
  s.x_column = x.value;

  auto y = readers.numread("n-y", joined, diag);
  if (y.error != 0) {
    report_unreadable({&console(), &error_file()}, "Error in reading the y-data column no.",
                      kNumread, y.error);
    throw Stop{};
  }
  s.y_column = y.value;

  // Column numbers start at 1; anything lower names no column of any file.
  for (const auto& column :
       {std::pair{s.x_column, "x-column number "}, std::pair{s.y_column, "y-column number "}}) {
    if (column.first < 1) {
      to_each({&error_file(), &console()}, [&](Channel& ch) {
        ch.write_free({column.second, column.first, " < 1"});
      });
      throw Stop{};
    }
  }

  auto graphing = readers.charead("graphing", joined);
  if (graphing.error != 0) {
    to_each({&console(), &error_file()}, [&](Channel& ch) {
      ch.write_free({"Error in reading the graph file flag"});
      ch.write_free({"String ", padded("graphing", 20)});
      ch.write_free({kCharead, graphing.error});
    });
    throw Stop{};
  }
  s.graphing = graphing.value.find("yes") != std::string::npos ? 'y' : 'n';

  auto unit = readers.charead("nit", joined);
  if (unit.error != 0) {
    static const Layout kConsole = Layout::parse(R"(/ 7X "Error - Place unit= in the cnl file")");
    static const Layout kErrorFile = Layout::parse(R"(/ 7X "Error - Place unit= on Pem.cnl file")");
    console().write(kConsole);
    error_file().write(kErrorFile);
    throw Stop{};
  }
  if (unit.value.find("quency") != std::string::npos) {
    s.time_frequency = 'f';
    s.time_frequency_flag = 1;
  } else {
    s.time_frequency = 't';
    s.time_frequency_flag = 0;
    s.time_unit = unit.value.substr(0, 7);
  }

  const bool clip = holds(joined, "lip data");
  const bool log = holds(joined, "og data");
  if (clip && log) {
    static const Layout kBoth = Layout::parse(R"(7X "clip and log swiches are set. Use only one")");
    to_each({&error_file(), &console()}, [&](Channel& ch) { ch.write(kBoth); });
    throw Stop{};
  }
  s.clip = clip ? "cl" : log ? "lg" : "no";

  auto data_file = readers.charead("ile name", joined);
  if (data_file.error != 0) {
    report_unreadable({&console(), &error_file()},
                      "Error in reading the data file name from cnl file", kCharead,
                      data_file.error);
    throw Stop{};
  }
  s.data_file = padded(data_file.value, kRecordLength);
  return s;
}

RunSettings read_run_control(const std::string& name, Execution& execution) {
  const std::string shown = padded(name, std::max(name.size(), kRecordLength));
  const std::string path = file_path(name);
  if (path.empty() || !file_exists(path)) {
    to_each({&console(), &error_file()}, [&](Channel& ch) {
      ch.line("");
      ch.line("");
      ch.write_free({"cnl file does not exist ", shown});
    });
    throw RunEnded{};
  }
  TextFile file;
  if (int status = file.open(path); status != 0) {
    to_each({&console(), &error_file()}, [&](Channel& ch) {
      ch.write_free({"**** Error on opening control file ", status});
    });
    throw Stop{};
  }

  // Parameter lines up to the one with "#", which is not used.
  std::string joined;
  for (int i = 0; i < kRunParameterLines; ++i) {
    std::string line;
    if (!file.read_line(line)) {
      to_each({&console(), &error_file()}, [&](Channel& ch) {
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
    if (star == std::string::npos) {
      to_each({&console(), &error_file()}, [&](Channel& ch) {
        ch.write_free({"Place comment marker * after parameters on vok.cnl"});
        ch.write_free({std::string_view(record).substr(0, kShownLength)});
      });
      throw Stop{};
    }
    append_content(joined, std::string_view(record).substr(0, star), path);
  }
  joined.resize(kJoinedLength, ' ');
  return read_run_settings(joined, execution.readers);
}

Datums read_datums(std::string_view joined, int rows, Execution& execution) {
  Channel& diag = error_file();
  auto start = execution.readers.numread("start", joined, diag);
  if (start.error != 0) {
    to_each({&console(), &error_file()}, [&](Channel& ch) {
      ch.write_free({"Error ", start.error, " in read of start datum"});
      ch.write_free({padded("start", 20)});
    });
    throw Stop{};
  }
  auto end = execution.readers.numread("end", joined, diag);
  if (end.error != 0) {
    to_each({&console(), &error_file()}, [&](Channel& ch) {
      ch.write_free({"Error ", end.error, " in read of end datum"});
      ch.write_free({padded("end", 20)});
    });
    throw Stop{};
  }

  Datums d{start.value, end.value, 0};
  if (d.start < 1) {
    to_each({&console(), &error_file()}, [&](Channel& ch) {
      ch.write_free({"IS in CNL file is < 1 ", d.start});
    });
    throw Stop{};
  }
  if (d.end != 0 && d.end < d.start) {
    to_each({&console(), &error_file()}, [&](Channel& ch) {
      ch.write_free({"IE < IS in CNL file ", d.start, d.end});
    });
    throw Stop{};
  }
  if (d.end == 0) d.end = rows;
  // Rows past the end of the data file cannot be read.
  if (d.end > rows) {
    to_each({&console(), &error_file()}, [&](Channel& ch) {
      ch.write_free({"IE ", d.end, " > number of rows ", rows});
    });
    throw Stop{};
  }
  d.n = d.end - d.start + 1;
  if (d.n > rows) {
    to_each({&console(), &error_file()}, [&](Channel& ch) {
      ch.write_free({"n ", d.n, " > sample size ", rows});
    });
    throw Stop{};
  }
  return d;
}

}  // namespace vok
