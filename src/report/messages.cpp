#include "report/messages.h"

#include <initializer_list>

#include "output/free_format.h"

namespace vok {
namespace {

using Where = MessageChannel;

// The message's line(s) as the routine that raises it writes them.
std::vector<std::string> texts(const Message& m) {
  const double a = m.numbers[0], b = m.numbers[1];
  // The numbers as the routine held them.
  const auto single = [](double v) { return static_cast<float>(v); };
  const auto integer = [](double v) { return static_cast<int>(v); };
  switch (m.kind) {
    case MessageKind::gser_negative_x:
      return {free_format({"x < 0 in gser"})};
    case MessageKind::gser_too_many_iterations:
      return {free_format({"a = ", a, " too large, ITMAX too small in gser"})};
    case MessageKind::gcf_too_many_iterations:
      return {free_format({"a = ", a, " too large, ITMAX too small in gcf"})};
    case MessageKind::gammp_bad_argument:
      return {free_format({"Bad argument in gammp"})};
    case MessageKind::cdchi_x_not_positive:
      return {free_format({"x in cdchi ", single(a), " is not positive"})};
    case MessageKind::cdchi_df_not_positive:
      return {free_format({"df ", single(a), " value is not positive in call to cdchi"})};
    case MessageKind::sigmn_empty:
      return {"", "  n in dsigmn < 1"};
    case MessageKind::cor_too_many_positions:
      return {free_format({"nf ", integer(a), " in sub COR is > n = ", integer(b)})};
    case MessageKind::cor_too_few_positions:
      return {free_format({"nf ", integer(a), " < 3 in sub COR"})};
    case MessageKind::stat_no_variance:
      return {free_format({"Variance ", a, " in STAT = 0 & is set = -1"})};
    case MessageKind::sort_empty:
      return {free_format({"n in x(n) < 1 ", integer(a)})};
    case MessageKind::sort_bad_control:
      return {free_format({"Isrt control character in SORT is wrong ",
                           std::string(1, static_cast<char>(integer(a)))})};
    case MessageKind::sort_no_fractiles:
      return {free_format({"Number of fractiles in SORT <= 0: ", integer(a)})};
    case MessageKind::sort_single_value:
      return {free_format({"fractiles set to x since n=1", integer(a)})};
    case MessageKind::cholesky_failed:
      return {free_format({"DCHOLDC failed, A is not positive definite"})};
    case MessageKind::var_fit_failed:
      return {free_format({"Error in subroutine Setvar ", integer(a)})};
    case MessageKind::out_of_memory:
      break;
  }
  switch (m.arrays) {
    case Arrays::var_coefficients:
      return {free_format({"Unable to allocate work space for arrays in data"})};
    case Arrays::var_equations:
      return {free_format({"Unable to allocate work space for arrays in var"})};
    case Arrays::frames:
      return {free_format({"Unable to allocate work space for arrays in wind"})};
    case Arrays::bootstrap:
    case Arrays::none:
      break;
  }
  return {free_format({"Unable to allocate work space - arrays in resampxy"})};
}

// Where a frame's computation writes the message: the report, and a failed
// VAR fit on the console and the error file as well.
std::vector<Where> frame_channels(MessageKind kind) {
  if (kind == MessageKind::var_fit_failed) return {Where::report, Where::console, Where::error_file};
  return {Where::report};
}

std::vector<Where> channels_of(const Message& m) {
  switch (m.stage) {
    case Stage::statistics:
      return {Where::error_file};
    case Stage::summary:
      return {Where::report};
    case Stage::run:
      return {Where::console, Where::error_file};
    case Stage::bootstrap: {
      // The orderings' messages go to the console (a single value's also to
      // the standard error stream); everything else a resample raises, on
      // whichever channels a frame would write it, goes to the standard
      // error stream.
      if (m.kind == MessageKind::sort_single_value) return {Where::console, Where::standard_error};
      if (m.kind == MessageKind::sort_empty || m.kind == MessageKind::sort_bad_control ||
          m.kind == MessageKind::sort_no_fractiles)
        return {Where::console};
      std::vector<Where> out(frame_channels(m.kind).size(), Where::standard_error);
      return out;
    }
    case Stage::var_fit:
    case Stage::x_residuals:
    case Stage::y_residuals:
    case Stage::tests:
      break;
  }
  return frame_channels(m.kind);
}

}  // namespace

std::vector<MessageLine> message_lines(const Message& message) {
  const std::vector<std::string> lines = texts(message);
  std::vector<MessageLine> out;
  for (Where where : channels_of(message))
    for (const std::string& line : lines) out.push_back({where, line});
  return out;
}

void write_message(const Message& message, const MessageChannels& to) {
  for (const MessageLine& line : message_lines(message)) {
    switch (line.channel) {
      case Where::report: to.report.line(line.text); break;
      case Where::console: to.console.line(line.text); break;
      case Where::error_file: to.error_file.line(line.text); break;
      case Where::standard_error: to.standard_error.line(line.text); break;
    }
  }
}

}  // namespace vok
