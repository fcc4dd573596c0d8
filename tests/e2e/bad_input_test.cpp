// Whole executions on input that people get wrong: bad values in data rows,
// headers that ask for more memory than there is, overlong lines, CRLF line
// ends, NUL and non-ASCII bytes, empty files, directories where files belong,
// output files that cannot be created or written. Each case has its message
// (console and "Vok-error.out", in full) and its exit status; nothing may
// crash, hang or report success after losing output.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "e2e/e2e_files.h"
#include "e2e/run_in_dir.h"

namespace vok {
namespace {

using e2e::mask_times;
using e2e::ProgramResult;
using e2e::run_file;
using e2e::RunDir;
using e2e::RunSettingsText;
using e2e::top_file;
using e2e::TopSettings;

constexpr int kRows = 48;

// AddressSanitizer reserves address space of its own: limits on it do not
// apply there.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kUnderAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kUnderAddressSanitizer = true;
#else
constexpr bool kUnderAddressSanitizer = false;
#endif
#else
constexpr bool kUnderAddressSanitizer = false;
#endif
constexpr const char* kFormat = "(2f12.5)";

// Row i (from 1) of the test series: two columns of 12 characters.
std::string row(int i) {
  char line[64];
  std::snprintf(line, sizeof line, "%12.5f%12.5f", std::sin(0.7 * i) + 0.3 * std::sin(2.3 * i),
                std::cos(1.1 * i) + 0.2 * std::sin(0.4 * i * i));
  return line;
}

std::string header(const std::string& keywords = "rows=48 columns=2 interval=1.0 format=(2f12.5)",
                   const std::string& title = "Test series") {
  return title + "\n" + keywords + "\n";
}

// The rows of the data file, row `bad` (from 1) replaced by `text`.
std::string rows_with(int bad = 0, const std::string& text = "") {
  std::string s;
  for (int i = 1; i <= kRows; ++i) s += (i == bad ? text : row(i)) + "\n";
  return s;
}

std::string data_with_row(int bad, const std::string& text) {
  return header() + rows_with(bad, text);
}

std::string good_data() {
  return header() + rows_with();
}

TopSettings small_top() {
  TopSettings t;
  t.frame_length = 24;
  t.var_lag = 1;
  return t;
}

// A directory holding "Runvok.cnl" with the given runs (all run control files
// the same, reading data.dat) and the data file.
void lay_out(const RunDir& dir, const std::string& data,
             const std::vector<std::string>& runs = {"run.cnl"}) {
  dir.write("Runvok.cnl", top_file(small_top(), runs));
  RunSettingsText r;
  for (const std::string& name : runs) dir.write(name, run_file(r));
  dir.write("data.dat", data);
}

std::string format50(const std::string& format) {
  return format + std::string(50 - format.size(), ' ');
}

// The two lines a row that cannot be read writes on each channel.
std::string read_error(int status) {
  return " ** Error in read of data file  " + std::to_string(status) + "\n Check format " +
         format50(kFormat) + "\n";
}

// The detail line after a message about line `line` of file `file`.
std::string detail(const std::string& file, int line, const std::string& text) {
  return " at " + file + " line " + std::to_string(line) + ": \"" + text + "\"\n";
}

// The console line of one closing stamp, its time masked.
const std::string kElapsed = " Elapsed time = <elapsed>\n";

// A whole execution in a prepared directory and what it must show: its exit
// status, its console (times masked) and its error file.
struct Outcome {
  std::string what;
  std::function<void(const RunDir&)> prepare;
  int status;
  std::string console;
  std::optional<std::string> error_file = {};  // unset: the lines of the console
};

void expect_outcomes(std::span<const Outcome> cases) {
  for (const Outcome& c : cases) {
    SCOPED_TRACE(c.what);
    RunDir dir;
    c.prepare(dir);
    const ProgramResult r = dir.run();
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(mask_times(r.console), c.console);
    EXPECT_EQ(dir.read("Vok-error.out"), c.error_file.value_or(c.console));
  }
}

constexpr const char* kBanner =
    "       Moving Frame Cross Bicorrelations Tests by  Odran Velisko\n";

// ---------------------------------------------------------------------------
// Values in data rows: every one the reader cannot turn into a finite 32-bit
// real stops the program with the read-error lines on the report, the console
// and the error file.

TEST(BadInput, ValuesThatAreNotFiniteRealsStopTheProgram) {
  struct Case {
    std::string what;
    std::string row;
    int status;  // printed after "** Error in read of data file "
  };
  const Case cases[] = {
      {"NaN", "         NaN     0.50000", 1},
      {"nan", "     0.50000         nan", 1},
      {"Inf", "         Inf     0.50000", 1},
      {"Infinity", "    Infinity     0.50000", 1},
      {"-inf", "        -inf     0.50000", 1},
      {"beyond the largest real", "      1.0e39     0.50000", 3},
      {"beyond it, negative", "   -3.5E+38     0.50000", 3},
      {"exponent beyond any real", "  1.0e999999     0.50000", 3},
      {"exponent without digits", "      1.0e+      0.50000", 2},
      {"a point alone", "           .     0.50000", 2},
      {"a minus sign alone", "           -     0.50000", 2},
      {"a plus sign alone", "     0.50000           +", 2},
      {"an exponent letter that is no exponent", "      1.5F2      0.50000", 1},
      {"two points", "     1.2.3       0.50000", 1},
      {"a letter", "      0.5x0      0.50000", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RunDir dir;
    lay_out(dir, data_with_row(30, c.row));
    const ProgramResult r = dir.run();
    EXPECT_EQ(r.status, 1);
    // Data row 30 is line 32 of the file.
    const std::string detail = " at data.dat line 32: \"" + c.row + "\"\n";
    EXPECT_EQ(r.console, read_error(c.status) + detail);
    EXPECT_EQ(dir.read("Vok-error.out"), read_error(c.status) + detail);
    const std::string report = dir.read("run_1-_2.out");
    EXPECT_TRUE(report.starts_with(kBanner));
    EXPECT_TRUE(report.ends_with(read_error(c.status))) << report;
  }
}

// Values that are finite but near the limits of 32-bit reals: the run
// completes; sums that leave the range of 32-bit reals do not stop it.
TEST(BadInput, ValuesNearTheLimitsOfRealsCompleteTheRun) {
  for (const std::string big : {"3.0e38", "-3.4e38", "1.0e-38", "1.0e-45"}) {
    SCOPED_TRACE(big);
    RunDir dir;
    std::string data = header();
    for (int i = 1; i <= kRows; ++i) {
      std::string r = row(i);
      if (i % 5 == 0) r.replace(0, 12, std::string(12 - big.size(), ' ') + big);
      data += r + "\n";
    }
    lay_out(dir, data);
    const ProgramResult r = dir.run();
    EXPECT_EQ(r.status, 0) << r.console;
    EXPECT_EQ(dir.read("Vok-error.out"), "");
    EXPECT_NE(dir.read("run_1-_2.out").find(" Elapsed time = "), std::string::npos);
  }
}

// ---------------------------------------------------------------------------
// Headers that ask for more than can be had.

// Record formats that say the same in other words read the same rows: D for
// E, tabs to columns, tabs left and right.
TEST(BadInput, RecordFormatsThatReadTheSameColumnsGiveTheSameReport) {
  auto report = [](const std::string& format) {
    RunDir dir;
    lay_out(dir, header("rows=48 columns=2 interval=1.0 format=" + format) + rows_with());
    EXPECT_EQ(dir.run().status, 0) << format;
    std::string text = mask_times(dir.read("run_1-_2.out"));
    // The run-parameter header shows the format itself.
    const std::size_t at = text.find("Data format: ");
    if (at != std::string::npos) text.erase(at, text.find('\n', at) - at);
    return text;
  };
  const std::string plain = report("(2f12.5)");
  for (const char* format : {"(2d12.5)", "(2D12.5)", "(t1,f12.5,t13,f12.5)",
                             "(f12.5,tl12,tr12,f12.5)", "(12x,tl12,f12.5,f12.5)",
                             "(t13,tl12,f12.5,f12.5)"}) {
    EXPECT_EQ(report(format), plain) << format;
  }
}

TEST(BadInput, RowsBeforeTheStartDatumAreNotReadAsNumbers) {
  // Rows 1 and 2 are passed over as lines: what they hold is no error, and
  // the outputs are those of the same file with good rows there.
  auto outputs = [](const std::string& first_rows) {
    RunDir dir;
    dir.write("Runvok.cnl", top_file(small_top(), {"run.cnl"}));
    RunSettingsText r;
    r.start = 3;
    dir.write("run.cnl", run_file(r));
    std::string data = header();
    for (int i = 3; i <= kRows; ++i) data += row(i) + "\n";
    dir.write("data.dat", header() + first_rows + data.substr(header().size()));
    const ProgramResult result = dir.run();
    EXPECT_EQ(result.status, 0) << first_rows;
    return mask_times(dir.read("run_1-_2.out"));
  };
  EXPECT_EQ(outputs("         NaN           -\nx,y\n"), outputs(row(1) + "\n" + row(2) + "\n"));
}

// A data file whose writer was stopped mid-row: its last line has no line
// end. Shorter than a row needs, it is no row and the file ends before it (the
// outputs are those of the file without it); long enough, it is a row.
TEST(BadInput, ALastRowCutOffWhileBeingWrittenIsNoRow) {
  struct Case {
    std::string what;
    std::string keywords;
    std::function<std::string(int)> line;  // data row i
    std::string last;                      // the cut last line, no line end
    bool is_row;
    bool told;  // the console and the error file name the cut line
  };
  auto fixed = [](int i) { return row(i); };
  auto listed = [](int i) {
    std::string r = row(i);
    return r.substr(0, 12) + "," + r.substr(12);
  };
  const std::string fixed_keywords = "rows=48 columns=2 interval=1.0 format=(2f12.5)";
  const std::string listed_keywords = "rows=48 columns=2 interval=1.0 format=*";
  // A list-directed line without its line end may be cut anywhere, inside
  // its last value too ("0.5,9" of "0.5,98765.4"): it is never a row.
  const Case cases[] = {
      {"cut at a field's end", fixed_keywords, fixed, row(48).substr(0, 12), false, false},
      {"cut inside a field", fixed_keywords, fixed, row(48).substr(0, 19), false, false},
      {"cut inside the line end", fixed_keywords, fixed, row(48).substr(0, 20) + "\r", false,
       false},
      {"whole but for its line end", fixed_keywords, fixed, row(48), true, false},
      {"list-directed, one value of two", listed_keywords, listed, listed(48).substr(0, 13), false,
       true},
      {"list-directed, cut inside the last value", listed_keywords, listed, "0.5,9", false, true},
      {"list-directed, both values", listed_keywords, listed, listed(48), false, true},
      {"list-directed, blanks only", listed_keywords, listed, "   ", false, true},
  };
  struct Outputs {
    std::string report, console, error_file;
  };
  auto outputs = [](const std::string& data) {
    RunDir dir;
    lay_out(dir, data);
    const ProgramResult r = dir.run();
    EXPECT_EQ(r.status, 0);
    return Outputs{mask_times(dir.read("run_1-_2.out")), mask_times(r.console),
                   dir.read("Vok-error.out")};
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string rows;
    for (int i = 1; i <= 47; ++i) rows += c.line(i) + "\n";
    const Outputs cut = outputs(header(c.keywords) + rows + c.last);
    const Outputs without = outputs(header(c.keywords) + rows);
    const Outputs whole = outputs(header(c.keywords) + rows + c.line(48) + "\n");
    EXPECT_NE(without.report, whole.report);
    EXPECT_EQ(cut.report, c.is_row ? whole.report : without.report);
    const std::string told =
        c.told ? " at data.dat line 50: \"" + c.last + "\": the line has no line end\n" : "";
    EXPECT_EQ(cut.console, told + without.console);
    EXPECT_EQ(cut.error_file, told);
  }
}

TEST(BadInput, RowCountAboveTheLargestIntegerIsUnreadable) {
  RunDir dir;
  const std::string keywords = "rows=2147483648 columns=2 interval=1.0 format=(2f12.5)";
  lay_out(dir, header(keywords) + row(1) + "\n");
  const ProgramResult r = dir.run();
  EXPECT_EQ(r.status, 1);
  const std::string message =
      " Error in reading the no. of rows of the data file\n"
      " Error number for rnumread =  4\n"
      " at data.dat line 2: \"" + keywords + "\"\n";
  EXPECT_EQ(r.console, message);
  // The range message shows the keyword line from the value to character 700.
  std::string tail = "2147483648 columns=2 interval=1.0 format=(2f12.5)";
  tail.resize(700 - 5, ' ');
  const std::string range = " The number  " + tail + "  > 999999\n";
  EXPECT_EQ(dir.read("Vok-error.out"), range + message);
}

// Arrays that the machine cannot give: the allocation messages, never an
// abort. The address space of the process is limited for the execution, so
// requests fail as they would on a smaller machine (not under
// AddressSanitizer, which reserves address space of its own). A header that
// asks for more than the machine has at all is refused up front (see the run
// tests); these requests pass that check and fail when made.
TEST(BadInput, ArraysThatCannotBeAllocated) {
  if (kUnderAddressSanitizer)
    GTEST_SKIP() << "address space limits do not apply under AddressSanitizer";
  struct Case {
    std::string what;
    int end;       // end datum
    int headroom;  // MB of address space beyond what is in use
    std::string message;
  };
  // 9999999 stamped rows of two columns, a frame beginning on every row (so
  // every row's stamp is printed): the two columns take 80 MB and the stamps
  // 200 MB; up to row 5000000, 40 MB and 100 MB.
  const Case cases[] = {
      {"data matrix", 0, 40, " Unable to allocate work space for array a\n"},
      {"stamps", 0, 160, " Unable to allocate work space for array t - ie  9999999\n"},
      {"stamps up to the end datum", 5000000, 80,
       " Unable to allocate work space for array t - ie  5000000\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RunDir dir;
    lay_out(dir, "Stamped\nrows=9999999 columns=2 interval=1.0 format=(a19,1x,2f12.5)\n" +
                     std::string("2009-09-09 10:00:00 ") + row(1) + "\n");
    // Bytes enough for the rows promised (a sparse file): the arrays are
    // sized by what the file can hold.
    std::filesystem::resize_file(dir.path() / "data.dat", std::uintmax_t{500} << 20);
    TopSettings top = small_top();
    top.overlap = 1;
    dir.write("Runvok.cnl", top_file(top, {"run.cnl"}));
    RunSettingsText run;
    run.end = c.end;
    dir.write("run.cnl", run_file(run));
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    statm >> pages;
    ASSERT_GT(pages, 0);
    const rlim_t in_use = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGE_SIZE));
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_AS, &before), 0);
    rlimit limited = before;
    limited.rlim_cur = in_use + (static_cast<rlim_t>(c.headroom) << 20);
    ASSERT_EQ(setrlimit(RLIMIT_AS, &limited), 0);
    const ProgramResult r = dir.run();
    ASSERT_EQ(setrlimit(RLIMIT_AS, &before), 0);

    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.console, c.message);
    EXPECT_EQ(dir.read("Vok-error.out"), c.message);
  }
}

// ---------------------------------------------------------------------------
// Long lines.

TEST(BadInput, LongLines) {
  const std::string long_comment(200, 'c');
  const Outcome cases[] = {
      // Control-file lines are 80-character records: a "*" past column 80 is
      // not seen.
      {"run control line with its * past column 80",
       [](const RunDir& dir) {
         lay_out(dir, good_data());
         dir.write("run.cnl",
                   "column-x = 1" + std::string(80, ' ') + "* x\n" + run_file(RunSettingsText{}));
       },
       1,
       " Place comment marker * after parameters on vok.cnl\n column-x = 1" + std::string(58, ' ') +
           "\n"},
      // Keyword line: only its first 120 characters are read.
      {"format past column 120 of the keyword line",
       [](const RunDir& dir) {
         lay_out(dir, header("rows=48 columns=2 interval=1.0" + std::string(100, ' ') +
                             "format=(2f12.5)") +
                          row(1) + "\n");
       },
       1,
       " Error in reading the format from the data file\n"
       " Error number for rnumread =  1\n"
       " at data.dat line 2: \"rows=48 columns=2 interval=1.0" + std::string(50, ' ') + "\"\n"},
  };
  expect_outcomes(cases);
}

// A data line longer than 64 MiB (a file with no line ends, say) is a read
// error of its row, not an allocation that grows with it.
TEST(BadInput, ADataLineLongerThan64MiBIsAReadErrorOfItsRow) {
  const std::string start = row(10);
  const std::string line = start + std::string((std::size_t{64} << 20) - start.size() + 1, ' ');
  RunDir dir;
  lay_out(dir, data_with_row(10, line));
  const ProgramResult r = dir.run();
  EXPECT_EQ(r.status, 1);
  const std::string message = read_error(7) + " at data.dat line 12: \"" + start +
                              std::string(80 - start.size(), ' ') +
                              "\": a line longer than 67108864 bytes\n";
  EXPECT_EQ(r.console, message);
  EXPECT_EQ(dir.read("Vok-error.out"), message);
}

// Long lines whose extra characters carry nothing change nothing: long
// comments in both control files, a keyword line padded past 120 characters,
// data rows with 100000 characters after their fields. The title is cut to
// 80 characters.
TEST(BadInput, LongLinesThatCarryNothingChangeNothing) {
  RunDir plain;
  lay_out(plain, good_data());
  ASSERT_EQ(plain.run().status, 0);

  RunDir padded;
  std::string top = top_file(small_top(), {"run.cnl"});
  std::string run = run_file(RunSettingsText{});
  for (std::string* text : {&top, &run}) {
    std::string out;
    for (const std::string& line : e2e::lines_of(*text)) out += line + std::string(300, 'c') + "\n";
    *text = out;
  }
  padded.write("Runvok.cnl", top);
  padded.write("run.cnl", run);
  std::string data =
      header("rows=48 columns=2 interval=1.0 format=(2f12.5)" + std::string(200, ' ') + "rows=7");
  for (int i = 1; i <= kRows; ++i) data += row(i) + std::string(100000, i % 2 ? ' ' : 'z') + "\n";
  padded.write("data.dat", data);
  const ProgramResult r = padded.run();
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(mask_times(r.console), kElapsed);
  EXPECT_EQ(padded.read("Vok-error.out"), "");
  EXPECT_EQ(mask_times(padded.read("run_1-_2.out")), mask_times(plain.read("run_1-_2.out")));

  RunDir titled;
  const std::string title = std::string(80, 'T') + "beyond";
  lay_out(titled, header("rows=48 columns=2 interval=1.0 format=(2f12.5)", title) + rows_with());
  ASSERT_EQ(titled.run().status, 0);
  const std::string report = titled.read("run_1-_2.out");
  EXPECT_NE(report.find(std::string(80, 'T')), std::string::npos);
  EXPECT_EQ(report.find("beyond"), std::string::npos);
}

// ---------------------------------------------------------------------------
// Line ends and bytes.

std::string with_crlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// Files written on another system read exactly like their LF twins.
TEST(BadInput, CrlfLineEndsReadLikeLf) {
  auto execute = [](bool crlf, const std::string& format, const std::string& rows) {
    auto lay = [crlf](const std::string& t) { return crlf ? with_crlf(t) : t; };
    RunDir dir;
    RunSettingsText r;
    r.graphing = true;
    dir.write("Runvok.cnl", lay(top_file(small_top(), {"run.cnl"})));
    dir.write("run.cnl", lay(run_file(r)));
    dir.write("data.dat", lay(header("rows=48 columns=2 interval=1.0 format=" + format) + rows));
    const ProgramResult result = dir.run();
    std::vector<std::string> texts = {std::to_string(result.status), mask_times(result.console),
                                      dir.read("Vok-error.out")};
    for (const char* name : {"run_1-_2.out", "run_1-_2.graph", "run-frames.out", "run-xy.graph"})
      texts.push_back(mask_times(dir.read(name)));
    return texts;
  };
  std::string fixed;
  std::string stamped;
  std::string listed;
  for (int i = 1; i <= kRows; ++i) {
    fixed += row(i) + "\n";
    stamped += "2009-09-09 10:00:" + std::to_string(10 + i) + " " + row(i) + "\n";
    std::string r = row(i);
    listed += r.substr(0, 12) + "," + r.substr(12) + "\n";
  }
  for (const auto& [format, rows] :
       {std::pair{std::string(kFormat), fixed}, std::pair{std::string("(a19,1x,2f12.5)"), stamped},
        std::pair{std::string("*"), listed}}) {
    SCOPED_TRACE(format);
    const auto lf = execute(false, format, rows);
    EXPECT_EQ(lf[0], "0");
    EXPECT_EQ(execute(true, format, rows), lf);
  }
}

TEST(BadInput, NulAndNonAsciiBytes) {
  const std::string nul(1, '\0');
  const Outcome cases[] = {
      {"NUL inside a value",
       [&](const RunDir& dir) {
         lay_out(dir, data_with_row(7, "     0.5" + nul + "000     0.50000"));
       },
       1, read_error(1) + detail("data.dat", 9, "     0.5\\x00000     0.50000")},
      {"UTF-8 minus sign",
       [](const RunDir& dir) {
         lay_out(dir, data_with_row(7,
                                    "  \xe2\x88\x92"
                                    "0.50000     0.50000"));
       },
       1, read_error(1) + detail("data.dat", 9, "  \xe2\x88\x92" "0.50000     0.50000")},
      {"Latin-1 byte",
       [](const RunDir& dir) { lay_out(dir, data_with_row(7, "    0.50000\xb0     0.5000")); }, 1,
       read_error(1) + detail("data.dat", 9, "    0.50000\xb0     0.5000")},
      // In comments and in the title such bytes are only carried along (a NUL of
  // the title shows as "?" in the report).
      {"NUL and non-ASCII in comments and the title",
       [&](const RunDir& dir) {
         lay_out(dir, header("rows=48 columns=2 interval=1.0 format=(2f12.5)",
                             "Caf\xc3\xa9 " + nul + " \xff") +
                          rows_with());
         std::string top = top_file(small_top(), {"run.cnl"});
         top.insert(top.find("* lw") + 1, nul + "\xe9\xc3\xa9");
         dir.write("Runvok.cnl", top);
       },
       0, kElapsed, ""},
      // A name cannot hold a NUL: no such file (not the file named by the
      // part before it).
      {"NUL in the data file name",
       [&](const RunDir& dir) {
         lay_out(dir, good_data());
         RunSettingsText r;
         r.data = "data.dat" + nul + "zz";
         dir.write("run.cnl", run_file(r));
       },
       1, " Data file  data.dat\\x00zz" + std::string(69, ' ') + "  does not exist\n" +
              detail("run.cnl", 5, "data file name =data.dat\\x00zz * the data")},
      {"NUL in a run control file name",
       [&](const RunDir& dir) { lay_out(dir, good_data(), {"run.cnl" + nul + "x"}); }, 2,
       "\n\n cnl file does not exist  run.cnl\\x00x" + std::string(71, ' ') + "\n" +
           detail("Runvok.cnl", 8, "run.cnl\\x00x * run control file")},
  };
  expect_outcomes(cases);
}

// ---------------------------------------------------------------------------
// Empty files and directories.

TEST(BadInput, EmptyFilesAndDirectories) {
  const Outcome cases[] = {
      {"empty Runvok.cnl", [](const RunDir& dir) { dir.write("Runvok.cnl", ""); }, 1,
       " End of file on runvok.cnl reads\n", " End of file on runvok.cnl reads\n"},
      {"empty run control file",
       [](const RunDir& dir) {
         lay_out(dir, good_data());
         dir.write("run.cnl", "");
       },
       1, " End of file on cnl file  run.cnl  before the # line\n",
       " End of file on cnl file  run.cnl  before the # line\n"},
      {"empty data file", [](const RunDir& dir) { lay_out(dir, ""); }, 1,
       " End of file reading the header of data file data.dat\n",
       " End of file reading the header of data file data.dat\n"},
      {"data file of a header alone", [](const RunDir& dir) { lay_out(dir, header()); }, 2,
       "\n       Error - No. of frames < 1\n\n       Decrease the frame length =      24\n\n",
       "\n       Error - No. of frames < 1\n\n       Decrease the frame length =      24\n\n"},
      // The reason follows each message about a file, on the console and the
      // error file.
      {"Runvok.cnl a directory", [](const RunDir& dir) { dir.make_directory("Runvok.cnl"); }, 1,
       " **** Error on opening Runvok.cnl  21\n at Runvok.cnl: Is a directory\n",
       " at Runvok.cnl: Is a directory\n"},
      {"run control file a directory",
       [](const RunDir& dir) {
         lay_out(dir, good_data());
         std::filesystem::remove(dir.path() / "run.cnl");
         dir.make_directory("run.cnl");
       },
       1, " **** Error on opening control file  21\n at run.cnl: Is a directory\n"},
      // Only regular files are read: a pipe would block the program, and a
      // device such as /dev/zero, a line without end, would fill its memory
      // (/dev/null stands in for it here).
      {"Runvok.cnl a pipe",
       [](const RunDir& dir) { ASSERT_EQ(::mkfifo((dir.path() / "Runvok.cnl").c_str(), 0600), 0); },
       1, " **** Error on opening Runvok.cnl  22\n at Runvok.cnl: not a regular file\n",
       " at Runvok.cnl: not a regular file\n"},
      {"data file a device",
       [](const RunDir& dir) {
         lay_out(dir, good_data());
         std::filesystem::remove(dir.path() / "data.dat");
         std::filesystem::create_symlink("/dev/null", dir.path() / "data.dat");
       },
       1, " **** Error on opening data file  22\n at data.dat: not a regular file\n"},
  };
  expect_outcomes(cases);
}

// ---------------------------------------------------------------------------
// Output files that cannot be created or written.

// A report that cannot be created ends its run; the next run follows and is
// complete. (A link of the report's name is replaced, never written through:
// see whole_outputs_test.cpp.)
TEST(BadInput, ReportThatCannotBeCreatedEndsOnlyItsRun) {
  struct Case {
    std::string what;
    std::function<void(const RunDir&)> block;  // makes first_1-_2.out uncreatable
    int status;                                // the system's error number
    std::string reason;
  };
  const Case cases[] = {
      {"a directory", [](const RunDir& dir) { dir.make_directory("first_1-_2.out"); }, 21,
       "Is a directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RunDir dir;
    lay_out(dir, good_data(), {"first.cnl", "second.cnl"});
    c.block(dir);
    const ProgramResult r = dir.run();
    EXPECT_EQ(r.status, 2);
    const std::string message = " **** Error on opening output file  " +
                                std::to_string(c.status) + "\n at first_1-_2.out: " + c.reason +
                                "\n";
    EXPECT_EQ(mask_times(r.console), message + kElapsed);
    EXPECT_EQ(dir.read("Vok-error.out"), message);
    EXPECT_NE(dir.read("second_1-_2.out").find(" Elapsed time = "), std::string::npos);
  }
}

// The console on a full device: only the error file can tell. Run as a
// process of its own (the executable built beside this test), since the
// console is the process's standard output.
TEST(BadInput, ConsoleOnAFullDevice) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  std::error_code ec;
  const auto vok = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path() / "vok";
  if (ec || !std::filesystem::exists(vok)) GTEST_SKIP() << "vok is not built beside the tests";
  RunDir dir;
  lay_out(dir, good_data());
  const std::string command =
      "cd '" + dir.path().string() + "' && '" + vok.string() + "' > /dev/full 2> stderr.txt";
  const int raw = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(raw));
  EXPECT_EQ(WEXITSTATUS(raw), 1);
  EXPECT_EQ(dir.read("Vok-error.out"),
            " **** Error writing console\n at console: No space left on device\n");
  EXPECT_NE(dir.read("run_1-_2.out").find(" Elapsed time = "), std::string::npos);
}

// ---------------------------------------------------------------------------
// Data files that are not files, headers that promise what the file does not
// hold, lines without end.

TEST(BadInput, ADataFileThatIsNotARegularFileIsToldSo) {
  const std::string message =
      " **** Error on opening data file  22\n at data.dat: not a regular file\n";
  // The data file replaced by a device.
  auto device = [](const char* path) {
    return [path](const RunDir& dir) {
      lay_out(dir, good_data());
      std::filesystem::remove(dir.path() / "data.dat");
      std::filesystem::create_symlink(path, dir.path() / "data.dat");
    };
  };
  const Outcome cases[] = {
      {"a pipe",
       [](const RunDir& dir) {
         lay_out(dir, good_data());
         std::filesystem::remove(dir.path() / "data.dat");
         ASSERT_EQ(::mkfifo((dir.path() / "data.dat").c_str(), 0600), 0);
       },
       1, message},
      {"/dev/zero", device("/dev/zero"), 1, message},
      {"/dev/urandom", device("/dev/urandom"), 1, message},
  };
  expect_outcomes(cases);
}

// A header that promises two thousand million rows over 120 real ones: the
// arrays grow with what the file holds, so the run completes on its rows in
// an address space of 256 MB beyond what is in use.
TEST(BadInput, RowsPromisedButNotThereTakeNoMemory) {
  if (kUnderAddressSanitizer)
    GTEST_SKIP() << "address space limits do not apply under AddressSanitizer";
  RunDir dir;
  std::string rows;
  for (int i = 1; i <= 120; ++i) rows += row(i) + "\n";
  lay_out(dir, header("rows=2000000000 columns=2 interval=1.0 format=(2f12.5)") + rows);
  std::ifstream statm("/proc/self/statm");
  long pages = 0;
  statm >> pages;
  ASSERT_GT(pages, 0);
  rlimit before{};
  ASSERT_EQ(getrlimit(RLIMIT_AS, &before), 0);
  rlimit limited = before;
  limited.rlim_cur = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGE_SIZE)) +
                     (rlim_t{256} << 20);
  ASSERT_EQ(setrlimit(RLIMIT_AS, &limited), 0);
  const ProgramResult r = dir.run();
  ASSERT_EQ(setrlimit(RLIMIT_AS, &before), 0);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(mask_times(r.console), kElapsed);
  const std::string report = dir.read("run_1-_2.out");
  EXPECT_NE(report.find(" **** eof in read from data file \n i =  121\n"), std::string::npos);
  EXPECT_NE(report.find("No. of frames =       5\n"), std::string::npos) << report;
}

// A first line of NUL bytes longer than any line is read (a sparse file of
// 3 GB): the over-long line is named, with its first characters escaped.
TEST(BadInput, AnOverlongHeaderLineIsNamed) {
  RunDir dir;
  lay_out(dir, "");
  std::filesystem::resize_file(dir.path() / "data.dat", std::uintmax_t{3} << 30);
  const ProgramResult r = dir.run();
  EXPECT_EQ(r.status, 1);
  std::string nuls;
  for (int i = 0; i < 80; ++i) nuls += "\\x00";
  const std::string message = " End of file reading the header of data file data.dat\n"
                              " at data.dat line 1: \"" + nuls +
                              "\": a line longer than 67108864 bytes\n";
  EXPECT_EQ(r.console, message);
  EXPECT_EQ(dir.read("Vok-error.out"), message);
}

// Control bytes of the inputs never reach the console, the error file or the
// report as they are: messages show them escaped, the report's fields "?".
TEST(BadInput, ControlBytesAreEscapedInMessagesAndMaskedInTheReport) {
  const std::string title = "Series \x1b]0;owned\x07 \x1b[2J";
  const std::string shown_title = "Series ?]0;owned? ?[2J";
  {
    SCOPED_TRACE("a data row");
    RunDir dir;
    lay_out(dir, header() + rows_with(5, "\x1b[2J  0.5        0.5"));
    const ProgramResult r = dir.run();
    EXPECT_EQ(r.status, 1);
    const std::string message =
        read_error(1) + detail("data.dat", 7, "\\x1b[2J  0.5        0.5");
    EXPECT_EQ(r.console, message);
    EXPECT_EQ(dir.read("Vok-error.out"), message);
    EXPECT_EQ(dir.read("run_1-_2.out").find('\x1b'), std::string::npos);
  }
  {
    SCOPED_TRACE("a title");
    RunDir dir;
    lay_out(dir, header("rows=48 columns=2 interval=1.0 format=(2f12.5)", title) + rows_with());
    EXPECT_EQ(dir.run().status, 0);
    const std::string report = dir.read("run_1-_2.out");
    EXPECT_NE(report.find(shown_title + std::string(80 - shown_title.size(), ' ')),
              std::string::npos);
    EXPECT_EQ(report.find('\x1b'), std::string::npos);
  }
  {
    SCOPED_TRACE("stamps");
    RunDir dir;
    std::string rows;
    for (int i = 1; i <= kRows; ++i) rows += "2009-09-09 \x1b[2J:00 " + row(i) + "\n";
    lay_out(dir, header("rows=48 columns=2 interval=1.0 format=(a19,1x,2f12.5)") + rows);
    RunSettingsText run;
    run.graphing = true;
    dir.write("run.cnl", run_file(run));
    EXPECT_EQ(dir.run().status, 0);
    for (const char* name : {"run_1-_2.out", "run_1-_2.graph", "run-frames.out"}) {
      const std::string text = dir.read(name);
      EXPECT_EQ(text.find('\x1b'), std::string::npos) << name;
    }
    EXPECT_NE(dir.read("run_1-_2.graph").find("2009-09-09 ?[2J:00"), std::string::npos);
  }
  {
    SCOPED_TRACE("a data file name");
    RunDir dir;
    lay_out(dir, good_data());
    RunSettingsText run;
    run.data = "\x1b]0;x\x07.dat";
    dir.write("run.cnl", run_file(run));
    const ProgramResult r = dir.run();
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.console.find('\x1b'), std::string::npos) << r.console;
    EXPECT_NE(r.console.find("\\x1b]0;x\\x07.dat"), std::string::npos) << r.console;
  }
}

// A VAR lag of ten digits is read, then refused with its value and why.
TEST(BadInput, AVarLagTooLargeForAnyFrameIsNamed) {
  RunDir dir;
  lay_out(dir, good_data());
  TopSettings top = small_top();
  top.var_lag = 1000000000;
  dir.write("Runvok.cnl", top_file(top, {"run.cnl"}));
  const ProgramResult r = dir.run();
  EXPECT_EQ(r.status, 1);
  const std::string message =
      " VAR parameter  1000000000  > lw/2  12\n" +
      detail("Runvok.cnl", 6, "VAR lag = 1000000000       * order of the prewhitening fit");
  EXPECT_EQ(r.console, message);
  EXPECT_EQ(dir.read("Vok-error.out"), message);
}

}  // namespace
}  // namespace vok
