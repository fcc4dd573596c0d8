// Reading the data rows of a run: stamp position, row range, the matrix stored
// by columns, the end-of-file notice and the messages that stop the program.
#include "data/datc.h"

#include <gtest/gtest.h>

#include "data/temp_text_file.h"
#include "exec/parallel.h"
#include "output/failure.h"

namespace vok {
namespace {

TEST(StampPosition, FromTheFormatText) {
  const std::pair<std::string_view, std::optional<StampPosition>> cases[] = {
      {"(a19,1x,2f10.3)", StampPosition::first},
      {"(2f10.3,1x,a19)", StampPosition::last},
      {"(1x,a19,2f10.3)", StampPosition::last},  // q > p + 2
      {"(f5.1,a19)", StampPosition::last},
      {"( a19,2f10.3)", std::nullopt},  // q = p + 2
      {"(2a10,2f10.3)", std::nullopt},
      {"(2f10.3)", std::nullopt},        // no "a"
      {"a (2f10.3)", std::nullopt},      // q before p
      {"(A19,2F10.3)", StampPosition::first},  // descriptors in either case
      {"(2F10.3,1X,A19)", StampPosition::last},
      {"( A19,2F10.3)", std::nullopt},
      {"(2f10.3,1x,a19", std::nullopt},  // no ")" after the "a"
      {"(2F10.3,1X,A19", std::nullopt},
      {"(a19,1x,2f10.3                                  ", std::nullopt},
  };
  for (const auto& [format, want] : cases) {
    SCOPED_TRACE(std::string(format));
    EXPECT_EQ(stamp_position(format), want);
  }
}

// The format compiled once: whether rows carry a stamp and where, what keeps
// the rows from being read, and the lines a row takes.
TEST(DataFormat, CompiledFromTheHeaderText) {
  using Fault = DataFormat::Fault;
  struct Case {
    std::string_view text;
    int values;
    bool stamped;
    Fault fault;
    StampPosition stamp;  // of the plan, when there is one
    int lines_per_row;
  };
  const Case cases[] = {
      {"(2f10.3)", 2, false, Fault::none, StampPosition::none, 1},
      {"(2f5.1)", 3, false, Fault::none, StampPosition::none, 2},
      {"(a19,1x,2f10.3)", 2, true, Fault::none, StampPosition::first, 1},
      {"(2F10.3,1X,A19)", 2, true, Fault::none, StampPosition::last, 1},
      {"(a19/2f10.3)", 2, true, Fault::none, StampPosition::first, 2},
      {"*", 2, false, Fault::none, StampPosition::none, 1},
      {"( a19,2f10.3)", 2, true, Fault::stamp, StampPosition::none, 1},
      {"(2f10.3,1x,a19", 2, true, Fault::stamp, StampPosition::none, 1},
      {"(2f5.1", 2, false, Fault::unusable, StampPosition::none, 1},
      {"(2f5.1,q5)", 2, false, Fault::unusable, StampPosition::none, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text));
    const DataFormat f = DataFormat::compile(c.text, c.values);
    std::string text(c.text);
    text.resize(50, ' ');
    EXPECT_EQ(f.text(), text);
    EXPECT_EQ(f.stamped(), c.stamped);
    EXPECT_EQ(f.fault(), c.fault);
    EXPECT_EQ(f.why().empty(), c.fault == Fault::none);
    EXPECT_EQ(f.lines_per_row(), c.lines_per_row);
    if (c.fault == Fault::none) {
      EXPECT_EQ(f.plan().stamp(), c.stamp);
      EXPECT_EQ(f.plan().values(), c.values);
    }
  }
}

// A data file with two header lines and the given rows, opened, plus the
// channels datc writes on.
class DatcTest : public ::testing::Test {
 protected:
  void SetUp() override {
    console_.capture();
    error_file_.capture();
  }
  void TearDown() override { EXPECT_EQ(cap_.console(), "") << "written on the program's console"; }

  void open(const std::string& rows) {
    file_ = std::make_unique<testing::TempTextFile>("title\nrows=9 columns=2 format=x\n" + rows);
    ASSERT_EQ(data_.open(file_->path()), 0);
    std::string line;
    data_.read_line(line);  // datc rewinds the file itself
    report_.capture();
  }

  // Reads rows first..last of `columns` values under `format`; whether they
  // carry a stamp the format says.
  int read(std::string_view format, int first, int last, int columns) {
    const int n = last - first + 1;
    matrix_.assign(static_cast<std::size_t>(n * std::max(columns, 0)), -99.0f);
    stamps_ = StampArray(static_cast<std::size_t>(n));
    return datc(matrix_, stamps_, DataFormat::compile(format, columns), first, last, data_,
                {report_, console_, error_file_});
  }

  // Column j (0-based) of the matrix of n rows.
  std::vector<float> column(int j, int n) const {
    return {matrix_.begin() + j * n, matrix_.begin() + (j + 1) * n};
  }
  std::string stamp(int i) const { return std::string(stamps_[static_cast<std::size_t>(i)]); }

  CapturedChannels cap_;
  std::unique_ptr<testing::TempTextFile> file_;
  TextFile data_;
  // The detail line after a message, on the console and the error file.
  std::string detail(int line, std::string_view text, std::string_view why = {}) const {
    std::string out = " at " + file_->path() + " line " + std::to_string(line) + ": \"" +
                      std::string(text) + "\"";
    if (!why.empty()) out += ": " + std::string(why);
    return out + "\n";
  }
  std::string keyword_detail(std::string_view why) const {
    return detail(2, "rows=9 columns=2 format=x", why);
  }

  // The channels datc is given; the program's own console stays empty.
  Channel report_, console_, error_file_;
  std::vector<float> matrix_;
  StampArray stamps_;
};

// Rows "1997-03-0d 12:00:0d" then the values d and -d (d = row number).
std::string stamped_rows(int count, bool stamp_first) {
  std::string out;
  for (int d = 1; d <= count; ++d) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "1997-03-0%d 12:00:0%d", d, d);
    char values[32];
    std::snprintf(values, sizeof values, "%10.3f%10.3f", d * 1.0, -d * 1.0);
    out += stamp_first ? std::string(stamp) + " " + values : std::string(values) + " " + stamp;
    out += "\n";
  }
  return out;
}

TEST_F(DatcTest, StampFirstRowsOneToFive) {
  open(stamped_rows(6, true));
  ASSERT_EQ(read("(a19,1x,2f10.3)", 1, 5, 2), 5);
  EXPECT_EQ(column(0, 5), (std::vector<float>{1, 2, 3, 4, 5}));
  EXPECT_EQ(column(1, 5), (std::vector<float>{-1, -2, -3, -4, -5}));
  EXPECT_EQ(stamp(0), "1997-03-01 12:00:01 ");
  EXPECT_EQ(stamp(4), "1997-03-05 12:00:05 ");
  EXPECT_EQ(report_.text(), "");
}

TEST_F(DatcTest, RowsThreeToFiveBecomeMatrixRowsOneToThree) {
  open(stamped_rows(6, false));
  ASSERT_EQ(read("(2f10.3,1x,a19)", 3, 5, 2), 3);
  EXPECT_EQ(column(0, 3), (std::vector<float>{3, 4, 5}));
  EXPECT_EQ(column(1, 3), (std::vector<float>{-3, -4, -5}));
  EXPECT_EQ(stamp(0), "1997-03-03 12:00:03 ");
  EXPECT_EQ(stamp(2), "1997-03-05 12:00:05 ");
}

TEST_F(DatcTest, PlainRowsLeaveStampsUntouched) {
  open("  1.0  2.0\n  3.0  4.0\n");
  ASSERT_EQ(read("(2f5.1)", 1, 2, 2), 2);
  EXPECT_EQ(column(0, 2), (std::vector<float>{1, 3}));
  EXPECT_EQ(stamp(0), std::string(20, ' '));
}

// Three values with a two-value format: every row takes two lines, and the
// rows before the first are skipped as whole two-line rows.
TEST_F(DatcTest, RowSpanningTwoLinesAndSkippedAsAWhole) {
  open("  1.0  2.0\n  3.0\n  4.0  5.0\n  6.0\n  7.0  8.0\n  9.0\n");
  ASSERT_EQ(read("(2f5.1)", 2, 3, 3), 2);
  EXPECT_EQ(column(0, 2), (std::vector<float>{4, 7}));
  EXPECT_EQ(column(1, 2), (std::vector<float>{5, 8}));
  EXPECT_EQ(column(2, 2), (std::vector<float>{6, 9}));
}

// A file that ends before the last row: the notice names the data row that
// is missing, on the report alone, and datc returns the rows it read.
TEST_F(DatcTest, EndOfFileNoticeNamesTheMissingRow) {
  struct Case {
    const char* name;
    std::string rows;
    const char* format;
    int first, last, columns;
    int read;         // rows datc returns
    int missing_row;  // the row the notice names
  };
  const Case cases[] = {
      {"stamped rows 2 to 8 of 5", stamped_rows(5, true), "(a19,1x,2f10.3)", 2, 8, 2, 4, 6},
      {"inside a row of two lines", "  1.0  2.0\n  3.0\n  4.0  5.0\n", "(2f5.1)", 1, 2, 3, 1, 2},
      {"while skipping rows of two lines", "  1.0  2.0\n  3.0\n  4.0  5.0\n  6.0\n  7.0  8.0\n",
       "(2f5.1)", 4, 5, 3, 0, 3},
      {"no columns: lines consumed, nothing stored", "a\nb\n", "(2f5.1)", 1, 3, -1, 2, 3},
      {"list-directed, blank lines at the end", "1 2\n\n  \n", "*", 1, 3, 2, 1, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    open(c.rows);
    EXPECT_EQ(read(c.format, c.first, c.last, c.columns), c.read);
    EXPECT_EQ(report_.text(),
              " **** eof in read from data file \n i =  " + std::to_string(c.missing_row) + "\n");
    EXPECT_EQ(console_.text(), "");
    EXPECT_EQ(error_file_.text(), "");
  }
}

// The rows read before the end stay in place; the rest of the matrix is
// untouched.
TEST_F(DatcTest, EndOfFileKeepsTheRowsRead) {
  open(stamped_rows(5, true));
  EXPECT_EQ(read("(a19,1x,2f10.3)", 2, 8, 2), 4);
  EXPECT_EQ(column(0, 7), (std::vector<float>{2, 3, 4, 5, -99, -99, -99}));
}

TEST_F(DatcTest, StampFormatErrorOnThreeChannelsThenStop) {
  const std::string misplaced =
      "the stamp descriptor must stand right after \"(\" (stamp first) or after a value field "
      "(stamp last)";
  const std::pair<std::string_view, std::string> cases[] = {
      {"( a19,2f10.3)", misplaced + " at character 3 of the format"},
      {"(2a10,2f10.3)", misplaced + " at character 3 of the format"},
      {"(2F10.3,1X,A19", "no \")\" after the stamp descriptor at character 12 of the format"},
      {"a(2f10.3)", "the stamp descriptor stands before \"(\" at character 1 of the format"},
  };
  for (const auto& [format, why] : cases) {
    SCOPED_TRACE(std::string(format));
    open(stamped_rows(2, true));
    console_.clear_text();
    error_file_.clear_text();
    EXPECT_THROW(read(format, 1, 2, 2), Stop);
    std::string format50(format);
    format50.resize(50, ' ');
    const std::string want = "       /Data & time format is incorrect\n\n" + format50 + "\n";
    EXPECT_EQ(report_.text(), want);
    EXPECT_EQ(error_file_.text(), want + keyword_detail(why));
    EXPECT_EQ(console_.text(), want + keyword_detail(why));
  }
}

// The read-error lines for a status, as every channel gets them.
std::string read_error_lines(int status, std::string_view format) {
  std::string format50(format);
  format50.resize(50, ' ');
  return " ** Error in read of data file  " + std::to_string(status) + "\n Check format " +
         format50 + "\n";
}

// A run stores only the two columns it tests and the stamps it prints; every
// value of a row is still read, so a bad value in a column not kept stops
// the program as before.
TEST_F(DatcTest, KeptColumnsAndStampsOfChosenRows) {
  struct Case {
    const char* name;
    std::string rows;
    std::string_view format;
    char flag;
  };
  const Case cases[] = {
      {"fixed columns, stamp first",
       "1997-03-01 12:00:01   1.0  2.0  3.0\n1997-03-02 12:00:02   4.0  5.0  6.0\n"
       "1997-03-03 12:00:03   7.0  8.0  9.0\n1997-03-04 12:00:04  10.0 11.0 12.0\n",
       "(a19,1x,3f5.1)", 'm'},
      {"list-directed", "1,2,3\n4,5,6\n7,8,9\n10,11,12\n", "*", 'a'},
  };
  // Blocks of a byte, and of a few bytes more than a row, cross the rows
  // kept; two threads share them.
  for (const Case& c : cases) {
    for (const std::size_t block_bytes : {RowBatching{}.bytes, std::size_t{1}, std::size_t{40}}) {
      for (const int threads : {1, 2}) {
        SCOPED_TRACE(std::string(c.name) + ", blocks of " + std::to_string(block_bytes) +
                     " bytes, threads " + std::to_string(threads));
        open(c.rows);
        std::vector<float> kept_values(8, -99.0f);
        StampArray stamps = StampArray::of_rows({0, 3});
        const int kept[] = {3, 1};
        RowBatching batching;
        batching.bytes = block_bytes;
        batching.slice_bytes = 1;
        batching.threads = threads;
        ASSERT_EQ(
            datc(kept_values, stamps, DataFormat::compile(c.format, 3), 1, 4, data_,
                 {report_, console_, error_file_}, kept, batching),
            4);
        EXPECT_EQ(kept_values, (std::vector<float>{3, 6, 9, 12, 1, 4, 7, 10}));
        EXPECT_EQ(stamps.slot(1), nullptr);
        if (c.flag == 'm') {
          EXPECT_EQ(stamps[0], "1997-03-01 12:00:01 ");
          EXPECT_EQ(stamps[3], "1997-03-04 12:00:04 ");
        }
      }
    }
  }

  open("  1.0  2.0  3.0\n  4.0  x.0  6.0\n");
  std::vector<float> kept_values(4);
  StampArray stamps;
  const int kept[] = {1, 3};
  EXPECT_THROW(datc(kept_values, stamps, DataFormat::compile("(3f5.1)", 3), 1, 2, data_,
                    {report_, console_, error_file_}, kept),
               Stop);
  EXPECT_EQ(report_.text(),
            read_error_lines(static_cast<int>(ReadStatus::bad_character), "(3f5.1)"));
}


TEST_F(DatcTest, UppercaseDescriptorsReadTheStampToo) {
  open(stamped_rows(2, false));
  ASSERT_EQ(read("(2F10.3,1X,A19)", 1, 2, 2), 2);
  EXPECT_EQ(column(0, 2), (std::vector<float>{1, 2}));
  EXPECT_EQ(stamp(1), "1997-03-02 12:00:02 ");
}

TEST_F(DatcTest, StampAfterALeadingSkipCountsAsStampLast) {
  open(" " + stamped_rows(2, true));
  EXPECT_THROW(read("(1x,a19,2f10.3)", 1, 2, 2), Stop);
  EXPECT_EQ(report_.text(),
            read_error_lines(static_cast<int>(ReadStatus::text_for_number), "(1x,a19,2f10.3)"));
}

TEST_F(DatcTest, FieldThatCannotBeReadStopsAfterRowsBefore) {
  open("  1.0  2.0\n  3.0  x.0\n");
  EXPECT_THROW(read("(2f5.1)", 1, 2, 2), Stop);
  const std::string want = read_error_lines(static_cast<int>(ReadStatus::bad_character), "(2f5.1)");
  EXPECT_EQ(report_.text(), want);
  // Data row 2 is line 4 of the file.
  EXPECT_EQ(console_.text(), want + detail(4, "  3.0  x.0"));
  EXPECT_EQ(error_file_.text(), want + detail(4, "  3.0  x.0"));
  EXPECT_EQ(matrix_[0], 1.0f);
}

// Rows of several lines are named by their first line, counted in whole rows
// after the skipped ones.
TEST_F(DatcTest, RowSpanningLinesIsNamedByItsFirstLine) {
  open("  1.0  2.0\n  3.0\n  4.0  5.0\n  6.0\n  7.0  8.0\n  x.0\n");
  EXPECT_THROW(read("(2f5.1)", 2, 3, 3), Stop);
  EXPECT_EQ(console_.text(),
            read_error_lines(static_cast<int>(ReadStatus::bad_character), "(2f5.1)") +
                detail(7, "  7.0  8.0"));
}

// A record format that cannot be used fails the first row's read; the detail
// line says what is wrong with it and where.
TEST_F(DatcTest, FormatThatCannotBeUsedFailsTheFirstRow) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"(2f5.1,'x')", "a text in quotes has no meaning when reading at character 8"},
      {"(2f5.1", "unbalanced parentheses at character 1"},
      {"(2f5.1,q5)", "unknown edit descriptor at character 8"},
      {"(sp,2f5.1)", "the sign descriptors S, SS and SP have no meaning when reading at character 2"},
      {"(2f5.1,())", "a group with no descriptor in it at character 8"},
      {"2f5.1", "the record format must begin with \"(\" at character 1"},
  };
  for (const auto& [format, why] : cases) {
    SCOPED_TRACE(std::string(format));
    open("  1.0  2.0\n");
    console_.clear_text();
    error_file_.clear_text();
    EXPECT_THROW(read(format, 2, 2, 2), Stop);
    const std::string want = read_error_lines(static_cast<int>(ReadStatus::unusable_format), format);
    const std::string where = keyword_detail(std::string(why) + " of the format");
    EXPECT_EQ(report_.text(), want);
    EXPECT_EQ(console_.text(), want + where);
    EXPECT_EQ(error_file_.text(), want + where);
  }
}

// Rows without fixed columns ("format=*"): a column-name row in front of the
// data is skipped with the start datum, and a row that cannot be read stops
// with the same messages as a fixed-column row.
TEST_F(DatcTest, ListDirectedRowsFromARangeAfterANameRow) {
  open("x,y\n1.5,-2.5\n3 4\n5,\t6\n");
  ASSERT_EQ(read("*", 2, 4, 2), 3);
  EXPECT_EQ(column(0, 3), (std::vector<float>{1.5f, 3, 5}));
  EXPECT_EQ(column(1, 3), (std::vector<float>{-2.5f, 4, 6}));
  EXPECT_EQ(report_.text(), "");
}

TEST_F(DatcTest, ListDirectedRowThatCannotBeReadStops) {
  struct Case {
    std::string_view rows;
    ReadStatus status;
    std::string_view line4;  // the second row's line
  };
  const Case cases[] = {
      {"1.0,2.0\n3.0,x\n", ReadStatus::bad_character, "3.0,x"},
      {"1.0,2.0\n3.0,,4.0\n", ReadStatus::missing_value, "3.0,,4.0"},
      {"1.0,2.0\n497,\n5,6\n", ReadStatus::missing_value, "497,"},
      {"1.0,2.0\n3.0\n4.0\n", ReadStatus::short_line, "3.0"},
      {"1.0,2.0\n\n3.0,4.0\n", ReadStatus::empty_line, ""},
      {"1.0,2.0\n3.0,NA\n", ReadStatus::bad_character, "3.0,NA"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.rows));
    open(std::string(c.rows));
    EXPECT_THROW(read("*", 1, 2, 2), Stop);
    const std::string want = read_error_lines(static_cast<int>(c.status), "*");
    EXPECT_EQ(report_.text(), want);
    EXPECT_EQ(console_.text(), want + detail(4, c.line4));
    EXPECT_EQ(error_file_.text(), want + detail(4, c.line4));
    EXPECT_EQ(matrix_[0], 1.0f);
    console_.clear_text();
    error_file_.clear_text();
  }
}

}  // namespace
}  // namespace vok
