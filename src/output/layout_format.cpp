// Layout::format: a parsed layout walked with values, one line after another.
// The walk comes from LayoutWalker, the numbers from the number editors.
#include <algorithm>
#include <cmath>

#include "output/free_format.h"
#include "output/layout.h"
#include "output/number_edit.h"

namespace vok {

namespace {

std::string fill(int width, char c) {
  return std::string(static_cast<std::size_t>(std::max(width, 0)), c);
}

}  // namespace

std::vector<std::string> Layout::format(std::span<const Value> values) const {
  std::vector<std::string> lines;
  std::string current;
  bool sign_plus = false;
  std::size_t next_value = 0;
  LayoutWalker walker(*this);
  auto edit_value = [&](const Edit& e, const Value& v) -> std::string {
    double real = v.kind() == Value::Kind::integer ? static_cast<double>(v.integer()) : v.real();
    switch (e.kind) {
      case EditKind::integer:
        if (v.kind() == Value::Kind::integer) return edit_integer(v.integer(), e.width, sign_plus);
        // A real that no integer can hold (NaN included) does not fit the field.
        if (!(std::fabs(v.real()) < 0x1p63)) return fill(std::max(e.width, 1), '*');
        return edit_integer(static_cast<std::int64_t>(v.real()), e.width, sign_plus);
      case EditKind::fixed:
        return edit_fixed(real, e.width, e.digits, sign_plus);
      case EditKind::general:
        return edit_general(real, e.width, e.digits, sign_plus);
      case EditKind::exponent:
      case EditKind::dexponent:
        return edit_exponent(real, e.width, e.digits, sign_plus);
      default: {
        // Input text in a field of its own width: a control byte shows as "?".
        std::string text = v.kind() == Value::Kind::text      ? masked_text(v.text())
                           : v.kind() == Value::Kind::integer ? std::to_string(v.integer())
                                                              : free_format({v}).substr(1);
        if (e.width == 0) return text;
        if (static_cast<int>(text.size()) >= e.width) return text.substr(0, e.width);
        return fill(e.width - static_cast<int>(text.size()), ' ') + text;
      }
    }
  };
  while (true) {
    const Edit* e = walker.next();
    if (e == nullptr) {
      if (next_value < values.size() && walker.consumed_value_since_start()) {
        lines.push_back(std::move(current));
        current.clear();
        walker.revert();
        continue;
      }
      break;
    }
    bool stop = false;
    switch (e->kind) {
      case EditKind::literal:
        current += e->literal;
        break;
      case EditKind::blanks:
        current += fill(e->width, ' ');
        break;
      case EditKind::tab_to:
        if (static_cast<int>(current.size()) < e->width - 1)
          current += fill(e->width - 1 - static_cast<int>(current.size()), ' ');
        break;
      case EditKind::tab_right:
        current += fill(e->width, ' ');
        break;
      case EditKind::tab_left:
        break;
      case EditKind::new_line:
        lines.push_back(std::move(current));
        current.clear();
        break;
      case EditKind::colon:
        stop = next_value >= values.size();
        break;
      case EditKind::sign_plus:
        sign_plus = true;
        break;
      case EditKind::sign_default:
        sign_plus = false;
        break;
      case EditKind::group_open:
      case EditKind::group_close:
        break;
      default:
        if (next_value >= values.size()) {
          stop = true;
          break;
        }
        current += edit_value(*e, values[next_value++]);
        break;
    }
    if (stop) break;
  }
  lines.push_back(std::move(current));
  return lines;
}

}  // namespace vok
