#include "data/readhead.h"

#include <cerrno>
#include <initializer_list>
#include <string>

#include "input/source_lines.h"
#include "output/failure.h"

namespace vok {

namespace {

constexpr std::size_t kTitleWidth = 80;
constexpr std::size_t kLineRead = 120;
constexpr std::size_t kBufferSize = 1000;

std::string padded(std::string_view text, std::size_t width) {
  std::string out(text.substr(0, width));
  out.resize(width, ' ');
  return out;
}

struct UnitMarks {
  bool kilohertz = false;
  bool hertz = false;
};

// The three characters after the first "nit=" decide the unit.
UnitMarks scan_unit(std::string_view buffer) {
  UnitMarks marks;
  std::size_t at = buffer.find("nit=");
  if (at == std::string_view::npos) return marks;
  std::string_view unit = buffer.substr(at + 4, 3);
  for (std::string_view k : {"kHz", "khz", "Khz", "KHz"})
    if (unit.find(k) != std::string_view::npos) marks.kilohertz = true;
  for (std::string_view h : {"Hz", "hz"})
    if (unit.find(h) != std::string_view::npos) marks.hertz = true;
  return marks;
}

[[noreturn]] void reader_error(const HeaderMessages& to, std::string_view what, int error,
                               const SourceLine& keyword_line) {
  to.both().each([&](Channel& ch) {
    ch.write_free({what});
    ch.write_free({"Error number for rnumread = ", error});
  });
  write_detail(to.detail(), keyword_line);
  throw Stop{};
}

}  // namespace

DataHeader readhead(TextFile& data, SampleUnit sample_unit, FieldReaders& readers,
                    const HeaderMessages& to) {
  Channel& diag = to.error_file;  // the field readers' messages
  DataHeader header;
  data.rewind();
  std::string title;
  std::string keywords;
  const bool first_read = data.read_line(title);
  if (!first_read || !data.read_line(keywords)) {
    to.both().each([&](Channel& ch) {
      ch.write_free({"End of file reading the header of data file", data.path()});
    });
    // A line that could not be read is named, with the reason.
    if (data.error() == EFBIG)
      write_detail(to.detail(), SourceLine{data.path(), first_read ? 2 : 1, data.overlong_start()},
                   "a line longer than " + std::to_string(data.line_limit()) + " bytes");
    else if (data.error() != 0)
      to.detail().write_free({file_error_line(data.path(), data.error())});
    throw Stop{};
  }
  header.title = padded(title, kTitleWidth);
  // Where every message about a keyword points.
  const SourceLine keyword_line{data.path(), 2, keywords};
  // Only the first 120 characters of the keyword line are read; the buffer
  // the readers search is blank past them.
  const std::string buffer = padded(std::string_view(keywords).substr(0, kLineRead), kBufferSize);
  const std::string echo = buffer.substr(0, kLineRead);
  const bool frequency_run = sample_unit == SampleUnit::frequency;

  const UnitMarks unit = scan_unit(buffer);
  if (frequency_run && !unit.kilohertz && !unit.hertz) {
    static const Layout kNoUnit = Layout::parse(
        R"(/ 2X "ERROR - unit=kHz or Hz is not typed after the format on the data file used" / )"
        R"(/ 2X "Use kHz or khz or KHz for kiloherz unit" / 2X "or Hz or hz for herz unit" /)");
    to.both().each([&](Channel& ch) {
      ch.write(kNoUnit);
      ch.write_free({echo});
    });
    write_detail(to.detail(), keyword_line);
    throw Stop{};
  }

  FieldRead<std::int32_t> rows = readers.long_numread("ows", buffer, diag);
  if (rows.error != 0)
    reader_error(to, "Error in reading the no. of rows of the data file", rows.error, keyword_line);
  header.rows = rows.value;

  FieldRead<std::int32_t> columns = readers.numread("olumns", buffer, diag);
  if (columns.error != 0) {
    to.both().each([](Channel& ch) {
      ch.write_free({"Error in reading the no. of columns of the data file"});
    });
    write_detail(to.detail(), keyword_line);
    header.columns = -1;
    return header;
  }
  header.columns = columns.value;

  if (frequency_run) {
    FieldRead<float> rate = readers.rnumread("rate", buffer, diag);
    if (rate.error != 0) rate = readers.rnumread("Rate", buffer, diag);
    header.rate_or_interval = rate.value;
    if (rate.error != 0)
      reader_error(to, "Error in reading the sampling rate of the data", rate.error, keyword_line);
  } else {
    FieldRead<float> interval = readers.rnumread("nterval", buffer, diag);
    if (interval.error != 0)
      reader_error(to, "Error in reading the sampling interval of the data", interval.error,
                   keyword_line);
    header.rate_or_interval = interval.value;
  }

  FieldRead<std::string> format = readers.charead("rmat", buffer);
  if (format.error != 0)
    reader_error(to, "Error in reading the format from the data file", format.error, keyword_line);
  header.format = DataFormat::compile(format.value, header.columns);

  if (frequency_run && unit.hertz && !unit.kilohertz) {
    static const Layout kHertz = Layout::parse(
        R"(/ 2X "ERROR - the control file sets the units in kHz but Hz is indicated on line 2 )"
        R"(of the data file")");
    to.both().each([&](Channel& ch) {
      ch.write(kHertz);
      ch.write_free({echo});
    });
    write_detail(to.detail(), keyword_line);
    throw Stop{};
  }
  return header;
}

}  // namespace vok
