#include "control/run_layout.h"

namespace vok {

std::string column_tag(int column) {
  if (column >= 1 && column <= 9) return std::string(1, '_') + static_cast<char>('0' + column);
  return std::to_string(column);
}

std::optional<std::string> output_base(std::string_view name) {
  const std::size_t slash = name.rfind('/');
  const std::size_t from = slash == std::string_view::npos ? 0 : slash + 1;
  const std::size_t dot = name.find('.', from);
  if (dot == std::string_view::npos) return std::nullopt;
  return std::string(name.substr(0, dot));
}

OutputNames output_names(const std::string& base, int x_column, int y_column) {
  const std::string tag = column_tag(x_column) + "-" + column_tag(y_column);
  return {base + tag + ".out", base + tag + ".graph", base + "-frames.out", base + "-xy.graph"};
}

}  // namespace vok
