#include "data/datc.h"

#include <cerrno>
#include <cstring>

#include <algorithm>
#include <cassert>
#include <string>
#include <vector>

#include "input/source_lines.h"
#include "data/row_block.h"
#include "exec/parallel.h"
#include "output/failure.h"

namespace vok {

namespace {

// A stamped format whose stamp stands where it cannot be read: the message on
// the report, the error file and the console, then the detail line naming the
// keyword line and what is wrong.
[[noreturn]] void stamp_format_error(const DataFormat& format, const RowMessages& to,
                                     const SourceLine& keyword_line) {
  static const Layout kMessage = Layout::parse(R"(7X "/Data & time format is incorrect" / / A)");
  ChannelGroup{&to.report, &to.error_file, &to.console}.write(kMessage, {format.text()});
  write_detail({&to.console, &to.error_file}, keyword_line, format.why());
  throw Stop{};
}

// The read-error lines on the report, the console and the error file, then
// the detail line (console and error file) naming the line at fault.
[[noreturn]] void read_error(ReadStatus status, const DataFormat& format, const RowMessages& to,
                             const SourceLine& at, std::string_view why = {}) {
  ChannelGroup{&to.report, &to.console, &to.error_file}.each([&](Channel& ch) {
    ch.write_free({"** Error in read of data file ", static_cast<int>(status)});
    ch.write_free({"Check format", format.text()});
  });
  write_detail({&to.console, &to.error_file}, at, why);
  throw Stop{};
}

// Line number in the file of the first line of data row `row` (1-based),
// rows taking `lines_per_row` lines each after the two header lines.
std::int64_t first_line_of_row(int row, int lines_per_row) {
  return 2 + static_cast<std::int64_t>(row - 1) * lines_per_row + 1;
}

void end_of_file_notice(int row, Channel& report) {
  report.write_free({"**** eof in read from data file "});
  report.write_free({"i = ", row});
}

// The first row that could not be read, and why.
struct RowFailure {
  std::size_t row;  // 0-based in the matrix
  ReadStatus status;
  std::string first_line;  // the row's first line, when it has one
  bool overlong = false;   // a line of it is longer than the line limit
};

// Reads matrix rows 0..rows-1 of a fixed-column format, the data file standing
// at the first line of row 0, block after block. While the rows of one block
// are decoded, the next block is read: one item of the parallel loop reads,
// the others decode slices of the block, so that on two threads reading
// overlaps decoding; the work `done` offers once a block's rows are final runs
// in the next block's loop. Returns the first row in file order that could
// not be read (decode error, or its lines missing), if any.
std::optional<RowFailure> read_rows_in_blocks(const RecordFormat& plan, TextFile& data,
                                              std::span<float> matrix,
                                              std::span<const int> item_columns,
                                              StampArray& stamps, std::size_t rows,
                                              const RowBatching& batching, RowsDone* done) {
  const std::size_t lines_per_row = static_cast<std::size_t>(plan.lines_per_row());
  const bool has_values = plan.values() > 0;
  const bool has_stamp = plan.stamp() != StampPosition::none;

  RowBlock blocks[2];
  std::vector<std::optional<RowFailure>> slice_failures;
  std::size_t start = 0;  // matrix row of the current block's first row
  std::size_t work_items = 0;  // offered by `done` when the block before ended
  const std::size_t last_line_length = plan.last_line_length();
  blocks[0].fill(data, nullptr, lines_per_row, batching.bytes, batching.slice_bytes,
                 last_line_length);
  for (int current = 0;; current ^= 1) {
    const RowBlock& block = blocks[current];
    const std::size_t whole_rows = std::min(block.rows(), rows - start);
    // A block that stopped on a missing line (end of file, or a read that
    // failed) before the last row wanted also decodes the row its lines stop
    // in, possibly with no line at all: that row fails, on its missing line
    // or on a field of a line it has.
    const bool last_row = block.ended() && whole_rows < rows - start;
    const std::size_t next_start = start + whole_rows;
    const bool read_next = !block.ended() && next_start < rows;
    const std::size_t slices = block.slices_before(whole_rows);
    slice_failures.assign(slices + (last_row ? 1 : 0), std::nullopt);

    auto decode_slice = [&](std::size_t slice) {
      std::vector<std::string_view> scratch;
      auto decode = [&](std::size_t r, const RowLines& lines, StampArray::Cursor& stamp_slots) {
        const std::size_t i = start + r;
        const RowDestination to{has_values ? matrix.data() + i : nullptr, rows,
                                has_stamp ? stamp_slots.slot(i) : nullptr, item_columns};
        const ReadStatus s = decode_row(plan, lines, to);
        if (s == ReadStatus::ok) return true;
        slice_failures[slice] =
            RowFailure{i, s,
                       lines.count() > 0 ? std::string(lines.line(0)) : block.overlong_start(),
                       s == ReadStatus::line_read_failed && block.overlong()};
        return false;
      };
      if (slice == slices) {
        StampArray::Cursor stamp_slots = stamps.cursor(next_start);
        decode(whole_rows, block.last_row(scratch), stamp_slots);
        return;
      }
      StampArray::Cursor stamp_slots = stamps.cursor(start + block.first_row(slice));
      block.for_each_row(slice, whole_rows, scratch, [&](std::size_t r, const RowLines& lines) {
        return decode(r, lines, stamp_slots);
      });
    };
    // Items: the read of the next block, the work offered, the slices (the
    // small items last, to even out the threads' ends).
    const std::size_t first_work_item = read_next ? 1 : 0;
    const std::size_t first_slice_item = first_work_item + work_items;
    parallel_for(slice_failures.size() + first_slice_item, [&](std::size_t item, int worker) {
      if (item < first_work_item)
        blocks[current ^ 1].fill(data, &block, lines_per_row, batching.bytes,
                                 batching.slice_bytes, last_line_length);
      else if (item < first_slice_item)
        done->work(item - first_work_item, worker);
      else
        decode_slice(item - first_slice_item);
    }, batching.threads);

    for (std::optional<RowFailure>& failure : slice_failures)
      if (failure) return std::move(failure);
    assert(!last_row);
    if (!read_next) return std::nullopt;
    start = next_start;
    work_items = done ? done->rows_final(start) : 0;
  }
}

}  // namespace

SourceLine data_row_line(TextFile& data, const DataFormat& format, int row) {
  const int lines_per_row = format.lines_per_row();
  SourceLine at{data.path(), first_line_of_row(row, lines_per_row), {}};
  data.rewind();
  for (std::int64_t k = 1; k <= at.number; ++k) {
    if (!data.read_line(at.text)) {
      at.text.clear();
      break;
    }
  }
  return at;
}

int datc(std::span<float> matrix, StampArray& stamps, const DataFormat& format, int first, int last,
         TextFile& data, const RowMessages& to, std::span<const int> kept,
         const RowBatching& batching, RowsDone* done) {
  const std::size_t rows = static_cast<std::size_t>(last - first + 1);
  assert(first >= 1 && last >= first);

  data.rewind();
  std::string title;
  std::string keywords;
  if (!data.read_line(title) || !data.read_line(keywords)) {
    end_of_file_notice(1, to.report);
    return 0;
  }
  // Messages about the record format point at the keyword line.
  const SourceLine keyword_line{data.path(), 2, keywords};

  switch (format.fault()) {
    case DataFormat::Fault::stamp:
      stamp_format_error(format, to, keyword_line);
    case DataFormat::Fault::unusable:
      // A format that cannot be used fails the read of the first row.
      read_error(ReadStatus::unusable_format, format, to, keyword_line, format.why());
    case DataFormat::Fault::none:
      break;
  }
  const RecordFormat& plan = format.plan();
  const int values = plan.values();
  assert(matrix.size() >= rows * (kept.empty() ? static_cast<std::size_t>(values) : kept.size()));
  // The column of the matrix each value of a row goes to (-1: not stored).
  std::vector<int> item_columns;
  if (!kept.empty()) {
    item_columns.assign(static_cast<std::size_t>(values), -1);
    for (std::size_t c = 0; c < kept.size(); ++c) {
      assert(kept[c] >= 1 && kept[c] <= values);
      item_columns[static_cast<std::size_t>(kept[c] - 1)] = static_cast<int>(c);
    }
  }

  const int lines_per_row = format.lines_per_row();
  // The detail line of a row that cannot be read: its first line.
  auto row_line = [&](int row, std::string text) {
    return SourceLine{data.path(), first_line_of_row(row, lines_per_row), std::move(text)};
  };

  RecordReader reader(plan, data);
  // A line that could not be read: the system's reason, or that it is too long.
  const std::string overlong = "a line longer than " + std::to_string(data.line_limit()) + " bytes";
  auto why = [&](ReadStatus s) -> std::string {
    if (s != ReadStatus::line_read_failed || data.error() == 0) return {};
    return data.error() == EFBIG ? overlong : std::strerror(data.error());
  };
  auto row_text = [&] {
    return data.error() == EFBIG ? data.overlong_start() : reader.last_line();
  };
  // A list-directed file's last line without its line end: where the file
  // ends, told with the line.
  auto cut_line_notice = [&](int row) {
    end_of_file_notice(row, to.report);
    write_detail({&to.console, &to.error_file}, SourceLine{data.path(), 2 + row, reader.last_line()},
                 describe(ReadStatus::cut_line));
  };
  for (int row = 1; row < first; ++row) {
    ReadStatus s = reader.skip_row();
    if (s == ReadStatus::end_of_file || s == ReadStatus::cut_line) {
      if (s == ReadStatus::cut_line) cut_line_notice(row);
      else end_of_file_notice(row, to.report);
      return 0;
    }
    if (s != ReadStatus::ok) read_error(s, format, to, row_line(row, row_text()), why(s));
  }
  if (plan.list_directed()) {
    // One line to a row, read and decoded row after row.
    for (int row = first; row <= last; ++row) {
      const std::size_t i = static_cast<std::size_t>(row - first);
      RowDestination destination{values == 0 ? nullptr : matrix.data() + i, rows, nullptr,
                                 item_columns};
      ReadStatus s = reader.read_row(destination);
      if (s == ReadStatus::end_of_file || s == ReadStatus::cut_line) {
        if (s == ReadStatus::cut_line) cut_line_notice(row);
        else end_of_file_notice(row, to.report);
        return row - first;
      }
      if (s != ReadStatus::ok) read_error(s, format, to, row_line(row, row_text()), why(s));
    }
    return last - first + 1;
  }
  if (std::optional<RowFailure> failure =
          read_rows_in_blocks(plan, data, matrix, item_columns, stamps, rows, batching, done)) {
    const int row = first + static_cast<int>(failure->row);
    if (failure->status == ReadStatus::end_of_file) {
      end_of_file_notice(row, to.report);
      return row - first;
    }
    read_error(failure->status, format, to, row_line(row, std::move(failure->first_line)),
               failure->overlong ? overlong : why(failure->status));
  }
  return last - first + 1;
}

}  // namespace vok
