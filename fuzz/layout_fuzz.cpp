// The layout notation and the record-format compiler on any text.
//
// Input: a mode byte, then the notation (up to the first newline, at most 200
// characters); what follows the newline supplies values for the layout.
//   mode % 3 == 0: Layout::parse, then format() with values from the input when
//                  the layout's walk is small;
//   mode % 3 == 1: the record format as the data reader gets it (cut and
//                  padded to 50 characters): stamp position, then compile for
//                  0 to 7 values with and without a stamp;
//   mode % 3 == 2: both, on the raw notation.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "data/datc.h"
#include "data/record_reader.h"
#include "output/layout.h"

namespace {

// Upper bound of the elements one pass over the layout visits, and of the
// characters it writes; a pass that is too long is not formatted (the program
// writes only its own fixed layouts, so a huge walk is no input path).
double walk_cost(const std::vector<vok::Edit>& edits, std::size_t from, std::size_t to) {
  double cost = 0;
  for (std::size_t i = from; i < to; ++i) {
    const vok::Edit& e = edits[i];
    if (e.kind == vok::EditKind::group_open) {
      const auto close = static_cast<std::size_t>(e.target);
      cost += e.count * (1 + walk_cost(edits, i + 1, close));
      i = close;
    } else {
      cost += static_cast<double>(e.count) *
              (1 + e.width + static_cast<double>(e.literal.size()) + e.digits);
    }
  }
  return cost;
}

std::vector<vok::Value> values_from(std::string_view bytes, std::vector<std::string>& texts) {
  std::vector<vok::Value> values;
  texts.reserve(8);
  std::size_t i = 0;
  while (i < bytes.size() && values.size() < 12) {
    const auto kind = static_cast<unsigned char>(bytes[i++]);
    switch (kind % 4) {
      case 0: {
        std::int32_t v = 0;
        const std::size_t n = std::min<std::size_t>(4, bytes.size() - i);
        std::memcpy(&v, bytes.data() + i, n);
        i += n;
        values.emplace_back(v);
        break;
      }
      case 1: {
        float v = 0;
        const std::size_t n = std::min<std::size_t>(4, bytes.size() - i);
        std::memcpy(&v, bytes.data() + i, n);
        i += n;
        values.emplace_back(v);  // NaN, infinities and subnormals included
        break;
      }
      case 2: {
        double v = 0;
        const std::size_t n = std::min<std::size_t>(8, bytes.size() - i);
        std::memcpy(&v, bytes.data() + i, n);
        i += n;
        values.emplace_back(v);
        break;
      }
      default: {
        if (texts.size() == texts.capacity()) break;
        const std::size_t n = std::min<std::size_t>(kind / 4 % 32, bytes.size() - i);
        texts.emplace_back(bytes.substr(i, n));
        i += n;
        values.emplace_back(texts.back());
        break;
      }
    }
  }
  return values;
}

void format_layout(std::string_view notation, std::string_view rest) {
  vok::Layout layout;
  try {
    layout = vok::Layout::parse(notation);
  } catch (const vok::LayoutError& e) {
    if (e.offset() > notation.size()) std::abort();
    return;
  }
  // Every group bracket must name its partner.
  const auto& edits = layout.edits();
  for (std::size_t i = 0; i < edits.size(); ++i) {
    if (edits[i].kind == vok::EditKind::group_open || edits[i].kind == vok::EditKind::group_close) {
      const int t = edits[i].target;
      if (t < 0 || static_cast<std::size_t>(t) >= edits.size() ||
          edits[static_cast<std::size_t>(t)].target != static_cast<int>(i))
        std::abort();
    }
  }
  if (walk_cost(edits, 0, edits.size()) > 2e5) return;
  std::vector<std::string> texts;
  const std::vector<vok::Value> values = values_from(rest, texts);
  const std::vector<std::string> lines = layout.format(values);
  if (lines.empty()) std::abort();
}

void compile_format(std::string_view notation) {
  std::string format(notation.substr(0, 50));
  format.resize(50, ' ');
  (void)vok::stamp_position(format);
  (void)vok::DataFormat::compile(format, 3);
  for (int values = -1; values <= 7; ++values) {
    for (auto stamp :
         {vok::StampPosition::none, vok::StampPosition::first, vok::StampPosition::last}) {
      try {
        const vok::RecordFormat plan = vok::RecordFormat::compile(format, values, stamp);
        if (plan.lines_per_row() < 1 && !plan.list_directed()) std::abort();
        // Every field the plan cuts out names a value inside the row.
        for (const auto& step : plan.steps()) {
          if ((step.kind == vok::RecordFormat::Step::Kind::real ||
               step.kind == vok::RecordFormat::Step::Kind::integer) &&
              (step.item < 0 || step.item >= plan.values()))
            std::abort();
          if (step.column < 0 || step.width < 0) std::abort();
        }
      } catch (const vok::RecordFormatError&) {
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::size_t newline = input.find('\n');
  const std::string_view notation = input.substr(0, std::min<std::size_t>(newline, 200));
  const std::string_view rest =
      newline == std::string_view::npos ? std::string_view() : input.substr(newline + 1);
  switch (data[0] % 3) {
    case 0:
      format_layout(notation, rest);
      break;
    case 1:
      compile_format(notation);
      break;
    default:
      format_layout(notation, rest);
      compile_format(notation);
      break;
  }
  return 0;
}
