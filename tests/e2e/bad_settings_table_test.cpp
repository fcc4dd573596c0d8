// Mistakes people make in the control files and the data file, as a table:
// what was written, every line the console and the error file get (the line
// that names the file and line included), and the exit status. Nothing wrong
// may be read as something else and run on.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "e2e/run_in_dir.h"

namespace vok {
namespace {

using e2e::mask_times;
using e2e::ProgramResult;
using e2e::RunDir;

constexpr int kRows = 48;

// Row i (from 1): two values of 12 characters.
std::string fixed_row(int i) {
  char line[64];
  std::snprintf(line, sizeof line, "%12.5f%12.5f", std::sin(0.7 * i) + 0.3 * std::sin(2.3 * i),
                std::cos(1.1 * i) + 0.2 * std::sin(0.4 * i * i));
  return line;
}

// The same values as a CSV line with the row number first.
std::string csv_row(int i) {
  char line[64];
  std::snprintf(line, sizeof line, "%d,%.5f,%.5f", i, std::sin(0.7 * i) + 0.3 * std::sin(2.3 * i),
                std::cos(1.1 * i) + 0.2 * std::sin(0.4 * i * i));
  return line;
}

// The three input files as lines (no line ends), changed by each case.
struct Files {
  std::vector<std::string> top = {
      "Number of runs = 1     * runs",
      "exponent = 0.4     * lags = lw ** exponent",
      "false alarm = 0.05     * alpha",
      "frame length = 24     * lw",
      "overlap = 0     * frames end to end",
      "VAR lag = 1     * order",
      "resamples = 0  #  * bootstrap",
      "run.cnl * the run",
  };
  std::vector<std::string> run = {
      "column-x = 1     * x",
      "column-y = 2     * y",
      "graphing =no   * plot files",
      "unit =seconds   * unit",
      "data file name =data.dat * the data",
      "start datum = 1   * first row",
      "end datum = 0   * last row",
      "#",
  };
  std::vector<std::string> data = fixed_data();
  std::string data_name = "data.dat";
  std::string line_end = "\n";

  static std::vector<std::string> fixed_data() {
    std::vector<std::string> lines = {"Test series",
                                      "rows=48 columns=2 interval=1.0 format=(2f12.5)"};
    for (int i = 1; i <= kRows; ++i) lines.push_back(fixed_row(i));
    return lines;
  }
  // A CSV export: the header lines, then rows "i,x,y".
  static std::vector<std::string> csv_data(const std::string& keywords) {
    std::vector<std::string> lines = {"CSV export", keywords};
    for (int i = 1; i <= kRows; ++i) lines.push_back(csv_row(i));
    return lines;
  }

  std::string text(const std::vector<std::string>& lines) const {
    std::string out;
    for (const std::string& line : lines) out += line + line_end;
    return out;
  }
  void write(const RunDir& dir) const {
    dir.write("Runvok.cnl", text(top));
    dir.write("run.cnl", text(run));
    dir.write(data_name, text(data));
  }
};

// The detail line naming line `number` of `file`, whose text is `text`.
std::string at(const std::string& file, int number, const std::string& text,
               const std::string& why = "") {
  return " at " + file + " line " + std::to_string(number) + ": \"" + text + "\"" +
         (why.empty() ? "" : ": " + why) + "\n";
}

std::string read_error(int status, const std::string& format) {
  std::string format50 = format;
  format50.resize(50, ' ');
  return " ** Error in read of data file  " + std::to_string(status) + "\n Check format " +
         format50 + "\n";
}

// The field reader's range message: the joined text of the run control file
// from the value (after `label`) to character 700.
std::string range_message(const std::vector<std::string>& run_lines, const std::string& label) {
  std::string joined;
  for (const std::string& line : run_lines)
    if (line.find('#') == std::string::npos) joined += line.substr(0, line.find('*'));
  joined.resize(700, ' ');
  return " The number  " + joined.substr(joined.find(label) + label.size()) + "  > 999999\n";
}

const std::string kCompleted = " Elapsed time = <elapsed>\n";

struct Case {
  std::string what;
  std::function<void(Files&)> change;
  int status;
  std::string console;     // times masked
  std::string error_file;  // "=": the console's lines (without the closing stamp)
};

std::string without_elapsed(const std::string& console) {
  std::string out;
  for (const std::string& line : e2e::lines_of(console))
    if (!line.starts_with(" Elapsed time = ")) out += line + "\n";
  return out;
}

void check(const Case& c) {
  SCOPED_TRACE(c.what);
  Files files;
  c.change(files);
  RunDir dir;
  files.write(dir);
  const ProgramResult r = dir.run();
  EXPECT_EQ(r.status, c.status);
  EXPECT_EQ(mask_times(r.console), c.console);
  EXPECT_EQ(dir.read("Vok-error.out"),
            c.error_file == "=" ? without_elapsed(mask_times(r.console)) : c.error_file);
  // The report never gets a detail line.
  if (dir.exists("run_1-_2.out")) {
    const std::string report = dir.read("run_1-_2.out");
    for (const std::string& line : e2e::lines_of(r.console)) {
      if (line.starts_with(" at ")) {
        EXPECT_EQ(report.find(line), std::string::npos) << line;
      }
    }
  }
}

// Values the field readers took for something else: each is refused now.
TEST(BadSettings, ValuesThatWereMisread) {
  const Case cases[] = {
      {"frame length=20x (read as 272)",
       [](Files& f) { f.top[3] = "frame length=20x * lw"; }, 1,
       " Error in reading the frame length\n Error number for numread =  3\n" +
           at("Runvok.cnl", 4, "frame length=20x * lw"),
       "="},
      {"VAR lag=1. (a VAR(8) fit)", [](Files& f) { f.top[5] = "VAR lag=1. * order"; }, 1,
       "       The VAR command is missing in the control file\n\n" +
           at("Runvok.cnl", 6, "VAR lag=1. * order"),
       "="},
      {"resamples=1e3 (633 resamples)",
       [](Files& f) { f.top[6] = "resamples=1e3  #  * bootstrap"; }, 1,
       " Error in reading the resamples\n Error number for numread =  3\n" +
           at("Runvok.cnl", 7, "resamples=1e3  #  * bootstrap"),
       "="},
      {"start datum=1.5 (started at row 85)",
       [](Files& f) { f.run[5] = "start datum=1.5   * first row"; }, 1,
       " Error  3  in read of start datum\n start               \n" +
           at("run.cnl", 6, "start datum=1.5   * first row"),
       "="},
      {"frame length=200.0 (read as 19980)",
       [](Files& f) { f.top[3] = "frame length=200.0 * lw"; }, 1,
       " Error in reading the frame length\n Error number for numread =  3\n" +
           at("Runvok.cnl", 4, "frame length=200.0 * lw"),
       "="},
      {"graphing=yse (no plot files, no message)",
       [](Files& f) { f.run[2] = "graphing=yse   * plot files"; }, 1,
       " Graphing switch must be yes or no:  yse\n" +
           at("run.cnl", 3, "graphing=yse   * plot files"),
       "="},
      {"a CSV row ending in a comma (its y taken from the next line)",
       [](Files& f) {
         f.data = Files::csv_data("rows=48 columns=3 interval=1.0 format=*");
         f.data[30] = "29,-0.31066,";
         f.run[0] = "column-x = 2     * x";
         f.run[1] = "column-y = 3     * y";
       },
       1, read_error(8, "*") + at("data.dat", 31, "29,-0.31066,"), "="},
      {"columns=3 with format=* on two-column lines (half rows)",
       [](Files& f) {
         f.data = {"Two columns", "rows=48 columns=3 interval=1.0 format=*"};
         for (int i = 1; i <= kRows; ++i) f.data.push_back(fixed_row(i));
       },
       1, read_error(10, "*") + at("data.dat", 3, fixed_row(1)), "="},
  };
  for (const Case& c : cases) check(c);
}

// Each rule on what is read, with what it writes.
TEST(BadSettings, EachRuleOnValuesAndRows) {
  Files with_end;
  with_end.run[6] = "end datum = 2147483648   * last row";
  const Case cases[] = {
      // Number values: digits only; a run count that is there must be readable.
      {"run count with a letter", [](Files& f) { f.top[0] = "Number of runs = 1x     * runs"; },
       1,
       " Error in reading the number of runs\n Error number for numread =  3\n" +
           at("Runvok.cnl", 1, "Number of runs = 1x     * runs"),
       "="},
      {"real with an exponent", [](Files& f) { f.top[2] = "false alarm = 5e-2     * alpha"; },
       1,
       " Error in reading the false alarm\n Error number for rnumread =  3\n" +
           at("Runvok.cnl", 3, "false alarm = 5e-2     * alpha"),
       "="},
      {"real with a plus sign", [](Files& f) { f.top[1] = "exponent = +0.4     * lags"; }, 1,
       " Error in reading the exponent  0  from cnl file\n Error number for rnumread =  3\n" +
           at("Runvok.cnl", 2, "exponent = +0.4     * lags"),
       "="},
      {"whole number where a real stands", [](Files& f) { f.top[2] = "false alarm = 1 * alpha"; },
       0, kCompleted, ""},
      // A record format that cannot be used fails the first row's read.
      {"unbalanced parentheses",
       [](Files& f) { f.data[1] = "rows=48 columns=2 interval=1.0 format=(2f12.5"; }, 1,
       read_error(9, "(2f12.5") +
           at("data.dat", 2, "rows=48 columns=2 interval=1.0 format=(2f12.5",
              "unbalanced parentheses at character 1 of the format"),
       "="},
      {"unknown descriptor",
       [](Files& f) { f.data[1] = "rows=48 columns=2 interval=1.0 format=(2f12.5,z3)"; }, 1,
       read_error(9, "(2f12.5,z3)") +
           at("data.dat", 2, "rows=48 columns=2 interval=1.0 format=(2f12.5,z3)",
              "unknown edit descriptor at character 9 of the format"),
       "="},
      // Fields that are not finite numbers stop the program at their row.
      {"NaN in a row", [](Files& f) { f.data[12] = "         NaN     0.50000"; }, 1,
       read_error(1, "(2f12.5)") + at("data.dat", 13, "         NaN     0.50000"), "="},
      {"comma inside a field", [](Files& f) { f.data[12] = "     0,50000     0.50000"; }, 1,
       read_error(1, "(2f12.5)") + at("data.dat", 13, "     0,50000     0.50000"), "="},
      {"two signs", [](Files& f) { f.data[12] = "         +-1     0.50000"; }, 1,
       read_error(2, "(2f12.5)") + at("data.dat", 13, "         +-1     0.50000"), "="},
      // Descriptors in either case: an A19 stamp is read like a19.
      {"uppercase stamp descriptor",
       [](Files& f) {
         f.data[1] = "rows=48 columns=2 interval=1.0 format=(A19,1X,2F12.5)";
         for (int i = 1; i <= kRows; ++i)
           f.data[static_cast<std::size_t>(i) + 1] = "2009-09-09 10:00:00 " + fixed_row(i);
       },
       0, kCompleted, ""},
      {"uppercase stamp descriptor out of place",
       [](Files& f) { f.data[1] = "rows=48 columns=2 interval=1.0 format=(2A10,2F12.5)"; }, 1,
       "       /Data & time format is incorrect\n\n(2A10,2F12.5)" + std::string(37, ' ') + "\n" +
           at("data.dat", 2, "rows=48 columns=2 interval=1.0 format=(2A10,2F12.5)",
              "the stamp descriptor must stand right after \"(\" (stamp first) or after a value "
              "field (stamp last) at character 3 of the format"),
       "="},
      // format=*: one row per line.
      {"NA in a CSV row",
       [](Files& f) {
         f.data = Files::csv_data("rows=48 columns=3 interval=1.0 format=*");
         f.data[20] = "19,NA,0.5";
         f.run[0] = "column-x = 2     * x";
         f.run[1] = "column-y = 3     * y";
       },
       1, read_error(1, "*") + at("data.dat", 21, "19,NA,0.5"), "="},
      {"empty line inside CSV rows",
       [](Files& f) {
         f.data = Files::csv_data("rows=48 columns=3 interval=1.0 format=*");
         f.data.insert(f.data.begin() + 10, "");
       },
       1, read_error(11, "*") + at("data.dat", 11, ""), "="},
      // The header promises two rows more: they meet the empty lines, and the
      // file has ended (a notice on the report only).
      {"empty lines after the last CSV row",
       [](Files& f) {
         f.data = Files::csv_data("rows=50 columns=3 interval=1.0 format=*");
         f.data.push_back("");
         f.data.push_back("  ");
       },
       0, kCompleted, ""},
      // Long series: counts of up to 10 digits.
      {"row count of 10 million",
       [](Files& f) {
         f.data[1] = "rows=10000000 columns=2 interval=1.0 format=(2f12.5)";
         f.run[6] = "end datum = 48   * last row";
       },
       0, kCompleted, ""},
      {"end datum beyond the largest integer",
       [](Files& f) { f.run[6] = "end datum = 2147483648   * last row"; }, 1,
       " Error  4  in read of end datum\n end                 \n" +
           at("run.cnl", 7, "end datum = 2147483648   * last row"),
       range_message(with_end.run, "end datum = ") +
           " Error  4  in read of end datum\n end                 \n" +
           at("run.cnl", 7, "end datum = 2147483648   * last row")},
  };
  for (const Case& c : cases) check(c);
}

// The mistakes people make most.
TEST(BadSettings, CommonMistakes) {
  const Case cases[] = {
      {"typo in a label", [](Files& f) { f.top[3] = "frame lenght = 24     * lw"; }, 1,
       " Error in reading the frame length\n Error number for numread =  1\n"
       " at Runvok.cnl: no label holds \"ength\"\n",
       "="},
      {"column number beyond the data", [](Files& f) { f.run[1] = "column-y = 3     * y"; }, 1,
       " y-column number  3  < number of data columns  2\n" +
           at("run.cnl", 2, "column-y = 3     * y"),
       "="},
      {"missing data file", [](Files& f) { f.data_name = "other.dat"; }, 1,
       " Data file  data.dat" + std::string(72, ' ') + "  does not exist\n" +
           at("run.cnl", 5, "data file name =data.dat * the data"),
       "="},
      {"record format that does not match the data",
       [](Files& f) { f.data[1] = "rows=48 columns=2 interval=1.0 format=(2i12)"; }, 1,
       read_error(1, "(2i12)") + at("data.dat", 3, fixed_row(1)), "="},
      // Files written on Windows read as they do with LF line ends.
      {"Windows line ends", [](Files& f) { f.line_end = "\r\n"; }, 0, kCompleted, ""},
      // ... and the lines a message names are shown without their CR.
      {"Windows line ends and a bad value",
       [](Files& f) {
         f.line_end = "\r\n";
         f.data[12] = "         NaN     0.50000";
       },
       1, read_error(1, "(2f12.5)") + at("data.dat", 13, "         NaN     0.50000"), "="},
      {"Windows line ends, format=*",
       [](Files& f) {
         f.line_end = "\r\n";
         f.data = Files::csv_data("rows=48 columns=3 interval=1.0 format=*");
       },
       0, kCompleted, ""},
      {"CSV with a line of column names read as a row",
       [](Files& f) {
         f.data = Files::csv_data("rows=48 columns=3 interval=1.0 format=*");
         f.data.insert(f.data.begin() + 2, "t,x,y");
       },
       1, read_error(1, "*") + at("data.dat", 3, "t,x,y"), "="},
      // rows= counting the names line too, with the names skipped by the start
      // datum: rows 2 to 49 are the 48 data lines.
      {"rows= counting the line of column names",
       [](Files& f) {
         f.data = Files::csv_data("rows=49 columns=3 interval=1.0 format=*");
         f.data.insert(f.data.begin() + 2, "t,x,y");
         f.run[5] = "start datum = 2   * first row";
       },
       0, kCompleted, ""},
  };
  for (const Case& c : cases) check(c);
}

}  // namespace
}  // namespace vok
