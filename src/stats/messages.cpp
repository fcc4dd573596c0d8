#include "stats/messages.h"

#include <charconv>
#include <string>

namespace vok {
namespace {

// The shortest digits that read back as the 32-bit value.
std::string real(double value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, static_cast<float>(value)).ptr;
  return std::string(text, end);
}

// The digits of a double itself.
std::string wide_real(double value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

std::string integer(double value) {
  return std::to_string(static_cast<long long>(value));
}

const char* arrays_name(Arrays arrays) {
  switch (arrays) {
    case Arrays::var_coefficients: return "the VAR fit's coefficients";
    case Arrays::var_equations: return "the VAR fit's normal equations";
    case Arrays::frames: return "the frames";
    case Arrays::bootstrap: return "the bootstrap's resamples";
    case Arrays::none: break;
  }
  return "the analysis";
}

}  // namespace

const char* name(MessageKind kind) {
  switch (kind) {
    case MessageKind::gser_negative_x: return "gser_negative_x";
    case MessageKind::gser_too_many_iterations: return "gser_too_many_iterations";
    case MessageKind::gcf_too_many_iterations: return "gcf_too_many_iterations";
    case MessageKind::gammp_bad_argument: return "gammp_bad_argument";
    case MessageKind::cdchi_x_not_positive: return "cdchi_x_not_positive";
    case MessageKind::cdchi_df_not_positive: return "cdchi_df_not_positive";
    case MessageKind::sigmn_empty: return "sigmn_empty";
    case MessageKind::cor_too_many_positions: return "cor_too_many_positions";
    case MessageKind::cor_too_few_positions: return "cor_too_few_positions";
    case MessageKind::stat_no_variance: return "stat_no_variance";
    case MessageKind::sort_empty: return "sort_empty";
    case MessageKind::sort_bad_control: return "sort_bad_control";
    case MessageKind::sort_no_fractiles: return "sort_no_fractiles";
    case MessageKind::sort_single_value: return "sort_single_value";
    case MessageKind::cholesky_failed: return "cholesky_failed";
    case MessageKind::var_fit_failed: return "var_fit_failed";
    case MessageKind::out_of_memory: break;
  }
  return "out_of_memory";
}

std::string describe(const Message& m) {
  const double a = m.numbers[0], b = m.numbers[1];
  switch (m.kind) {
    case MessageKind::gser_negative_x:
      return "incomplete gamma series: x < 0";
    case MessageKind::gser_too_many_iterations:
      return "incomplete gamma series: no convergence for a = " + wide_real(a);
    case MessageKind::gcf_too_many_iterations:
      return "incomplete gamma continued fraction: no convergence for a = " + wide_real(a);
    case MessageKind::gammp_bad_argument:
      return "incomplete gamma function: x < 0 or a <= 0";
    case MessageKind::cdchi_x_not_positive:
      return "chi-square CDF: statistic " + real(a) + " is negative";
    case MessageKind::cdchi_df_not_positive:
      return "chi-square CDF: degrees of freedom " + real(a) + " are negative";
    case MessageKind::sigmn_empty:
      return "mean and standard deviation of no values";
    case MessageKind::cor_too_many_positions:
      return "correlation over " + integer(a) + " positions of " + integer(b) + " values";
    case MessageKind::cor_too_few_positions:
      return "correlation over " + integer(a) + " positions (fewer than 3)";
    case MessageKind::stat_no_variance:
      return "series without spread (sum of squares " + wide_real(a) +
             "): its standard deviation is set to -1";
    case MessageKind::sort_empty:
      return "ordering of " + integer(a) + " values";
    case MessageKind::sort_bad_control:
      return "ordering with unknown control '" + std::string(1, static_cast<char>(a)) + "'";
    case MessageKind::sort_no_fractiles:
      return "fractiles asked for: " + integer(a);
    case MessageKind::sort_single_value:
      return "fractiles of " + integer(a) + " value are that value";
    case MessageKind::cholesky_failed:
      return "VAR fit: the normal equations are not positive definite";
    case MessageKind::var_fit_failed:
      return "VAR fit failed with status " + integer(a);
    case MessageKind::out_of_memory:
      break;
  }
  return std::string("out of memory for ") + arrays_name(m.arrays);
}

}  // namespace vok
