// Data rows read in blocks and decoded on several threads: for any thread
// count, block size and slice size, datc gives the values, stamps, row count and messages
// of reading row after row, and the first row in file order that cannot be
// read decides what is written.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>

#include "data/datc.h"
#include "data/temp_text_file.h"
#include "output/failure.h"
#include "exec/parallel.h"

namespace vok {
namespace {

// Row d (1-based) of the generated files: stamp "1997-03-01 hh:mm:ss" with d
// seconds, values 1.5 d, -d and 100 d + 0.25.
std::string row_stamp(int d) {
  char text[32];
  std::snprintf(text, sizeof text, "1997-03-01 %02d:%02d:%02d", d / 3600, d / 60 % 60, d % 60);
  return text;
}
float row_value(int d, int j) {
  const float values[] = {1.5f * static_cast<float>(d), -static_cast<float>(d),
                          100.0f * static_cast<float>(d) + 0.25f};
  return values[j];
}
std::string value_text(int d, int j) {
  char text[16];
  std::snprintf(text, sizeof text, "%12.4f", static_cast<double>(row_value(d, j)));
  return text;
}
std::string row_values(int d) {
  return value_text(d, 0) + value_text(d, 1) + value_text(d, 2);
}

// The rows of a data file as lines, with some lines replaced or cut off.
enum class Shape {
  stamp_first,  // (a19,1x,3f12.4): one line a row
  stamp_last,   // (3f12.4,1x,a19)
  two_lines,    // (a19/3f12.4): stamp line, then values line
  split,        // (a19,1x,f12.4/2f12.4): stamp and a value, then two values
};

struct Rows {
  Rows(Shape shape_, int count_) : shape(shape_), count(count_) {}

  Shape shape;
  int count;                           // rows written
  std::map<int, std::string> replace;  // 0-based line number -> its text
  int drop_last_lines = 0;             // lines cut off the end
  bool crlf = false;
  bool final_line_end = true;

  Rows with_line(int at, std::string line) const {
    Rows r = *this;
    r.replace[at] = std::move(line);
    return r;
  }
  Rows without_last_line() const {
    Rows r = *this;
    ++r.drop_last_lines;
    return r;
  }
  Rows with_crlf() const {
    Rows r = *this;
    r.crlf = true;
    return r;
  }
  Rows without_final_line_end() const {
    Rows r = *this;
    r.final_line_end = false;
    return r;
  }

  std::string text() const {
    std::vector<std::string> lines;
    for (int d = 1; d <= count; ++d) {
      switch (shape) {
        case Shape::stamp_first:
          lines.push_back(row_stamp(d) + " " + row_values(d));
          break;
        case Shape::stamp_last:
          lines.push_back(row_values(d) + " " + row_stamp(d));
          break;
        case Shape::two_lines:
          lines.push_back(row_stamp(d));
          lines.push_back(row_values(d));
          break;
        case Shape::split:
          lines.push_back(row_stamp(d) + " " + value_text(d, 0));
          lines.push_back(value_text(d, 1) + value_text(d, 2));
          break;
      }
    }
    for (const auto& [at, line] : replace) lines[static_cast<std::size_t>(at)] = line;
    lines.resize(lines.size() - static_cast<std::size_t>(drop_last_lines));
    std::string out;
    for (std::size_t k = 0; k < lines.size(); ++k) {
      out += lines[k];
      if (k + 1 < lines.size() || final_line_end) out += crlf ? "\r\n" : "\n";
    }
    return out;
  }
};

std::string_view format_of(Shape shape) {
  switch (shape) {
    case Shape::stamp_first:
      return "(a19,1x,3f12.4)";
    case Shape::stamp_last:
      return "(3f12.4,1x,a19)";
    case Shape::two_lines:
      return "(a19/3f12.4)";
    case Shape::split:
      return "(a19,1x,f12.4/2f12.4)";
  }
  return "";
}

int lines_per_row(Shape shape) {
  return shape == Shape::two_lines || shape == Shape::split ? 2 : 1;
}

// The detail line naming the first line of data row `d`, the file's name
// shown as <file>.
std::string row_detail(const Rows& rows, int d) {
  const int line = (d - 1) * lines_per_row(rows.shape);  // 0-based among the rows' lines
  const std::string text = rows.text();
  std::size_t begin = 0;
  for (int k = 0; k < line; ++k) begin = text.find('\n', begin) + 1;
  std::string first = text.substr(begin, text.find('\n', begin) - begin);
  if (first.ends_with('\r')) first.pop_back();
  return " at <file> line " + std::to_string(line + 3) + ": \"" + first + "\"\n";
}

// The temporary file's name replaced by <file>.
std::string with_file_masked(std::string text, const std::string& path) {
  for (std::size_t at; (at = text.find(path)) != std::string::npos;)
    text.replace(at, path.size(), "<file>");
  return text;
}

std::string eof_notice(int row) {
  return " **** eof in read from data file \n i =  " + std::to_string(row) + "\n";
}
std::string read_error_lines(ReadStatus status, std::string_view format) {
  std::string format50(format);
  format50.resize(50, ' ');
  return " ** Error in read of data file  " + std::to_string(static_cast<int>(status)) +
         "\n Check format " + format50 + "\n";
}

// What one datc call left behind. On a stop only the rows up to the one that
// stopped it are kept: later rows of its block may have been decoded.
struct Outcome {
  int returned = -1;  // -1: the program stopped
  std::vector<std::uint32_t> matrix_bits;
  std::string stamps;
  std::string report, console, error_file;

  bool operator==(const Outcome&) const = default;
};

// What a case must give: all its rows, the rows before an end-of-file notice,
// or a stop on a data row (1-based, as in the file) with a status.
struct Want {
  int rows_read = -1;  // -1: all of first..last
  int stop_row = 0;    // 0: no stop
  ReadStatus status = ReadStatus::ok;
};
Want all_rows() {
  return {};
}
Want end_of_file_after(int rows_read) {
  return {rows_read};
}
Want stop_on(int data_row, ReadStatus status) {
  return {0, data_row, status};
}

struct Case {
  const char* name;
  Rows rows;
  int first, last;
  std::size_t block_rows;  // rows to a block, in the blocks of a whole number of rows
  Want want;
};

// Work offered as rows become final, one item for each row newly final,
// which checks when it runs (next to the decoding of the next block) that
// the row's values and stamp are stored.
class FinalRowChecks : public RowsDone {
 public:
  FinalRowChecks(const std::vector<float>& matrix, const StampArray& stamps, int first)
      : matrix_(matrix), stamps_(stamps), first_row_(first), n_(matrix.size() / 3),
        ran_(n_, 0), stored_(n_, 0) {}

  std::size_t rows_final(std::size_t rows) override {
    EXPECT_GT(rows, final_) << "rows said final again";
    EXPECT_LE(rows, n_);
    offered_from_ = final_;
    final_ = rows;
    return rows - offered_from_;
  }
  void work(std::size_t item, int) override {
    const std::size_t i = offered_from_ + item;
    const int d = first_row_ + static_cast<int>(i);
    bool stored = stamps_[i] == row_stamp(d) + " ";
    for (std::size_t j = 0; j < 3; ++j)
      stored = stored && matrix_[j * n_ + i] == row_value(d, static_cast<int>(j));
    stored_[i] = stored ? 1 : 0;
    ++ran_[i];
  }

  // After datc: every row said final was worked on once and was stored,
  // and none at or after `rows_read` (the rows read in full) was said final.
  void expect_sound(std::size_t rows_read) const {
    EXPECT_LE(final_, rows_read);
    for (std::size_t i = 0; i < final_; ++i) {
      EXPECT_EQ(ran_[i], 1) << "row " << first_row_ + static_cast<int>(i);
      EXPECT_EQ(stored_[i], 1) << "row " << first_row_ + static_cast<int>(i);
    }
  }
  std::size_t rows_said_final() const { return final_; }

 private:
  const std::vector<float>& matrix_;
  const StampArray& stamps_;
  int first_row_;
  std::size_t n_;
  std::size_t final_ = 0;
  std::size_t offered_from_ = 0;
  std::vector<int> ran_;
  std::vector<char> stored_;
};

class DatcBlocks : public ::testing::Test {
 protected:
  void SetUp() override { cap_.all().error_file.capture(); }
  Outcome run(const Case& c, int threads, RowBatching batching) {
    const std::string_view format = format_of(c.rows.shape);
    testing::TempTextFile file("title\nrows=9 columns=3 format=x\n" + c.rows.text());
    TextFile data;
    EXPECT_EQ(data.open(file.path()), 0);
    Channel report;
    report.capture();
    cap_.all().console.clear_text();
    cap_.all().error_file.clear_text();
    const std::size_t n = static_cast<std::size_t>(c.last - c.first + 1);
    std::vector<float> matrix(3 * n, -99.0f);
    StampArray stamps(n);
    batching.threads = threads;
    FinalRowChecks final_rows(matrix, stamps, c.first);
    Outcome out;
    try {
      out.returned = datc(matrix, stamps, DataFormat::compile(format, 3), c.first, c.last, data,
                          {report, cap_.all().console, cap_.all().error_file}, {},
                          batching, &final_rows);
    } catch (const Stop&) {
      out.returned = -1;
    }
    const std::size_t kept =
        out.returned >= 0 ? n : static_cast<std::size_t>(c.want.stop_row - c.first + 1);
    // A row that stops the program is never said final, nor any after it.
    final_rows.expect_sound(out.returned >= 0 ? static_cast<std::size_t>(out.returned) : kept - 1);
    rows_said_final_ = std::max(rows_said_final_, final_rows.rows_said_final());
    for (std::size_t j = 0; j < 3; ++j)
      for (std::size_t i = 0; i < kept; ++i)
        out.matrix_bits.push_back(std::bit_cast<std::uint32_t>(matrix[j * n + i]));
    for (std::size_t i = 0; i < kept; ++i) out.stamps += stamps[i];
    out.report = report.text();
    out.console = with_file_masked(cap_.all().console.text(), file.path());
    out.error_file = with_file_masked(cap_.all().error_file.text(), file.path());
    return out;
  }

  // Runs the case on one thread with the default blocks and checks that
  // against what the case wants, then compares with it every thread count
  // for each of `batchings`.
  void check(const Case& c, const std::vector<RowBatching>& batchings) {
    SCOPED_TRACE(c.name);
    const int n = c.last - c.first + 1;
    const bool stops = c.want.stop_row > 0;
    const int rows_read = c.want.rows_read < 0 ? n : c.want.rows_read;
    std::string report;
    if (stops)
      report = read_error_lines(c.want.status, format_of(c.rows.shape));
    else if (rows_read < n)
      report = eof_notice(c.first + rows_read);

    const Outcome want = run(c, 1, RowBatching{});
    ASSERT_EQ(want.returned, stops ? -1 : rows_read);
    EXPECT_EQ(want.report, report);
    // The console and the error file also get the detail line of the row.
    const std::string detail = stops ? row_detail(c.rows, c.want.stop_row) : "";
    EXPECT_EQ(want.console, stops ? report + detail : "");
    EXPECT_EQ(want.error_file, stops ? report + detail : "");
    // Rows read in full hold the values and stamps of their data rows; rows
    // after them that the file has no line for are untouched.
    const std::size_t kept = want.stamps.size() / StampArray::kWidth;
    const int full = stops ? c.want.stop_row - c.first : rows_read;
    auto value = [&](int j, int i) {
      return std::bit_cast<float>(
          want.matrix_bits[static_cast<std::size_t>(j) * kept + static_cast<std::size_t>(i)]);
    };
    for (int i = 0; i < full; ++i) {
      const int d = c.first + i;
      EXPECT_EQ(want.stamps.substr(static_cast<std::size_t>(i) * 20, 20), row_stamp(d) + " ");
      for (int j = 0; j < 3; ++j) EXPECT_EQ(value(j, i), row_value(d, j)) << "row " << d;
    }
    if (!stops && rows_read + 1 < n) {
      EXPECT_EQ(value(0, n - 1), -99.0f);
    }

    for (const RowBatching& batching : batchings) {
      for (int threads : {1, 2, 3}) {
        SCOPED_TRACE("blocks of " + std::to_string(batching.bytes) + " bytes, slices of " +
                     std::to_string(batching.slice_bytes) + " bytes, threads " +
                     std::to_string(threads));
        EXPECT_EQ(run(c, threads, batching), want);
      }
    }
  }

  CapturedChannels cap_;
  std::size_t rows_said_final_ = 0;  // the most in any run
};

// Blocks and slices that cut a case's rows everywhere: every row a slice of
// its own (slices of a byte), blocks of a whole number of rows (`block_rows` rows
// of the clean file), blocks that end in the middle of a line, between the
// lines of a row, and between the CR and the LF of a line (two rows less a
// byte), blocks of a byte (each block read a byte at a time up to its first
// whole row), and the default blocks and slices.
std::vector<RowBatching> edge_batchings(const Case& c) {
  Rows clean = c.rows;
  clean.replace.clear();
  clean.drop_last_lines = 0;
  clean.final_line_end = true;
  const std::size_t row_bytes = clean.text().size() / static_cast<std::size_t>(clean.count);
  std::vector<RowBatching> out;
  for (std::size_t bytes : {c.block_rows * row_bytes, c.block_rows * row_bytes + 7, 2 * row_bytes - 1,
                            row_bytes / 2 + 3, std::size_t{1}})
    out.push_back({.bytes = bytes, .slice_bytes = 1});
  out.push_back({.bytes = 3 * row_bytes, .slice_bytes = row_bytes + 1});
  // Blocks of four rows in two slices of two.
  out.push_back({.bytes = 4 * row_bytes, .slice_bytes = 2 * row_bytes});
  out.push_back({});
  return out;
}

TEST_F(DatcBlocks, SameOutcomeForAnyThreadCountAndBlockSize) {
  const Rows one_line{Shape::stamp_first, 12};
  const Rows stamp_last{Shape::stamp_last, 9};
  const Rows two_lines{Shape::two_lines, 9};
  const Rows split{Shape::split, 3};
  const Case cases[] = {
      {"clean rows over three blocks and a part", one_line, 1, 11, 4, all_rows()},
      {"rows before the first skipped", one_line, 3, 12, 4, all_rows()},
      {"stamp last", stamp_last, 1, 9, 4, all_rows()},
      {"file ends at a block boundary", one_line, 1, 12, 4, all_rows()},
      {"file ends just before a new block", one_line, 1, 13, 4, end_of_file_after(12)},
      {"file ends inside a block", one_line, 1, 15, 5, end_of_file_after(12)},
      {"bad field in the last row of a block", one_line.with_line(3, row_stamp(4) + "        x.25"),
       1, 10, 4, stop_on(4, ReadStatus::bad_character)},
      {"bad field in the first row of a block", one_line.with_line(4, row_stamp(5) + " 1.5E"), 1,
       10, 4, stop_on(5, ReadStatus::no_digits)},
      // The earlier row has the larger status number: file order decides.
      {"two bad rows in one block",
       one_line.with_line(5, row_stamp(6) + " 1.5E").with_line(6, row_stamp(7) + " x"), 1, 12, 8,
       stop_on(6, ReadStatus::no_digits)},
      // Lines of the usual length: in blocks of four rows, row 6 is the last
      // of a slice and row 7 the first of the next, which may fail first.
      {"bad row last in a slice, another first in the next",
       one_line.with_line(5, row_stamp(6) + "      1.5000E" + value_text(6, 1) + value_text(6, 2))
           .with_line(6, row_stamp(7) + "       x.0000" + value_text(7, 1) + value_text(7, 2)),
       1, 12, 4, stop_on(6, ReadStatus::no_digits)},
      {"bad row before the end of the file", one_line.with_line(5, row_stamp(6) + " x"), 1, 20, 8,
       stop_on(6, ReadStatus::bad_character)},
      {"two-line rows", two_lines, 1, 9, 4, all_rows()},
      // The values line of the last row is missing; its stamp line was read,
      // so its stamp is stored (compared across thread counts).
      {"file ends between the lines of a row", Rows{Shape::two_lines, 6}.without_last_line(), 1, 9,
       4, end_of_file_after(5)},
      {"file ends between the lines of the first row of a block",
       Rows{Shape::two_lines, 5}.without_last_line(), 1, 9, 4, end_of_file_after(4)},
      {"file ends between the lines of a row after skipped rows", two_lines.without_last_line(), 3,
       9, 2, end_of_file_after(6)},
      // Row 3's values line cannot be read, row 4's is missing: row 3 decides.
      {"bad values line, then the file ends inside the next row",
       Rows{Shape::two_lines, 4}.with_line(5, "         x.0").without_last_line(), 1, 6, 4,
       stop_on(3, ReadStatus::bad_character)},
      // Row 3's first line cannot be read and its second line is missing: the
      // first line is decoded before the second is looked for.
      {"bad first line of a row whose second line is missing",
       split.with_line(4, row_stamp(3) + " x").without_last_line(), 1, 5, 4,
       stop_on(3, ReadStatus::bad_character)},
      {"file ends between the lines of a row with a value on each", split.without_last_line(), 1, 5,
       4, end_of_file_after(2)},
      {"CRLF lines, stamp last", stamp_last.with_crlf(), 1, 9, 4, all_rows()},
      {"last line without a line end", stamp_last.without_final_line_end(), 1, 9, 4, all_rows()},
      {"CRLF, last two-line row without a line end", two_lines.with_crlf().without_final_line_end(),
       1, 9, 4, all_rows()},
  };
  for (const Case& c : cases) check(c, edge_batchings(c));
  // Small blocks said their rows final before the reading ended.
  EXPECT_GT(rows_said_final_, 0u);
}

// Files larger than one default block.
TEST_F(DatcBlocks, DefaultBlocksOverSeveralBlocks) {
  const std::size_t block_rows = RowBatching{}.bytes / Rows{Shape::stamp_first, 1}.text().size();
  const int count = static_cast<int>(2 * block_rows + 3);
  const int bad = static_cast<int>(block_rows) + 2;  // second row of the second block
  const Case cases[] = {
      {"clean", Rows{Shape::stamp_first, count}, 1, count + 1, block_rows, end_of_file_after(count)},
      {"bad row", Rows{Shape::stamp_first, count}.with_line(bad - 1, row_stamp(bad) + " x"), 1,
       count, block_rows, stop_on(bad, ReadStatus::bad_character)},
  };
  for (const Case& c : cases) check(c, {{}});
}

}  // namespace
}  // namespace vok
