// The data file header: values of the keyword line, the unit scan, and the
// messages (diagnostic channel first, then the same lines on the console).
#include "data/readhead.h"

#include <gtest/gtest.h>

#include "data/temp_text_file.h"
#include "output/failure.h"

namespace vok {
namespace {

constexpr SampleUnit kTimeRun = SampleUnit::time;
constexpr SampleUnit kFrequencyRun = SampleUnit::frequency;

std::string padded(std::string_view text, std::size_t width) {
  std::string out(text.substr(0, width));
  out.resize(width, ' ');
  return out;
}

class ReadheadTest : public ::testing::Test {
 protected:
  // Reads a data file made of `contents`; `stopped` tells whether the program
  // stopped.
  DataHeader read(std::string_view contents, SampleUnit flag) {
    file_ = std::make_unique<testing::TempTextFile>(contents);
    // Line 2 as the detail lines show it.
    const std::size_t from = contents.find('\n') + 1;
    keyword_line_ = std::string(contents.substr(from, contents.find('\n', from) - from));
    if (keyword_line_.ends_with('\r')) keyword_line_.pop_back();
    EXPECT_EQ(data_.open(file_->path()), 0);
    diag_.capture();
    console_.capture();
    stopped_ = false;
    try {
      return readhead(data_, flag, readers_, {diag_, console_});
    } catch (const Stop&) {
      stopped_ = true;
      return {};
    }
  }
  // The detail line that follows a message about the keyword line (console
  // and error file only).
  std::string detail() const {
    return " at " + file_->path() + " line 2: \"" + keyword_line_.substr(0, 80) + "\"\n";
  }
  // Both channels got exactly `lines`, then the detail line; the program's
  // own console nothing.
  void expect_messages(const std::string& lines, bool with_detail = true) {
    const std::string want = lines + (lines.empty() || !with_detail ? "" : detail());
    EXPECT_EQ(diag_.text(), want);
    EXPECT_EQ(console_.text(), want);
    EXPECT_EQ(cap_.console(), "");
  }

  CapturedChannels cap_;
  std::unique_ptr<testing::TempTextFile> file_;
  TextFile data_;
  FieldReaders readers_;
  Channel diag_;  // the error file
  Channel console_;
  bool stopped_ = false;
  std::string keyword_line_;
};

TEST_F(ReadheadTest, FrequencyRunValues) {
  DataHeader h =
      read("Sample series\nrows=4096 columns=3 rate=10.0 format=(3f12.4) unit=kHz\n  1.0\n",
           kFrequencyRun);
  ASSERT_FALSE(stopped_);
  EXPECT_EQ(h.title, padded("Sample series", 80));
  EXPECT_EQ(h.rows, 4096);
  EXPECT_EQ(h.columns, 3);
  EXPECT_EQ(h.rate_or_interval, 10.0f);
  EXPECT_EQ(h.format.text(), padded("(3f12.4) ", 50));
  EXPECT_FALSE(h.format.stamped());
  EXPECT_EQ(h.format.plan().values(), 3);
  expect_messages("");
}

TEST_F(ReadheadTest, TimeRunValuesInAnyOrderWithCapitals) {
  DataHeader h = read("T\r\nFormat=(a19,1x,2f10.3) Interval=0.25 Columns=2 Rows=12\r\n", kTimeRun);
  ASSERT_FALSE(stopped_);
  EXPECT_EQ(h.rows, 12);
  EXPECT_EQ(h.columns, 2);
  EXPECT_EQ(h.rate_or_interval, 0.25f);
  EXPECT_EQ(h.format.text(), padded("(a19,1x,2f10.3) ", 50));
  // Compiled once, for the header's columns and the stamp where it stands.
  ASSERT_EQ(h.format.fault(), DataFormat::Fault::none);
  EXPECT_TRUE(h.format.stamped());
  EXPECT_EQ(h.format.plan().stamp(), StampPosition::first);
  EXPECT_EQ(h.format.plan().values(), 2);
  EXPECT_EQ(h.title, padded("T", 80));  // the CR of a CRLF line is not part of it
}

TEST_F(ReadheadTest, LongTitleAndFormatAreCut) {
  const std::string title(100, 't');
  std::string format = "(";
  for (int i = 0; i < 8; ++i) format += "f10.3,";
  format += "f10.3)";
  DataHeader h = read(title + "\nrows=1 columns=9 interval=1.0 format=" + format + "\n", kTimeRun);
  ASSERT_FALSE(stopped_);
  EXPECT_EQ(h.title, title.substr(0, 80));
  ASSERT_GT(format.size(), 50u);
  EXPECT_EQ(h.format.text(), format.substr(0, 50));
}

// Units: which spellings pass, and which message stops the run.
enum class Outcome { passes, no_unit, hertz };

struct UnitCase {
  std::string_view unit_entry;
  SampleUnit flag;
  Outcome outcome;
};

TEST_F(ReadheadTest, UnitSpellingsTable) {
  const UnitCase cases[] = {
      {"unit=kHz", kFrequencyRun, Outcome::passes},
      {"unit=khz", kFrequencyRun, Outcome::passes},
      {"unit=Khz", kFrequencyRun, Outcome::passes},
      {"unit=KHz", kFrequencyRun, Outcome::passes},
      {"Unit=kHz", kFrequencyRun, Outcome::passes},
      {"unit=Hz", kFrequencyRun, Outcome::hertz},
      {"unit=hz", kFrequencyRun, Outcome::hertz},
      {"unit= kHz", kFrequencyRun, Outcome::no_unit},  // blank after "="
      {"unit=MHz", kFrequencyRun, Outcome::hertz},     // "Hz" within the three characters
      {"", kFrequencyRun, Outcome::no_unit},
      {"unit=Hz", kTimeRun, Outcome::passes},
      {"unit=kHz", kTimeRun, Outcome::passes},
      {"", kTimeRun, Outcome::passes},
  };
  for (const UnitCase& c : cases) {
    SCOPED_TRACE(std::string(c.unit_entry) + (c.flag == kTimeRun ? " time" : " frequency"));
    const std::string keywords =
        "rows=10 columns=2 rate=1.5 interval=2.0 format=(2f5.1) " + std::string(c.unit_entry);
    console_.clear_text();
    DataHeader h = read("title\n" + keywords + "\n", c.flag);
    std::string echo = " ";
    echo += padded(keywords, 120);
    echo += '\n';
    switch (c.outcome) {
      case Outcome::passes:
        EXPECT_FALSE(stopped_);
        EXPECT_EQ(h.rate_or_interval, c.flag == kTimeRun ? 2.0f : 1.5f);
        expect_messages("");
        break;
      case Outcome::no_unit:
        EXPECT_TRUE(stopped_);
        expect_messages(
            "\n"
            "  ERROR - unit=kHz or Hz is not typed after the format on the data file used\n"
            "\n"
            "  Use kHz or khz or KHz for kiloherz unit\n"
            "  or Hz or hz for herz unit\n"
            "\n" +
            echo);
        break;
      case Outcome::hertz:
        EXPECT_TRUE(stopped_);
        expect_messages(
            "\n"
            "  ERROR - the control file sets the units in kHz but Hz is indicated on line 2 of "
            "the data file\n" +
            echo);
        break;
    }
  }
}

// Keyword entries that cannot be read: the message, its reader error number,
// and whether the program stops.
struct ErrorCase {
  std::string_view keywords;
  SampleUnit flag;
  std::string_view messages;
  bool stops;
};

TEST_F(ReadheadTest, ReaderErrorsTable) {
  const ErrorCase cases[] = {
      {"ROWS=100 columns=2 interval=1.0 format=(2f5.1)", kTimeRun,
       " Error in reading the no. of rows of the data file\n"
       " Error number for rnumread =  1\n",
       true},
      {"rows=100 interval=1.0 format=(2f5.1)", kTimeRun,
       " Error in reading the no. of columns of the data file\n", false},
      {"rows=100 columns=2 Rate=8.0 format=(2f5.1) unit=kHz", kFrequencyRun, "", false},
      {"rows=100 columns=2 format=(2f5.1) unit=kHz", kFrequencyRun,
       " Error in reading the sampling rate of the data\n"
       " Error number for rnumread =  1\n",
       true},
      // "rate" found but unreadable (no point): the number shown is that of the "Rate"
      // search.
      {"rows=100 columns=2 format=(2f5.1) unit=kHz rate=x", kFrequencyRun,
       " Error in reading the sampling rate of the data\n"
       " Error number for rnumread =  1\n",
       true},
      {"rows=100 columns=2 rate=1.0 format=(2f5.1) unit=kHz", kTimeRun,
       " Error in reading the sampling interval of the data\n"
       " Error number for rnumread =  1\n",
       true},
      {"rows=100 columns=2 interval=1.0 format= (2f5.1)", kTimeRun,
       " Error in reading the format from the data file\n"
       " Error number for rnumread =  3\n",
       true},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(std::string(c.keywords));
    console_.clear_text();
    DataHeader h = read("title\n" + std::string(c.keywords) + "\n", c.flag);
    EXPECT_EQ(stopped_, c.stops);
    expect_messages(std::string(c.messages));
    if (!c.stops && c.messages.empty()) {
      EXPECT_EQ(h.rate_or_interval, 8.0f);
    }
    if (!c.stops && !c.messages.empty()) {
      EXPECT_EQ(h.columns, -1);
    }
  }
}

TEST_F(ReadheadTest, FormatPastColumn120CountsAsMissing) {
  const std::string keywords =
      "rows=100 columns=2 interval=1.0" + std::string(90, ' ') + "format=(2f5.1)";
  read("title\n" + keywords + "\n", kTimeRun);
  EXPECT_TRUE(stopped_);
  expect_messages(
      " Error in reading the format from the data file\n"
      " Error number for rnumread =  1\n");
}

TEST_F(ReadheadTest, UnitPastColumn120CountsAsMissing) {
  const std::string keywords =
      "rows=10 columns=2 rate=1.5 format=(2f5.1)" + std::string(80, ' ') + "unit=kHz";
  read("title\n" + keywords + "\n", kFrequencyRun);
  EXPECT_TRUE(stopped_);
  EXPECT_NE(diag_.text().find("ERROR - unit=kHz or Hz is not typed"), std::string::npos);
}

TEST_F(ReadheadTest, RangeMessageOfTheReaderGoesToTheDiagnosticChannelOnly) {
  for (std::string_view rows : {"2147483648", "12345678901"}) {
    SCOPED_TRACE(std::string(rows));
    console_.clear_text();
    read("title\nrows=" + std::string(rows) + " columns=2 interval=1.0 format=(2f5.1)\n",
         kTimeRun);
    EXPECT_TRUE(stopped_);
    const std::string messages =
        " Error in reading the no. of rows of the data file\n"
        " Error number for rnumread =  4\n";
    EXPECT_EQ(console_.text(), messages + detail());
    ASSERT_TRUE(diag_.text().starts_with(" The number ")) << diag_.text();
    EXPECT_NE(diag_.text().find(rows), std::string::npos);
    EXPECT_TRUE(diag_.text().ends_with(messages + detail()));
  }
}

// Files of 10 million rows and more: the row count takes up to 10 digits.
TEST_F(ReadheadTest, RowCountsOfUpToTenDigits) {
  for (const auto& [text, rows] : {std::pair{"10000000", 10'000'000},
                                   std::pair{"100000000", 100'000'000},
                                   std::pair{"2147483647", 2'147'483'647}}) {
    SCOPED_TRACE(text);
    DataHeader h =
        read("title\nrows=" + std::string(text) + " columns=2 interval=1.0 format=(2f5.1)\n",
             kTimeRun);
    ASSERT_FALSE(stopped_);
    EXPECT_EQ(h.rows, rows);
  }
}

TEST_F(ReadheadTest, FileWithOneLineStops) {
  read("only a title\n", kTimeRun);
  EXPECT_TRUE(stopped_);
  expect_messages(" End of file reading the header of data file " + file_->path() + "\n", false);
}

}  // namespace
}  // namespace vok
