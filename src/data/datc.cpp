#include "data/datc.h"

#include <algorithm>
#include <cassert>
#include <string>
#include <vector>

#include "text/source_lines.h"
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

// What is wrong with a record format, for its detail line.
std::string format_fault(std::string_view why, std::size_t character) {
  return std::string(why) + " at character " + std::to_string(character) + " of the format";
}

// `why` names what is wrong with the stamp descriptor of a refused format.
[[noreturn]] void stamp_format_error(std::string_view format, Channel& report,
                                     const SourceLine& keyword_line, const std::string& why) {
  static const Layout kMessage = Layout::parse(R"(7X "/Data & time format is incorrect" / / A)");
  const std::string text = format_text(format);
  for (Channel* ch : {&report, &channels().error_file, &channels().console})
    ch->write(kMessage, {text});
  write_detail(keyword_line, why);
  throw Stop{};
}

// The read-error lines on the report, the console and the error file, then
// the detail line (console and error file) naming the line at fault.
[[noreturn]] void read_error(ReadStatus status, std::string_view format, Channel& report,
                             const SourceLine& at, std::string_view why = {}) {
  const std::string text = format_text(format);
  for (Channel* ch : {&report, &channels().console, &channels().error_file}) {
    ch->write_free({"** Error in read of data file ", static_cast<int>(status)});
    ch->write_free({"Check format", text});
  }
  write_detail(at, why);
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
};

// Reads matrix rows 0..rows-1 of a fixed-column format, the data file standing
// at the first line of row 0, batch after batch. While the rows of one batch
// are decoded, the lines of the next batch are read: one item of the parallel
// loop reads, the others decode slices of the batch, so that on two threads
// reading overlaps decoding. Returns the first row in file order that could
// not be read (decode error, or its lines missing), if any.
std::optional<RowFailure> read_rows_in_batches(const RecordFormat& plan, TextFile& data,
                                               std::span<float> matrix,
                                               std::span<const int> item_columns,
                                               StampArray& stamps, std::size_t rows,
                                               const RowBatching& batching) {
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
      StampArray::Cursor stamp_slots = stamps.cursor(start + slice * slice_rows);
      for (std::size_t r = slice * slice_rows; r < end; ++r) {
        const std::size_t i = start + r;
        const RowDestination to{has_values ? matrix.data() + i : nullptr, rows,
                                has_stamp ? stamp_slots.slot(i) : nullptr, item_columns};
        const RowLines lines = batch.row(r * lines_per_row, lines_per_row);
        const ReadStatus s = decode_row(plan, lines, to);
        if (s != ReadStatus::ok) {
          slice_failures[slice] =
              RowFailure{i, s, lines.count() > 0 ? std::string(lines.line(0)) : std::string()};
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

    for (std::optional<RowFailure>& failure : slice_failures)
      if (failure) return std::move(failure);
    assert(!batch.ended());
    if (!read_next) return std::nullopt;
    start = next_start;
  }
}

}  // namespace

namespace {

// 1-based positions in the format, 0 when absent. Descriptors are read in
// either case, so "A19" marks the stamp as "a19" does.
struct StampMarks {
  long open;         // first "("
  long first_a;      // first "a" or "A"
  long last_a;       // last "a" or "A"
  bool closed;       // a ")" stands after the last "a" or "A"
};

StampMarks stamp_marks(std::string_view format) {
  format = format.substr(0, kFormatWidth);
  auto position = [](std::size_t at) {
    return at == std::string_view::npos ? 0 : static_cast<long>(at) + 1;
  };
  StampMarks m{position(format.find('(')), position(format.find_first_of("aA")),
               position(format.find_last_of("aA")), true};
  if (m.last_a > 0)
    m.closed = format.find(')', static_cast<std::size_t>(m.last_a)) != std::string_view::npos;
  return m;
}

// What is wrong with the stamp descriptor of a format stamp_position refuses.
std::string stamp_fault(std::string_view format) {
  const StampMarks m = stamp_marks(format);
  if (m.first_a == 0) return "no A descriptor for the stamp";
  if (!m.closed)
    return format_fault("no \")\" after the stamp descriptor", static_cast<std::size_t>(m.last_a));
  if (m.first_a < m.open)
    return format_fault("the stamp descriptor stands before \"(\"",
                        static_cast<std::size_t>(m.first_a));
  return format_fault(
      "the stamp descriptor must stand right after \"(\" (stamp first) or after a value field "
      "(stamp last)",
      static_cast<std::size_t>(m.first_a));
}

}  // namespace

std::optional<StampPosition> stamp_position(std::string_view format) {
  const StampMarks m = stamp_marks(format);
  if (!m.closed) return std::nullopt;
  if (m.first_a == 0) return std::nullopt;
  if (m.first_a == m.open + 1) return StampPosition::first;
  if (m.first_a > m.open + 2) return StampPosition::last;
  return std::nullopt;
}

SourceLine data_row_line(TextFile& data, std::string_view format, char stamp_flag, int columns,
                         int row) {
  int lines_per_row = 1;
  try {
    const StampPosition stamp = stamp_flag == 'm'
                                    ? stamp_position(format).value_or(StampPosition::none)
                                    : StampPosition::none;
    const RecordFormat plan = RecordFormat::compile(format, std::max(columns, 0), stamp);
    if (!plan.list_directed()) lines_per_row = plan.lines_per_row();
  } catch (const RecordFormatError&) {
    // The rows were read with it, so it compiles; one line a row otherwise.
  }
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

int datc(std::span<float> matrix, StampArray& stamps, std::string_view format, char stamp_flag,
         int first, int last, int columns, TextFile& data, Channel& report,
         std::span<const int> kept, const RowBatching& batching) {
  const int values = columns < 0 ? 0 : columns;
  const std::size_t rows = static_cast<std::size_t>(last - first + 1);
  assert(first >= 1 && last >= first);
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

  data.rewind();
  std::string title;
  std::string keywords;
  if (!data.read_line(title) || !data.read_line(keywords)) {
    end_of_file_notice(1, report);
    return 0;
  }
  // Messages about the record format point at the keyword line.
  const SourceLine keyword_line{data.path(), 2, keywords};

  StampPosition stamp = StampPosition::none;
  if (stamp_flag == 'm') {
    std::optional<StampPosition> where = stamp_position(format);
    if (!where) stamp_format_error(format, report, keyword_line, stamp_fault(format));
    stamp = *where;
  }

  // A format that cannot be used fails the read of the first row.
  RecordFormat plan;
  try {
    plan = RecordFormat::compile(format, values, stamp);
  } catch (const RecordFormatError& e) {
    read_error(ReadStatus::unusable_format, format, report, keyword_line,
               format_fault(e.what(), e.character()));
  }

  const int lines_per_row = plan.list_directed() ? 1 : plan.lines_per_row();
  // The detail line of a row that cannot be read: its first line.
  auto row_line = [&](int row, std::string text) {
    return SourceLine{data.path(), first_line_of_row(row, lines_per_row), std::move(text)};
  };

  RecordReader reader(plan, data);
  for (int row = 1; row < first; ++row) {
    ReadStatus s = reader.skip_row();
    if (s == ReadStatus::end_of_file) {
      end_of_file_notice(row, report);
      return 0;
    }
    if (s != ReadStatus::ok) read_error(s, format, report, row_line(row, reader.last_line()));
  }
  if (plan.list_directed()) {
    // One line to a row, read and decoded row after row.
    for (int row = first; row <= last; ++row) {
      const std::size_t i = static_cast<std::size_t>(row - first);
      RowDestination to{values == 0 ? nullptr : matrix.data() + i, rows, nullptr, item_columns};
      ReadStatus s = reader.read_row(to);
      if (s == ReadStatus::end_of_file) {
        end_of_file_notice(row, report);
        return row - first;
      }
      if (s != ReadStatus::ok) read_error(s, format, report, row_line(row, reader.last_line()));
    }
    return last - first + 1;
  }
  if (std::optional<RowFailure> failure =
          read_rows_in_batches(plan, data, matrix, item_columns, stamps, rows, batching)) {
    const int row = first + static_cast<int>(failure->row);
    if (failure->status == ReadStatus::end_of_file) {
      end_of_file_notice(row, report);
      return row - first;
    }
    read_error(failure->status, format, report, row_line(row, std::move(failure->first_line)));
  }
  return last - first + 1;
}

}  // namespace vok
