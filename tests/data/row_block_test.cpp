// Rows of a data file read block by block.
#include "data/row_block.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>

#include "data/record_reader.h"
#include "data/temp_text_file.h"

namespace vok {
namespace {

using Lines = std::vector<std::string>;

// The rows of a block: each row's lines, slice after slice, then the lines
// of the last row when the block ended.
struct BlockRows {
  std::vector<Lines> rows;
  std::vector<std::size_t> slice_first_rows;
  Lines last_row;
  bool ended = false;
};

BlockRows rows_of(const RowBlock& block) {
  BlockRows out;
  out.ended = block.ended();
  std::vector<std::string_view> scratch;
  const std::size_t slices = block.slices_before(block.rows());
  for (std::size_t s = 0; s < slices; ++s) {
    out.slice_first_rows.push_back(block.first_row(s));
    block.for_each_row(s, block.rows(), scratch, [&](std::size_t r, const RowLines& lines) {
      EXPECT_EQ(r, out.rows.size());
      out.rows.emplace_back(lines.lines.begin(), lines.lines.end());
      return true;
    });
  }
  if (block.ended()) {
    const RowLines last = block.last_row(scratch);
    out.last_row.assign(last.lines.begin(), last.lines.end());
  }
  return out;
}

// What a block read from a file holds, for blocks of several sizes: rows of
// one and two lines, cut wherever a block ends (in a line, between the CR
// and the LF, between the lines of a row); CRs before LFs dropped, a last
// line without a line end kept.
TEST(RowBlock, RowsWholeAcrossBlockEnds) {
  struct Case {
    const char* name;
    std::string text;
    std::size_t lines_per_row;
    std::size_t bytes;
    std::vector<std::vector<Lines>> blocks;  // the whole rows of each block
    Lines last_row;                          // of the block that ended
  };
  const Case cases[] = {
      {"block ends mid-line", "aaa\nbbb\nccc\n", 1, 6, {{{"aaa"}}, {{"bbb"}, {"ccc"}}, {}}, {}},
      {"block of whole rows", "aaa\nbbb\nccc\n", 1, 8, {{{"aaa"}, {"bbb"}}, {{"ccc"}}}, {}},
      // The first block ends in "bbb\r": that row goes on in the second.
      {"block ends between CR and LF", "a\r\nbbb\r\nc\r\n", 1, 7, {{{"a"}}, {{"bbb"}, {"c"}}}, {}},
      {"last line without a line end", "aa\r\nbb", 1, 4, {{{"aa"}}, {{"bb"}}}, {}},
      {"last line a lone CR", "aa\n\r", 1, 64, {{{"aa"}, {""}}}, {}},
      {"rows of two lines cut between their lines",
       "s1\nv1\ns2\nv2\ns3\n",
       2,
       7,
       {{{"s1", "v1"}}, {{"s2", "v2"}}, {}},
       {"s3"}},
      // A block too small for a row reads on until the row is whole.
      {"a row longer than a block",
       "s1\nv1\ns2\nv2\n",
       2,
       2,
       {{{"s1", "v1"}}, {{"s2", "v2"}}, {}},
       {}},
      {"empty lines are lines", "\n\n\n", 2, 64, {{{"", ""}}}, {""}},
      {"empty file", "", 1, 64, {{}}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempTextFile file(c.text);
    TextFile text;
    ASSERT_EQ(text.open(file.path()), 0);
    RowBlock blocks[2];
    BlockRows got;
    for (std::size_t b = 0; b < c.blocks.size(); ++b) {
      SCOPED_TRACE("block " + std::to_string(b));
      blocks[b % 2].fill(text, b == 0 ? nullptr : &blocks[(b + 1) % 2], c.lines_per_row, c.bytes,
                         1);
      got = rows_of(blocks[b % 2]);
      EXPECT_EQ(got.rows, c.blocks[b]);
      EXPECT_EQ(got.ended, b + 1 == c.blocks.size());
    }
    EXPECT_EQ(got.last_row, c.last_row);
  }
}

// Slices start at rows, never inside a row of several lines, and number
// their rows from the block's first.
TEST(RowBlock, SlicesStartAtRows) {
  std::string text;
  for (int r = 0; r < 40; ++r) text += "stamp " + std::to_string(r) + "\r\nvalues\n";
  testing::TempTextFile file(text);
  TextFile data;
  ASSERT_EQ(data.open(file.path()), 0);
  RowBlock block;
  block.fill(data, nullptr, 2, 1 << 16, 50);
  const BlockRows got = rows_of(block);
  ASSERT_EQ(got.rows.size(), 40u);
  for (std::size_t r = 0; r < 40; ++r)
    EXPECT_EQ(got.rows[r], (Lines{"stamp " + std::to_string(r), "values"}));
  EXPECT_GT(got.slice_first_rows.size(), 10u);
  EXPECT_TRUE(std::is_sorted(got.slice_first_rows.begin(), got.slice_first_rows.end()));
  // Rows before a limit: the slices after it are not counted.
  EXPECT_EQ(block.slices_before(1), 1u);
  EXPECT_EQ(block.slices_before(0), 0u);
}

// Blocks are read after the header lines: the bytes go on where the lines
// stopped, and a read at the end of the file gives what is left.
TEST(TextFile, BytesGoOnWhereTheLinesStopped) {
  testing::TempTextFile file("title\r\nrest of the file\nend");
  TextFile text;
  ASSERT_EQ(text.open(file.path()), 0);
  EXPECT_EQ(text.bytes_left(), 27u);
  std::string line;
  ASSERT_TRUE(text.read_line(line));
  EXPECT_EQ(line, "title");
  // The line's buffer read ahead: what is left counts from the line's end.
  EXPECT_EQ(text.bytes_left(), 20u);
  char bytes[64];
  ASSERT_EQ(text.read_bytes(bytes, 5), 5u);
  EXPECT_EQ(std::string_view(bytes, 5), "rest ");
  EXPECT_EQ(text.bytes_left(), 15u);
  ASSERT_EQ(text.read_bytes(bytes, sizeof bytes), 15u);
  EXPECT_EQ(std::string_view(bytes, 15), "of the file\nend");
  EXPECT_EQ(text.bytes_left(), 0u);
  EXPECT_EQ(text.read_bytes(bytes, sizeof bytes), 0u);
  EXPECT_EQ(text.error(), 0);
  text.rewind();
  ASSERT_EQ(text.read_bytes(bytes, 7), 7u);
  EXPECT_EQ(std::string_view(bytes, 7), "title\r\n");
}

// A block takes room for what the file has left, not for a whole block: the
// last block of a file, or the only one of a short file, is small. What is
// left is taken anew for each block: rows added to the file meanwhile are
// read.
TEST(RowBlock, RoomForWhatTheFileHasLeft) {
  std::string rows;
  for (int i = 0; i < 750; ++i) rows += "row\n";
  testing::TempTextFile file(rows);
  {
    TextFile text;
    ASSERT_EQ(text.open(file.path()), 0);
    RowBlock only;
    only.fill(text, nullptr, 1, std::size_t{1} << 20, 1 << 16);
    EXPECT_EQ(only.rows(), 750u);
    EXPECT_TRUE(only.ended());
    EXPECT_LT(only.room(), std::size_t{1} << 16);
  }
  TextFile text;
  ASSERT_EQ(text.open(file.path()), 0);
  RowBlock block[2];
  block[0].fill(text, nullptr, 1, 2000, 1 << 16);
  EXPECT_EQ(block[0].rows(), 500u);
  EXPECT_FALSE(block[0].ended());
  std::ofstream(file.path(), std::ios::app) << "new\nrows\n";
  block[1].fill(text, &block[0], 1, std::size_t{1} << 20, 1 << 16);
  EXPECT_EQ(block[1].rows(), 252u);
  EXPECT_EQ(rows_of(block[1]).rows.back(), (Lines{"rows"}));
  EXPECT_TRUE(block[1].ended());
  EXPECT_LT(block[1].room(), std::size_t{1} << 16);
}

TEST(CountLineEnds, AnyLengthAndPlace) {
  std::string text(1000, 'x');
  for (std::size_t at = 0; at < text.size(); at += 7) text[at] = '\n';
  for (std::size_t from : {0u, 1u, 15u, 16u})
    for (std::size_t size : {0u, 1u, 15u, 16u, 17u, 400u, 999u - 16u})
      EXPECT_EQ(count_line_ends(text.data() + from, size),
                static_cast<std::size_t>(std::count(text.begin() + static_cast<long>(from),
                                                    text.begin() + static_cast<long>(from + size),
                                                    '\n')));
  // More than 255 rounds of 16 bytes, every byte a line end.
  const std::string ends(16 * 300 + 5, '\n');
  EXPECT_EQ(count_line_ends(ends.data(), ends.size()), ends.size());
}

// A line longer than the file's limit is a read error at that line, both
// line by line and block by block, and the memory held stays near the limit.
TEST(TextFile, ALineLongerThanTheLimitIsAReadErrorNotAnAllocation) {
  const std::string long_line = "1234567890" + std::string(400, 'x');
  testing::TempTextFile file("short\n" + long_line + "\nafter\n");

  TextFile text;
  ASSERT_EQ(text.open(file.path()), 0);
  text.set_line_limit(300);
  std::string line;
  ASSERT_TRUE(text.read_line(line));
  EXPECT_FALSE(text.read_line(line));
  EXPECT_EQ(text.error(), EFBIG);
  EXPECT_EQ(text.overlong_start(), long_line.substr(0, 80));

  TextFile blocks;
  ASSERT_EQ(blocks.open(file.path()), 0);
  blocks.set_line_limit(300);
  RowBlock block[2];
  block[0].fill(blocks, nullptr, 1, 64, 1 << 16);
  EXPECT_EQ(rows_of(block[0]).rows, (std::vector<Lines>{{"short"}}));
  block[1].fill(blocks, &block[0], 1, 64, 1 << 16);
  EXPECT_TRUE(block[1].ended());
  EXPECT_TRUE(block[1].overlong());
  EXPECT_EQ(block[1].missing(), ReadStatus::line_read_failed);
  EXPECT_EQ(block[1].rows(), 0u);
  EXPECT_EQ(block[1].overlong_start(), long_line.substr(0, 80));

  // Under the limit the same line is a line.
  TextFile roomy;
  ASSERT_EQ(roomy.open(file.path()), 0);
  roomy.set_line_limit(long_line.size());
  RowBlock whole;
  whole.fill(roomy, nullptr, 1, 1 << 16, 1 << 16);
  EXPECT_FALSE(whole.overlong());
  EXPECT_EQ(rows_of(whole).rows.size(), 3u);
}

}  // namespace
}  // namespace vok
