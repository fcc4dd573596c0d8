// Lines of data rows read ahead into one block.
#include "data/row_batch.h"

#include <gtest/gtest.h>

#include "data/record_reader.h"
#include "data/temp_text_file.h"

namespace vok {
namespace {

std::vector<std::string> lines_of(const RowLines& row) {
  std::vector<std::string> out;
  for (std::size_t k = 0; k < row.count(); ++k) out.emplace_back(row.line(k));
  return out;
}

// Each fill starts where the last one stopped and holds only its own lines;
// line ends are LF or CRLF and the last line may have none.
TEST(LineBatch, FillsInTurnAndCutsRowsAtTheLinesHeld) {
  testing::TempTextFile file("a\r\n\nbb\r\nccc\ndddd");
  TextFile text;
  ASSERT_EQ(text.open(file.path()), 0);
  LineBatch batch;
  ASSERT_EQ(batch.fill(text, 2, 1), 2u);
  EXPECT_FALSE(batch.ended());
  EXPECT_EQ(lines_of(batch.row(0, 2)), (std::vector<std::string>{"a", ""}));

  ASSERT_EQ(batch.fill(text, 1, 2), 2u);
  EXPECT_EQ(lines_of(batch.row(0, 2)), (std::vector<std::string>{"bb", "ccc"}));

  ASSERT_EQ(batch.fill(text, 2, 2), 1u);
  EXPECT_TRUE(batch.ended());
  const RowLines first = batch.row(0, 2);
  EXPECT_EQ(lines_of(first), (std::vector<std::string>{"dddd"}));
  EXPECT_EQ(first.missing, ReadStatus::end_of_file);
  EXPECT_EQ(batch.row(2, 2).count(), 0u);

  EXPECT_EQ(batch.fill(text, 1, 1), 0u);
  EXPECT_TRUE(batch.ended());
  EXPECT_EQ(batch.row(0, 1).count(), 0u);
}

// A memory budget ends a batch after the row that reaches it; a row is never
// cut, even when it alone takes more.
TEST(LineBatch, MemoryBudgetEndsABatchBetweenRows) {
  const std::string line(100, 'x');
  testing::TempTextFile file(line + "\n" + line + "\n" + line + "\n" + line + "\n");
  TextFile text;
  ASSERT_EQ(text.open(file.path()), 0);
  LineBatch batch;
  EXPECT_EQ(batch.fill(text, 9, 2, 150), 2u);  // the first row takes 200 bytes and more
  EXPECT_EQ(batch.fill(text, 9, 1, 150), 2u);  // the second line reaches the budget
  EXPECT_FALSE(batch.ended());
}

}  // namespace
}  // namespace vok
