// Settings of the control files from their joined texts: values, checks, and
// the exact lines each failed check writes on the console and the error file.
#include "control/control_files.h"

#include <gtest/gtest.h>

#include <string>

#include "e2e/run_in_dir.h"
#include "output/channel.h"
#include "output/failure.h"

namespace vok {
namespace {

class ControlFiles : public ::testing::Test {
 protected:
  void SetUp() override { out().error_file.capture(); }
  std::string console() const { return captured_.console(); }
  std::string error_file() { return out().error_file.text(); }
  Channels& out() { return captured_.all(); }
  ControlChannels to() { return {out().console, out().error_file}; }

  CapturedChannels captured_;
  Execution execution_;
};

// A top control file's joined text, one setting at a time.
const std::string kRuns = "Number of runs = 1 ";
const std::string kExponent = "exponent = 0.4 ";
const std::string kAlarm = "false alarm = 0.05 ";
const std::string kLength = "frame length = 48 ";
const std::string kOverlap = "overlap = 0 ";
const std::string kVar = "VAR lag = 2 ";
const std::string kResamples = "resamples = 0 ";

std::string top(std::string runs = kRuns, std::string exponent = kExponent,
                std::string alarm = kAlarm, std::string length = kLength,
                std::string overlap = kOverlap, std::string var = kVar,
                std::string resamples = kResamples) {
  return runs + exponent + alarm + length + overlap + var + resamples;
}

TEST_F(ControlFiles, SharedSettingsInOrder) {
  SharedSettings s = read_shared_settings(top(), execution_.readers, to());
  EXPECT_EQ(s.runs, 1);
  EXPECT_EQ(s.exponent, 0.4f);
  EXPECT_EQ(s.false_alarm, 0.05f);
  EXPECT_EQ(s.frame_length, 48);
  EXPECT_EQ(s.overlap, 0);
  EXPECT_EQ(s.var_lag, 2);
  EXPECT_EQ(s.resamples, 0);
  EXPECT_EQ(console(), "");
  EXPECT_EQ(error_file(), "");
}

TEST_F(ControlFiles, BoundaryValuesAccepted) {
  struct Case {
    std::string joined;
    SharedSettings want;
  };
  const Case cases[] = {
      {top(kRuns, "exponent = 0.5 "), {1, 0.5f, 0.05f, 48, 0, 2, 0}},
      {top(kRuns, "exponent = 0.011 "), {1, 0.011f, 0.05f, 48, 0, 2, 0}},
      {top(kRuns, kExponent, "false alarm = 1.0 "), {1, 0.4f, 1.0f, 48, 0, 2, 0}},
      {top(kRuns, kExponent, kAlarm, "frame length = 12 "), {1, 0.4f, 0.05f, 12, 0, 2, 0}},
      // Without "VAR" and "var" the order is 0 and nothing is asked for.
      {top(kRuns, kExponent, kAlarm, kLength, kOverlap, ""), {1, 0.4f, 0.05f, 48, 0, 0, 0}},
      {top(kRuns, kExponent, kAlarm, kLength, kOverlap, "var lag = 3 "),
       {1, 0.4f, 0.05f, 48, 0, 3, 0}},
      // The run count is optional: no "uns" means no run.
      {top(""), {0, 0.4f, 0.05f, 48, 0, 2, 0}},
      {top(kRuns, kExponent, kAlarm, kLength, kOverlap, kVar, "resamples = 200 "),
       {1, 0.4f, 0.05f, 48, 0, 2, 200}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.joined);
    FieldReaders readers;
    SharedSettings s = read_shared_settings(c.joined, readers, to());
    EXPECT_EQ(s.runs, c.want.runs);
    EXPECT_EQ(s.exponent, c.want.exponent);
    EXPECT_EQ(s.false_alarm, c.want.false_alarm);
    EXPECT_EQ(s.frame_length, c.want.frame_length);
    EXPECT_EQ(s.var_lag, c.want.var_lag);
    EXPECT_EQ(s.resamples, c.want.resamples);
  }
  EXPECT_EQ(console(), "");
  EXPECT_EQ(error_file(), "");
}

struct Refusal {
  std::string joined;
  std::string console;
  std::string error_file = {};  // empty: the same as the console
};

TEST_F(ControlFiles, SharedSettingRefusals) {
  const std::string var_missing = "       The VAR command is missing in the control file\n\n";
  const Refusal cases[] = {
      // A run count that is there but cannot be read stops; a missing one
      // means no run.
      {top("Number of runs =    1 "),
       " Error in reading the number of runs\n Error number for numread =  3\n"},
      {top("Number of runs = 2x "),
       " Error in reading the number of runs\n Error number for numread =  3\n"},
      {top(kRuns, ""),
       " Error in reading the exponent  0  from cnl file\n Error number for rnumread =  1\n"},
      {top(kRuns, "exponent = 0.51 "), " exponent = 0.51  is out of bounds in file file\n"},
      {top(kRuns, "exponent = 0.01 "), " exponent = 0.01  is out of bounds in file file\n"},
      {top(kRuns, "exponent = -0.4 "), " exponent = -0.4  is out of bounds in file file\n"},
      {top(kRuns, kExponent, ""),
       " Error in reading the false alarm\n Error number for rnumread =  1\n"},
      {top(kRuns, kExponent, kAlarm, "frame length =    48 "),
       " Error in reading the frame length\n Error number for numread =  3\n"},
      {top(kRuns, kExponent, kAlarm, "frame length = 11 "),
       " Frame length  11  < 12. Increase lw\n"},
      {top(kRuns, kExponent, kAlarm, "frame length = 0 "), " Frame length  0  < 12. Increase lw\n"},
      {top(kRuns, kExponent, kAlarm, "frame length = -48 "),
       " Frame length  -48  < 12. Increase lw\n"},
      // The frame length is checked before the false alarm bound.
      {top(kRuns, kExponent, "false alarm = 1.5 ", "frame length = 11 "),
       " Frame length  11  < 12. Increase lw\n"},
      {top(kRuns, kExponent, "false alarm = 1.01 "), " 1.01  False alarm threshold > 1\n"},
      {top(kRuns, kExponent, kAlarm, kLength, ""),
       " Error in reading the overlap\n Error number for numread =  1\n"},
      {top(kRuns, kExponent, kAlarm, kLength, kOverlap, "VAR order = 2 "), var_missing},
      // Only "var": the error file copy carries a trailing blank.
      {top(kRuns, kExponent, kAlarm, kLength, kOverlap, "variance = 2 "), var_missing,
       "       The VAR command is missing in the control file \n\n"},
      {top(kRuns, kExponent, kAlarm, kLength, kOverlap, kVar, ""),
       " Error in reading the resamples\n Error number for numread =  1\n"},
      {top(kRuns, kExponent, kAlarm, kLength, kOverlap, kVar, "resamples = -1 "),
       " Number of resamples  -1  < 0\n"},
  };
  for (const Refusal& c : cases) {
    SCOPED_TRACE(c.joined);
    out().console.clear_text();
    out().error_file.clear_text();
    FieldReaders readers;
    EXPECT_THROW(read_shared_settings(c.joined, readers, to()), Stop);
    EXPECT_EQ(console(), c.console);
    EXPECT_EQ(error_file(), c.error_file.empty() ? c.console : c.error_file);
  }
}

TEST_F(ControlFiles, ReaderRangeMessageGoesToTheErrorFileOnly) {
  const std::string joined = top(kRuns, kExponent, kAlarm, "frame length = 12345678 ");
  EXPECT_THROW(read_shared_settings(joined, execution_.readers, to()), Stop);
  const std::size_t at = joined.find("12345678");
  std::string shown = joined.substr(at);  // the rest of the text up to character 700
  shown.resize(700 - at, ' ');
  const std::string reader_line = " The number  " + shown + "  > 999999\n";
  const std::string refusal =
      " Error in reading the frame length\n Error number for numread =  4\n";
  EXPECT_EQ(error_file(), reader_line + refusal);
  EXPECT_EQ(console(), refusal);
}

// A run control file's joined text.
const std::string kColumns = "column-x = 1 column-y = 2 ";
const std::string kGraphing = "graphing =yes ";
const std::string kUnit = "unit=seconds ";
const std::string kDataFile = "data file name=data.dat ";

std::string run(std::string columns = kColumns, std::string graphing = kGraphing,
                std::string unit = kUnit, std::string clip = "",
                std::string data_file = kDataFile) {
  return columns + graphing + unit + clip + data_file;
}

TEST_F(ControlFiles, RunSettings) {
  RunSettings s = read_run_settings(run(), execution_.readers, to());
  EXPECT_EQ(s.x_column, 1);
  EXPECT_EQ(s.y_column, 2);
  EXPECT_EQ(s.graphing, Graphing::on);
  EXPECT_EQ(s.sample_unit, SampleUnit::time);
  EXPECT_EQ(s.time_unit, "seconds");
  EXPECT_EQ(s.transform, Transform::none);
  EXPECT_EQ(s.data_file, "data.dat" + std::string(72, ' '));
  EXPECT_EQ(s.joined_text.size(), 700u);
  EXPECT_EQ(console(), "");
  EXPECT_EQ(error_file(), "");
}

TEST_F(ControlFiles, RunSwitches) {
  struct Case {
    std::string joined;
    Graphing graphing;
    SampleUnit sample_unit;
    std::string unit;
    Transform transform;
  };
  constexpr Graphing kOn = Graphing::on, kOff = Graphing::off;
  constexpr SampleUnit kTime = SampleUnit::time, kFrequency = SampleUnit::frequency;
  const Case cases[] = {
      {run(kColumns, "graphing =Yes,no "), kOff, kTime, "seconds",
       Transform::none},  // case-sensitive
      {run(kColumns, "graphing =noyesno "), kOn, kTime, "seconds", Transform::none},
      {run(kColumns, "graphing =no "), kOff, kTime, "seconds", Transform::none},
      {run(kColumns, kGraphing, "unit=kiloseconds "), kOn, kTime, "kilosec", Transform::none},
      {run(kColumns, kGraphing, "unit=ms "), kOn, kTime, "ms     ", Transform::none},
      {run(kColumns, kGraphing, "unit=frequency "), kOn, kFrequency, "       ", Transform::none},
      {run(kColumns, kGraphing, kUnit, "clip data "), kOn, kTime, "seconds", Transform::clip},
      {run(kColumns, kGraphing, kUnit, "log data "), kOn, kTime, "seconds", Transform::log},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.joined);
    RunSettings s = read_run_settings(c.joined, execution_.readers, to());
    EXPECT_EQ(s.graphing, c.graphing);
    EXPECT_EQ(s.sample_unit, c.sample_unit);
    EXPECT_EQ(s.time_unit, c.unit);
    EXPECT_EQ(s.transform, c.transform);
  }
}

TEST_F(ControlFiles, RunSettingRefusals) {
  const Refusal cases[] = {
      {run("column-y = 2 "),
       " Error in reading the x-data column no.\n Error number for numread =  1\n"},
      {run("column-x = 1 column-y =   2 "),
       " Error in reading the y-data column no.\n Error number for numread =  3\n"},
      // Column numbers below 1, refused before anything after them is read.
      {run("column-x = 0 column-y = 2 graphing=  "), " x-column number  0  < 1\n"},
      {run("column-x = 1 column-y = -3 "), " y-column number  -3  < 1\n"},
      {run(kColumns, "graphing = yes "),
       " Error in reading the graph file flag\n String  graphing            \n"
       " Error number for charead =  3\n"},
      // The graphing switch holds "yes" or "no"; anything else is a mistake.
      {run(kColumns, "graphing =yse "), " Graphing switch must be yes or no:  yse\n"},
      {run(kColumns, "graphing =Yes "), " Graphing switch must be yes or no:  Yes\n"},
      {run(kColumns, "graphing =1 "), " Graphing switch must be yes or no:  1\n"},
      {run(kColumns, kGraphing, ""), "\n       Error - Place unit= in the cnl file\n",
       "\n       Error - Place unit= on Pem.cnl file\n"},
      {run(kColumns, kGraphing, kUnit, "clip data log data "),
       "       clip and log swiches are set. Use only one\n"},
      {run(kColumns, kGraphing, kUnit, "", "data file name= data.dat "),
       " Error in reading the data file name from cnl file\n Error number for charead =  3\n"},
  };
  for (const Refusal& c : cases) {
    SCOPED_TRACE(c.joined);
    out().console.clear_text();
    out().error_file.clear_text();
    EXPECT_THROW(read_run_settings(c.joined, execution_.readers, to()), Stop);
    EXPECT_EQ(console(), c.console);
    EXPECT_EQ(error_file(), c.error_file.empty() ? c.console : c.error_file);
  }
}

TEST_F(ControlFiles, Datums) {
  struct Case {
    std::string joined;
    int rows;
    Datums want;
  };
  const Case cases[] = {
      {"start = 1 end = 0 ", 100, {1, 100, 100}},  // 0 means the last row
      {"start = 10 end = 50 ", 100, {10, 50, 41}},
      {"start = 100 end = 100 ", 100, {100, 100, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.joined);
    Datums d = read_datums(c.joined, c.rows, execution_, to());
    EXPECT_EQ(d.start, c.want.start);
    EXPECT_EQ(d.end, c.want.end);
    EXPECT_EQ(d.n, c.want.n);
  }
  EXPECT_EQ(console(), "");
  EXPECT_EQ(error_file(), "");
}

TEST_F(ControlFiles, DatumRefusals) {
  const Refusal cases[] = {
      {"end = 5 ", " Error  1  in read of start datum\n start               \n"},
      {"start = 1 ", " Error  1  in read of end datum\n end                 \n"},
      {"start = 1 end =   5 ", " Error  3  in read of end datum\n end                 \n"},
      {"start = 0 end = 5 ", " IS in CNL file is < 1  0\n"},
      {"start = 10 end = 5 ", " IE < IS in CNL file  10 5\n"},
      // Rows past the end of the data file are refused, however few are asked for.
      {"start = 95 end = 105 ", " IE  105  > number of rows  100\n"},
      {"start = 1 end = 101 ", " IE  101  > number of rows  100\n"},
  };
  for (const Refusal& c : cases) {
    SCOPED_TRACE(c.joined);
    out().console.clear_text();
    out().error_file.clear_text();
    EXPECT_THROW(read_datums(c.joined, 100, execution_, to()), Stop);
    EXPECT_EQ(console(), c.console);
    EXPECT_EQ(error_file(), c.error_file.empty() ? c.console : c.error_file);
  }
}

// Reading whole files: the line model and the run control file's messages.
class ControlFileReading : public ControlFiles {
 protected:
  e2e::RunDir dir_;
};

std::string name80(const std::string& name) {
  return name + std::string(80 - name.size(), ' ');
}

TEST_F(ControlFileReading, MissingRunControlFileEndsTheRun) {
  e2e::ScopedWorkingDirectory here(dir_.path());
  EXPECT_THROW(read_run_control(name80("absent.cnl"), execution_, to()), RunEnded);
  const std::string lines = "\n\n cnl file does not exist  " + name80("absent.cnl") + "\n";
  EXPECT_EQ(console(), lines);
  EXPECT_EQ(error_file(), lines);
}

TEST_F(ControlFileReading, RunControlFileLines) {
  e2e::ScopedWorkingDirectory here(dir_.path());
  dir_.write("a.cnl",
             "column-x = 3 column-y = 1 * columns\r\n"  // CRLF line end
             "graphing =no * the rest is comment: unit=kHz\n"
             "unit=days" +
                 std::string(80, ' ') +
                 "*\n"  // "*" past column 80 is not seen
                 "#\n");
  EXPECT_THROW(read_run_control(name80("a.cnl"), execution_, to()), Stop);
  const std::string refusal = " Place comment marker * after parameters on vok.cnl\n unit=days" +
                              std::string(61, ' ') + "\n";
  EXPECT_EQ(console(), refusal);
  EXPECT_EQ(error_file(), refusal);

  out().console.clear_text();
  out().error_file.clear_text();
  dir_.write("b.cnl",
             "column-x = 3 column-y = 1 * columns\r\n"
             "graphing =no * the rest is comment: clip data\n"
             "unit=days *\n"
             "data file name=x.dat *\n"
             "log data * # the end-marker line is not joined\n"
             "anything after it is not read, not even a line without a star\n");
  RunSettings s = read_run_control(name80("b.cnl"), execution_, to());
  EXPECT_EQ(s.x_column, 3);
  EXPECT_EQ(s.y_column, 1);
  EXPECT_EQ(s.graphing, Graphing::off);
  EXPECT_EQ(s.time_unit, "days   ");
  EXPECT_EQ(s.transform, Transform::none);
  EXPECT_EQ(s.data_file, name80("x.dat"));
  EXPECT_EQ(s.joined_text,
            "column-x = 3 column-y = 1 graphing =no unit=days data file name=x.dat " +
                std::string(700 - 70, ' '));
  EXPECT_EQ(console(), "");
}

TEST_F(ControlFileReading, SecondRunSeesOnlyItsOwnFile) {
  e2e::ScopedWorkingDirectory here(dir_.path());
  dir_.write(
      "one.cnl",
      "column-x = 1 column-y = 2 * \ngraphing =yes unit=s clip data data file name=d.dat *\n#\n");
  dir_.write("two.cnl",
             "column-x = 2 column-y = 1 graphing =no unit=s *\ndata file name=e.dat *\n#\n");
  RunSettings first = read_run_control(name80("one.cnl"), execution_, to());
  RunSettings second = read_run_control(name80("two.cnl"), execution_, to());
  EXPECT_EQ(first.transform, Transform::clip);
  EXPECT_EQ(second.transform, Transform::none);
  EXPECT_EQ(second.x_column, 2);
  EXPECT_EQ(second.data_file, name80("e.dat"));
}

TEST_F(ControlFileReading, SeventeenLinesWithoutEndMarker) {
  e2e::ScopedWorkingDirectory here(dir_.path());
  std::string lines = "column-x = 1 column-y = 2 graphing =yes unit=s data file name=d.dat *\n";
  for (int i = 1; i < 17; ++i) lines += "* comment\n";
  dir_.write("full.cnl", lines + "start = 5 * the 18th line is never read\n");
  RunSettings s = read_run_control(name80("full.cnl"), execution_, to());
  EXPECT_EQ(s.data_file, name80("d.dat"));
  EXPECT_EQ(s.joined_text.find("start"), std::string::npos);
  EXPECT_EQ(console(), "");

  // Fewer lines and no "#": the end of the file comes first.
  dir_.write("short.cnl", "column-x = 1 *\n");
  EXPECT_THROW(read_run_control(name80("short.cnl"), execution_, to()), Stop);
  const std::string eof = " End of file on cnl file  short.cnl  before the # line\n";
  EXPECT_EQ(console(), eof);
  EXPECT_EQ(error_file(), eof);
}

TEST_F(ControlFileReading, RunControlFileThatCannotBeOpened) {
  e2e::ScopedWorkingDirectory here(dir_.path());
  dir_.make_directory("dir.cnl");
  EXPECT_THROW(read_run_control(name80("dir.cnl"), execution_, to()), Stop);
  const std::string line =
      " **** Error on opening control file  21\n at dir.cnl: Is a directory\n";  // EISDIR
  EXPECT_EQ(console(), line);
  EXPECT_EQ(error_file(), line);
}

TEST_F(ControlFileReading, JoinedTextOverflowIsRefused) {
  e2e::ScopedWorkingDirectory here(dir_.path());
  const std::string full_line = std::string(79, 'x') + "*\n";  // 79 characters of content
  std::string lines;
  for (int i = 0; i < 8; ++i) lines += full_line;  // 632 characters fit
  dir_.write("fits.cnl", lines + std::string(68, 'y') + "*\n#\n");
  EXPECT_THROW(read_run_control(name80("fits.cnl"), execution_, to()), Stop);  // fits; no settings
  EXPECT_EQ(console().find("exceed"), std::string::npos);

  out().console.clear_text();
  out().error_file.clear_text();
  dir_.write("over.cnl", lines + std::string(69, 'y') + "*\n#\n");
  EXPECT_THROW(read_run_control(name80("over.cnl"), execution_, to()), Stop);
  const std::string line = " Parameter lines of  over.cnl  exceed 700 characters\n" +
                           std::string(" at over.cnl line 9: \"") + std::string(69, 'y') + "*\"\n";
  EXPECT_EQ(console(), line);
  EXPECT_EQ(error_file(), line);
}

// Messages about a setting of a file name its line: the line of the "=" that
// the value follows, counted in the file, CRLF line ends and comment lines
// included.
TEST_F(ControlFileReading, DetailLinesNameTheLineOfTheSetting) {
  e2e::ScopedWorkingDirectory here(dir_.path());
  struct Case {
    std::string file;
    std::string lines;  // console and error file
  };
  const Case cases[] = {
      {"column-x = 1 *\r\n* a comment\r\ncolumn-y = 1x * y\r\n#\r\n",
       " Error in reading the y-data column no.\n Error number for numread =  3\n"
       " at r.cnl line 3: \"column-y = 1x * y\"\n"},
      // A typo in a label: no line holds its search text.
      {"column-x = 1 *\ncolum-y = 2 *\n#\n",
       " Error in reading the y-data column no.\n Error number for numread =  1\n"
       " at r.cnl: no label holds \"n-y\"\n"},
      // A label whose "=" and value stand on the next line: the value's line.
      {"column-x = 1 column-y *\n= 0 *\n#\n",
       " y-column number  0  < 1\n at r.cnl line 2: \"= 0 *\"\n"},
      {"column-x = 1 column-y = 2 *\ngraphing =yse *\n#\n",
       " Graphing switch must be yes or no:  yse\n at r.cnl line 2: \"graphing =yse *\"\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    out().console.clear_text();
    out().error_file.clear_text();
    dir_.write("r.cnl", c.file);
    EXPECT_THROW(read_run_control(name80("r.cnl"), execution_, to()), Stop);
    EXPECT_EQ(console(), c.lines);
    EXPECT_EQ(error_file(), c.lines);
  }
}

TEST(JoinedText, EachPartKnowsItsLine) {
  JoinedText joined;
  joined.start("top.cnl");
  joined.append("frame length = ", 1, "frame length = * comment");
  joined.append("", 2, "* only a comment");
  joined.append("48 lap=0 ", 3, "48 lap=0 * the value of line 1");
  joined.pad_to(700);
  EXPECT_EQ(joined.text().substr(0, 24), "frame length = 48 lap=0 ");
  ASSERT_NE(joined.line_at(0), nullptr);
  EXPECT_EQ(joined.line_at(14)->number, 1);
  EXPECT_EQ(joined.line_at(15)->number, 3);
  EXPECT_EQ(joined.line_at(24), nullptr);  // padding
  EXPECT_EQ(joined.setting_line("ength")->number, 1);
  EXPECT_EQ(joined.setting_line("lap")->text, "48 lap=0 * the value of line 1");
  EXPECT_EQ(joined.setting_line("absent"), nullptr);
  EXPECT_EQ(detail_line(*joined.setting_line("lap")),
            "at top.cnl line 3: \"48 lap=0 * the value of line 1\"");
  EXPECT_EQ(detail_line(SourceLine{"d.dat", 7, std::string(100, 'x')}, "why"),
            "at d.dat line 7: \"" + std::string(80, 'x') + "\": why");
}

}  // namespace
}  // namespace vok
