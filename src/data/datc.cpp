#include "data/datc.h"

#include <algorithm>
#include <cassert>
#include <string>
#include <vector>

#include "data/row_batch.h"
#include "exec/parallel.h"
#include "output/failure.h"

namespace vok {

namespace {

constexpr std::size_t kFormatWidth = 50;

// The format as the messages show it: its 50 characters.
std::string format_text(std::string_view format) {
  std::string text(format.substr(0, kFormatWidth));
  text.resize(kFormatWidth, ' ');
  return text;
}

[[noreturn]] void stamp_format_error(std::string_view format, Channel& report) {
  static const Layout kMessage = Layout::parse(R"(7X "/Data & time format is incorrect" / / A)");
  const std::string text = format_text(format);
  for (Channel* ch : {&report, &channels().error_file, &channels().console})
    ch->write(kMessage, {text});
  throw Stop{};
}

[[noreturn]] void read_error(int status, std::string_view format, Channel& report) {
  const std::string text = format_text(format);
  for (Channel* ch : {&report, &channels().console, &channels().error_file}) {
    ch->write_free({"** Error in read of data file ", status});
    ch->write_free({"Check format", text});
  }
  throw Stop{};
}

[[noreturn]] void format_error(const std::string& why, std::string_view format, Channel& report) {
  const std::string text = format_text(format);
  for (Channel* ch : {&report, &channels().console, &channels().error_file}) {
    ch->write_free({"** Error in the record format of the data file:", why});
    ch->write_free({"Check format", text});
  }
  throw Stop{};
}

void end_of_file_notice(int row, Channel& report) {
  report.write_free({"**** eof in read from data file "});
  report.write_free({"i = ", row});
}

// The first row that could not be read, and why.
struct RowFailure {
  std::size_t row;  // 0-based in the matrix
  ReadStatus status;
};

// Reads matrix rows 0..rows-1 of a fixed-column format, the data file standing
// at the first line of row 0, batch after batch. While the rows of one batch
// are decoded, the lines of the next batch are read: one item of the parallel
// loop reads, the others decode slices of the batch, so that on two threads
// reading overlaps decoding. Returns the first row in file order that could
// not be read (decode error, or its lines missing), if any.
std::optional<RowFailure> read_rows_in_batches(const RecordFormat& plan, TextFile& data,
                                               std::span<float> matrix, StampArray& stamps,
                                               std::size_t rows, const RowBatching& batching) {
  const std::size_t lines_per_row = static_cast<std::size_t>(plan.lines_per_row());
  const bool has_values = plan.values() > 0;
  const bool has_stamp = plan.stamp() != StampPosition::none;
  const std::size_t rows_per_batch = std::max<std::size_t>(batching.rows, 1);

  LineBatch batches[2];
  std::vector<std::optional<RowFailure>> slice_failures;
  std::size_t start = 0;  // matrix row of the current batch's first row
  batches[0].fill(data, std::min(rows_per_batch, rows), lines_per_row, batching.bytes);
  for (int current = 0;; current ^= 1) {
    const LineBatch& batch = batches[current];
    const std::size_t whole_rows = batch.lines() / lines_per_row;
    // A batch that stopped on a missing line (end of file, or a line that
    // could not be read) also decodes the row its lines stop in, possibly
    // with no line at all: that row fails, on its missing line or on a field
    // of a line it has.
    const std::size_t decoded = batch.ended() ? whole_rows + 1 : whole_rows;
    const std::size_t next_start = start + whole_rows;
    const bool read_next = !batch.ended() && next_start < rows;
    // Slices small enough for the threads to share a batch evenly, large
    // enough that handing them out costs little: at most 64 to a batch.
    const std::size_t slice_rows = std::max<std::size_t>((decoded + 63) / 64, 1);
    const std::size_t slices = (decoded + slice_rows - 1) / slice_rows;
    slice_failures.assign(slices, std::nullopt);

    auto decode_slice = [&](std::size_t slice) {
      const std::size_t end = std::min(decoded, (slice + 1) * slice_rows);
      for (std::size_t r = slice * slice_rows; r < end; ++r) {
        const std::size_t i = start + r;
        const RowDestination to{has_values ? matrix.data() + i : nullptr, rows,
                                has_stamp ? stamps.slot(i) : nullptr};
        const ReadStatus s = decode_row(plan, batch.row(r * lines_per_row, lines_per_row), to);
        if (s != ReadStatus::ok) {
          slice_failures[slice] = RowFailure{i, s};
          return;
        }
      }
    };
    const std::size_t first_slice_item = read_next ? 1 : 0;
    parallel_for(slices + first_slice_item, [&](std::size_t item, int) {
      if (item < first_slice_item)
        batches[current ^ 1].fill(data, std::min(rows_per_batch, rows - next_start), lines_per_row,
                                  batching.bytes);
      else
        decode_slice(item - first_slice_item);
    });

    for (const std::optional<RowFailure>& failure : slice_failures)
      if (failure) return failure;
    assert(!batch.ended());
    if (!read_next) return std::nullopt;
    start = next_start;
  }
}

}  // namespace

std::optional<StampPosition> stamp_position(std::string_view format) {
  format = format.substr(0, kFormatWidth);
  // 1-based positions, 0 when absent.
  auto position = [](std::size_t at) {
    return at == std::string_view::npos ? 0 : static_cast<long>(at) + 1;
  };
  const long p = position(format.find('('));
  const long q = position(format.find('a'));
  std::size_t last_a = format.rfind('a');
  if (last_a != std::string_view::npos && format.find(')', last_a) == std::string_view::npos)
    return std::nullopt;
  if (q == 0) return std::nullopt;
  if (q == p + 1) return StampPosition::first;
  if (q > p + 2) return StampPosition::last;
  return std::nullopt;
}

int datc(std::span<float> matrix, StampArray& stamps, std::string_view format, char stamp_flag,
         int first, int last, int columns, TextFile& data, Channel& report) {
  return datc(matrix, stamps, format, stamp_flag, first, last, columns, data, report,
              RowBatching{});
}

int datc(std::span<float> matrix, StampArray& stamps, std::string_view format, char stamp_flag,
         int first, int last, int columns, TextFile& data, Channel& report,
         const RowBatching& batching) {
  const int values = columns < 0 ? 0 : columns;
  const std::size_t rows = static_cast<std::size_t>(last - first + 1);
  StampPosition stamp = StampPosition::none;
  if (stamp_flag == 'm') {
    std::optional<StampPosition> where = stamp_position(format);
    if (!where) stamp_format_error(format, report);
    stamp = *where;
  }
  assert(first >= 1 && last >= first);
  assert(matrix.size() >= rows * static_cast<std::size_t>(values));
  assert(stamp == StampPosition::none || stamps.size() >= rows);

  RecordFormat plan;
  try {
    plan = RecordFormat::compile(format, values, stamp);
  } catch (const RecordFormatError& e) {
    format_error(e.what(), format, report);
  }

  data.rewind();
  std::string header;
  for (int i = 0; i < 2; ++i) {
    if (!data.read_line(header)) {
      end_of_file_notice(1, report);
      return 0;
    }
  }

  RecordReader reader(plan, data);
  for (int row = 1; row < first; ++row) {
    ReadStatus s = reader.skip_row();
    if (s == ReadStatus::end_of_file) {
      end_of_file_notice(row, report);
      return 0;
    }
    if (s != ReadStatus::ok) read_error(static_cast<int>(s), format, report);
  }
  if (plan.list_directed()) {
    // How many lines a row takes is known only while its values are decoded:
    // row after row.
    for (int row = first; row <= last; ++row) {
      const std::size_t i = static_cast<std::size_t>(row - first);
      RowDestination to{values == 0 ? nullptr : matrix.data() + i, rows, nullptr};
      ReadStatus s = reader.read_row(to);
      if (s == ReadStatus::end_of_file) {
        end_of_file_notice(row, report);
        return row - first;
      }
      if (s != ReadStatus::ok) read_error(static_cast<int>(s), format, report);
    }
    return last - first + 1;
  }
  if (std::optional<RowFailure> failure =
          read_rows_in_batches(plan, data, matrix, stamps, rows, batching)) {
    const int row = first + static_cast<int>(failure->row);
    if (failure->status == ReadStatus::end_of_file) {
      end_of_file_notice(row, report);
      return row - first;
    }
    read_error(static_cast<int>(failure->status), format, report);
  }
  return last - first + 1;
}

}  // namespace vok
