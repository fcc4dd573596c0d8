#include "data/datc.h"

#include <cassert>
#include <string>

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
  for (int row = first; row <= last; ++row) {
    const std::size_t i = static_cast<std::size_t>(row - first);
    RowDestination to{values == 0 ? nullptr : matrix.data() + i, rows,
                      stamp == StampPosition::none ? nullptr : stamps.slot(i)};
    ReadStatus s = reader.read_row(to);
    if (s == ReadStatus::end_of_file) {
      end_of_file_notice(row, report);
      return row - first;
    }
    if (s != ReadStatus::ok) read_error(static_cast<int>(s), format, report);
  }
  return last - first + 1;
}

}  // namespace vok
