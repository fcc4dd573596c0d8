// The whole program on small control files: console, "Vok-error.out" and
// the exit status.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "e2e/run_in_dir.h"

namespace vok {
namespace {

using e2e::ProgramResult;
using e2e::RunDir;

struct Shared {
  std::string runs = "Number of runs = 0       * runs\n";
  std::string exponent = "0.4";
  std::string alarm = "0.05";
  std::string frame_length = "48";
};

// A top control file with its "#" on the last parameter line, then the names.
std::string top_file(const Shared& s, const std::string& names = "") {
  return s.runs +                                                          //
         "lag exponent = " + s.exponent + "     * lags = lw^exponent\n" +  //
         "false alarm = " + s.alarm + "     * alpha\n" +                   //
         "frame length = " + s.frame_length + "       * lw\n" +            //
         "overlap = 0              * 0: frames end to end\n"
         "VAR lag = 1              * p\n"
         "resamples = 0            * bootstrap # the last parameter line\n" +
         names;
}

std::string name80(const std::string& name) {
  return name + std::string(80 - name.size(), ' ');
}

// The lines of a run control file that does not exist, named on line `line`
// of "Runvok.cnl" whose text is `text`.
// Text as a message echoes it: bytes below 32 (but tab) as \x and two hex
// digits, so that no control byte reaches a terminal.
std::string echoed(const std::string& text) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 32 && c != '\t') || byte == 127) {
      char code[5];
      std::snprintf(code, sizeof code, "\\x%02x", byte);
      out += code;
    } else {
      out += c;
    }
  }
  return out;
}

std::string missing_run(const std::string& name, int line, const std::string& text) {
  return "\n\n cnl file does not exist  " + name80(name) + "\n at Runvok.cnl line " +
         std::to_string(line) + ": \"" + text + "\"\n";
}

TEST(ControlEndToEnd, MissingTopControlFile) {
  RunDir dir;
  ProgramResult r = dir.run();
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.console, "\n\n Runvok.cnl file does not exist\n");
  EXPECT_EQ(dir.read("Vok-error.out"), " Runvok.cnl file does not exist\n");
}

TEST(ControlEndToEnd, UnusableTopControlFiles) {
  struct Case {
    std::string what;
    std::string content;
    std::string console;
    std::string error_file;
  };
  const std::string no_star = " Place comment marker * after each line in Runvok.cnl\n ";
  const std::string eof = " End of file on runvok.cnl reads\n";
  const std::string long_line(100000, 'L');
  const std::string odd_bytes("\0\x01\xff\xc3\xa9 runs = 1", 13);
  const Case cases[] = {
      {"no bytes", "", eof, eof},
      {"one empty line", "\n", no_star + std::string(70, ' ') + "\n",
       no_star + std::string(70, ' ') + "\n"},
      {"line without star", "Number of runs = 0 no comment marker\n",
       no_star + name80("Number of runs = 0 no comment marker").substr(0, 70) + "\n",
       no_star + name80("Number of runs = 0 no comment marker").substr(0, 70) + "\n"},
      // Only the first 80 characters count: a "*" further on is not seen.
      {"very long line", long_line + "*\n", no_star + long_line.substr(0, 70) + "\n",
       no_star + long_line.substr(0, 70) + "\n"},
      {"odd bytes", odd_bytes + "\n", no_star + echoed(name80(odd_bytes).substr(0, 70)) + "\n",
       no_star + echoed(name80(odd_bytes).substr(0, 70)) + "\n"},
      {"ends before its #", "Number of runs = 0 *\n", eof, eof},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RunDir dir;
    dir.write("Runvok.cnl", c.content);
    ProgramResult r = dir.run();
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.console, c.console);
    EXPECT_EQ(dir.read("Vok-error.out"), c.error_file);
  }
}

TEST(ControlEndToEnd, TopControlFileThatIsADirectory) {
  RunDir dir;
  dir.make_directory("Runvok.cnl");
  ProgramResult r = dir.run();
  EXPECT_EQ(r.status, 1);
  // EISDIR: the message on the console only, its reason on both.
  EXPECT_EQ(r.console, " **** Error on opening Runvok.cnl  21\n at Runvok.cnl: Is a directory\n");
  EXPECT_EQ(dir.read("Vok-error.out"), " at Runvok.cnl: Is a directory\n");
}

TEST(ControlEndToEnd, SharedSettingBounds) {
  struct Case {
    std::string what;
    Shared shared;
    int status;
    std::string message;  // on the console and in the error file
  };
  auto with = [](auto change) {
    Shared s;
    change(s);
    return s;
  };
  // The detail line naming a line of "Runvok.cnl".
  auto at = [](int line, const std::string& text) {
    return " at Runvok.cnl line " + std::to_string(line) + ": \"" + text + "\"\n";
  };
  const Case cases[] = {
      {"exponent 0.5", with([](Shared& s) { s.exponent = "0.5"; }), 0, ""},
      {"exponent 0.51", with([](Shared& s) { s.exponent = "0.51"; }), 1,
       " exponent = 0.51  is out of bounds in file file\n" +
           at(2, "lag exponent = 0.51     * lags = lw^exponent")},
      {"exponent 0.01", with([](Shared& s) { s.exponent = "0.01"; }), 1,
       " exponent = 0.01  is out of bounds in file file\n" +
           at(2, "lag exponent = 0.01     * lags = lw^exponent")},
      {"frame length 12", with([](Shared& s) { s.frame_length = "12"; }), 0, ""},
      {"frame length 11", with([](Shared& s) { s.frame_length = "11"; }), 1,
       " Frame length  11  < 12. Increase lw\n" + at(4, "frame length = 11       * lw")},
      {"frame length 0", with([](Shared& s) { s.frame_length = "0"; }), 1,
       " Frame length  0  < 12. Increase lw\n" + at(4, "frame length = 0       * lw")},
      {"frame length -30", with([](Shared& s) { s.frame_length = "-30"; }), 1,
       " Frame length  -30  < 12. Increase lw\n" + at(4, "frame length = -30       * lw")},
      {"alarm 1.0", with([](Shared& s) { s.alarm = "1.0"; }), 0, ""},
      {"alarm 1.01", with([](Shared& s) { s.alarm = "1.01"; }), 1,
       " 1.01  False alarm threshold > 1\n" + at(3, "false alarm = 1.01     * alpha")},
      // Without a run count nothing is run, and the execution ends normally.
      {"no run count", with([](Shared& s) { s.runs = "* the run count is left out\n"; }), 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RunDir dir;
    dir.write("Runvok.cnl", top_file(c.shared, "never.cnl * not read with no runs\n"));
    ProgramResult r = dir.run();
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.console, c.message);
    EXPECT_EQ(dir.read("Vok-error.out"), c.message);
  }
}

// A small data file and a run control file that reads it, for a run that
// gets past its control files.
void write_good_run(const RunDir& dir, const std::string& name) {
  std::string data = "Two test series\nrows=100 columns=2 interval=1.0 format=(2f12.4)\n";
  for (int i = 1; i <= 100; ++i) {
    char row[32];
    std::snprintf(row, sizeof row, "%12.4f%12.4f\n", std::sin(0.7 * i) + 0.01 * (i % 7),
                  std::cos(1.3 * i) - 0.02 * (i % 5));
    data += row;
  }
  dir.write("data.dat", data);
  dir.write(name,
            "column-x = 1        * x\n"
            "column-y = 2        * y\n"
            "graphing =no        * graph files\n"
            "unit=seconds        * time unit\n"
            "data file name=data.dat * data\n"
            "start datum = 1     * first row\n"
            "end datum = 0       * 0: last row\n"
            "#\n");
}

TEST(ControlEndToEnd, MissingRunControlFileEndsOnlyItsRun) {
  RunDir dir;
  Shared s;
  s.runs = "Number of runs = 2       * runs\n";
  s.frame_length = "30";
  dir.write("Runvok.cnl", top_file(s, "missing.cnl   * first run\r\ngood.cnl * second run\r\n"));
  write_good_run(dir, "good.cnl");
  ProgramResult r = dir.run();
  EXPECT_EQ(r.status, 2);
  const std::string missing = missing_run("missing.cnl", 8, "missing.cnl   * first run");
  EXPECT_TRUE(r.console.starts_with(missing)) << r.console;
  EXPECT_TRUE(dir.read("Vok-error.out").starts_with(missing));
}

TEST(ControlEndToEnd, EndMarkerLineOfARunControlFileIsNotJoined) {
  RunDir dir;
  Shared s;
  s.runs = "Number of runs = 1       * runs\n";
  dir.write("Runvok.cnl", top_file(s, "run.cnl * the run\n"));
  dir.write("run.cnl",
            "column-x = 1 column-y = 2 graphing =no unit=seconds *\n"
            "data file name=data.dat start = 1 end = 0 * # so these settings are not seen\n");
  ProgramResult r = dir.run();
  EXPECT_EQ(r.status, 1);
  const std::string refusal =
      " Error in reading the data file name from cnl file\n Error number for charead =  1\n"
      " at run.cnl: no label holds \"ile name\"\n";
  EXPECT_EQ(r.console, refusal);
  EXPECT_EQ(dir.read("Vok-error.out"), refusal);
}

TEST(ControlEndToEnd, RunNameLines) {
  struct Case {
    std::string what;
    std::string parameters;  // up to the first name line
    std::string names;
    int status;
    std::string output;  // console and error file
  };
  Shared two;
  two.runs = "Number of runs = 2       * runs\n";
  std::string eighteen = top_file(two);  // 7 parameter lines, "#" on the 7th
  eighteen.erase(eighteen.find('#'), 1);
  for (int i = 7; i < 18; ++i) eighteen += "* comment line\n";
  const Case cases[] = {
      // A name line without "*" names no file.
      {"no star", top_file(two), "nameless.cnl\nsecond.cnl *\n", 2,
       missing_run("", 8, "nameless.cnl") + missing_run("second.cnl", 9, "second.cnl *")},
      {"too few name lines", top_file(two), "only.cnl * \n", 1,
       missing_run("only.cnl", 8, "only.cnl * ") + " End of file on cnl read in runvok.cnl\n"},
      // 18 parameter lines without "#": the 19th line is the first name.
      {"eighteen lines", eighteen, "nineteen.cnl * \ntwenty.cnl *\n", 2,
       missing_run("nineteen.cnl", 19, "nineteen.cnl * ") +
           missing_run("twenty.cnl", 20, "twenty.cnl *")},
      // Bytes that are neither text nor ASCII are names like any other.
      {"odd bytes", top_file(two), std::string("nul\0.cnl *\n", 11) + "\xff\xfe.cnl *\n", 2,
       "\n\n cnl file does not exist  nul\\x00.cnl" + std::string(72, ' ') +
           "\n at Runvok.cnl line 8: \"nul\\x00.cnl *\"\n" +
           missing_run("\xff\xfe.cnl", 9, "\xff\xfe.cnl *")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RunDir dir;
    dir.write("Runvok.cnl", c.parameters + c.names);
    ProgramResult r = dir.run();
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.console, c.output);
    EXPECT_EQ(dir.read("Vok-error.out"), c.output);
  }
}

TEST(ControlEndToEnd, ParameterLinesOverSevenHundredCharacters) {
  RunDir dir;
  std::string lines = top_file(Shared{});
  lines.erase(lines.find('#'), 1);
  // The settings take 170 characters; seven more lines of 79 overflow.
  for (int i = 0; i < 7; ++i) lines += std::string(79, 'c') + "*\n";
  dir.write("Runvok.cnl", lines + "#*\n");
  ProgramResult r = dir.run();
  EXPECT_EQ(r.status, 1);
  // The detail line names the line that would overflow.
  const std::string refusal = " Parameter lines of  Runvok.cnl  exceed 700 characters\n" +
                              std::string(" at Runvok.cnl line 14: \"") + std::string(79, 'c') +
                              "*\"\n";
  EXPECT_EQ(r.console, refusal);
  EXPECT_EQ(dir.read("Vok-error.out"), refusal);
}

TEST(ControlEndToEnd, RunControlFileOverSevenHundredCharacters) {
  RunDir dir;
  Shared s;
  s.runs = "Number of runs = 1       * runs\n";
  dir.write("Runvok.cnl", top_file(s, "big.cnl *\n"));
  std::string lines;
  for (int i = 0; i < 9; ++i) lines += std::string(79, 'c') + "*\n";
  dir.write("big.cnl", lines + "#\n");
  ProgramResult r = dir.run();
  EXPECT_EQ(r.status, 1);
  const std::string refusal = " Parameter lines of  big.cnl  exceed 700 characters\n" +
                              std::string(" at big.cnl line 9: \"") + std::string(79, 'c') +
                              "*\"\n";
  EXPECT_EQ(r.console, refusal);
  EXPECT_EQ(dir.read("Vok-error.out"), refusal);
}

TEST(ControlEndToEnd, ErrorFileThatCannotBeCreated) {
  RunDir dir;
  dir.make_directory("Vok-error.out");
  dir.write("Runvok.cnl", top_file(Shared{}));
  ProgramResult r = dir.run();
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.console,
            " **** Error on creating the error file Vok-error.out  21\n"
            " at Vok-error.out: Is a directory\n");
}

}  // namespace
}  // namespace vok
