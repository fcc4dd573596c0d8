#include "data/data_format.h"

namespace vok {

namespace {

constexpr std::size_t kFormatWidth = 50;

std::string format_fault(std::string_view why, std::size_t character) {
  return std::string(why) + " at character " + std::to_string(character) + " of the format";
}

// 1-based positions in the format, 0 when absent. Descriptors are read in
// either case, so "A19" marks the stamp as "a19" does.
struct StampMarks {
  long open;     // first "("
  long first_a;  // first "a" or "A"
  long last_a;   // last "a" or "A"
  bool closed;   // a ")" stands after the last "a" or "A"
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

DataFormat DataFormat::compile(std::string_view text, int values) {
  DataFormat f;
  f.text_ = std::string(text.substr(0, kFormatWidth));
  f.text_.resize(kFormatWidth, ' ');
  f.stamped_ = f.text_.find_first_of("aA") != std::string::npos;
  StampPosition stamp = StampPosition::none;
  if (f.stamped_) {
    const std::optional<StampPosition> where = stamp_position(f.text_);
    if (!where) {
      f.fault_ = Fault::stamp;
      f.why_ = stamp_fault(f.text_);
      return f;
    }
    stamp = *where;
  }
  try {
    f.plan_ = RecordFormat::compile(f.text_, values, stamp);
  } catch (const RecordFormatError& e) {
    f.fault_ = Fault::unusable;
    f.why_ = format_fault(e.what(), e.character());
  }
  return f;
}

int DataFormat::lines_per_row() const {
  return plan_ && !plan_->list_directed() ? plan_->lines_per_row() : 1;
}

}  // namespace vok
