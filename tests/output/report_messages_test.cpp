// The console program's lines for each kind of message, on the channels of
// the place it was raised: the text the computing routines have always
// written, digit for digit.
#include "report/messages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vok {
namespace {

using C = MessageChannel;

struct Case {
  const char* what;
  Message message;
  std::vector<MessageLine> lines;  // in the order written
};

Message raised(MessageKind kind, Stage stage, double first = 0.0, double second = 0.0) {
  return {kind, stage, stage >= Stage::var_fit && stage <= Stage::tests ? 3 : 0, {first, second}};
}
Message out_of_memory(Arrays arrays, Stage stage) {
  Message m = raised(MessageKind::out_of_memory, stage);
  m.arrays = arrays;
  return m;
}

TEST(ReportMessages, EachKindGivesItsLinesOnTheChannelsOfItsPlace) {
  using K = MessageKind;
  using S = Stage;
  const std::string setvar = " Error in subroutine Setvar  1";
  const Case cases[] = {
      // A frame's messages go to the report, whatever its stage.
      {"gser x < 0", raised(K::gser_negative_x, S::tests), {{C::report, " x < 0 in gser"}}},
      {"gser iterations", raised(K::gser_too_many_iterations, S::tests, 1e7),
       {{C::report, " a =  1e+07  too large, ITMAX too small in gser"}}},
      {"gcf iterations", raised(K::gcf_too_many_iterations, S::tests, 1e8),
       {{C::report, " a =  1e+08  too large, ITMAX too small in gcf"}}},
      {"gammp", raised(K::gammp_bad_argument, S::tests), {{C::report, " Bad argument in gammp"}}},
      {"cdchi x", raised(K::cdchi_x_not_positive, S::tests, -1.0f),
       {{C::report, " x in cdchi  -1  is not positive"}}},
      {"cdchi x, a 32-bit value's digits", raised(K::cdchi_x_not_positive, S::tests, 0.1f * -3),
       {{C::report, " x in cdchi  -0.3  is not positive"}}},
      {"cdchi df", raised(K::cdchi_df_not_positive, S::tests, -2.5f),
       {{C::report, " df  -2.5  value is not positive in call to cdchi"}}},
      {"sigmn in a frame", raised(K::sigmn_empty, S::tests),
       {{C::report, ""}, {C::report, "  n in dsigmn < 1"}}},
      {"residual statistics", raised(K::stat_no_variance, S::y_residuals, 0.0),
       {{C::report, " Variance  0  in STAT = 0 & is set = -1"}}},
      {"VAR fit", raised(K::cholesky_failed, S::var_fit),
       {{C::report, " DCHOLDC failed, A is not positive definite"}}},
      {"VAR fit failed", raised(K::var_fit_failed, S::var_fit, 1),
       {{C::report, setvar}, {C::console, setvar}, {C::error_file, setvar}}},
      {"VAR coefficients", out_of_memory(Arrays::var_coefficients, S::var_fit),
       {{C::report, " Unable to allocate work space for arrays in data"}}},
      {"VAR equations", out_of_memory(Arrays::var_equations, S::var_fit),
       {{C::report, " Unable to allocate work space for arrays in var"}}},
      // The descriptive statistics of x and y: the error file.
      {"statistics", raised(K::stat_no_variance, S::statistics, -1.5e-9),
       {{C::error_file, " Variance  -1.5e-09  in STAT = 0 & is set = -1"}}},
      // The summary's correlations: the report.
      {"cor too many", raised(K::cor_too_many_positions, S::summary, 5, 3),
       {{C::report, " nf  5  in sub COR is > n =  3"}}},
      {"cor too few", raised(K::cor_too_few_positions, S::summary, 2),
       {{C::report, " nf  2  < 3 in sub COR"}}},
      // The frames' work space: the console and the error file.
      {"frames' work space", out_of_memory(Arrays::frames, S::run),
       {{C::console, " Unable to allocate work space for arrays in wind"},
        {C::error_file, " Unable to allocate work space for arrays in wind"}}},
      // The bootstrap: the orderings' messages on the console, everything
      // else (a resample's frame lines included) on the standard error stream.
      {"sort empty", raised(K::sort_empty, S::bootstrap, 0), {{C::console, " n in x(n) < 1  0"}}},
      {"sort control", raised(K::sort_bad_control, S::bootstrap, 'X'),
       {{C::console, " Isrt control character in SORT is wrong  X"}}},
      {"sort no fractiles", raised(K::sort_no_fractiles, S::bootstrap, 0),
       {{C::console, " Number of fractiles in SORT <= 0:  0"}}},
      {"sort single value", raised(K::sort_single_value, S::bootstrap, 1),
       {{C::console, " fractiles set to x since n=1 1"},
        {C::standard_error, " fractiles set to x since n=1 1"}}},
      {"bootstrap arrays", out_of_memory(Arrays::bootstrap, S::bootstrap),
       {{C::standard_error, " Unable to allocate work space - arrays in resampxy"}}},
      {"bootstrap chi-square", raised(K::cdchi_x_not_positive, S::bootstrap, -4.0f),
       {{C::standard_error, " x in cdchi  -4  is not positive"}}},
      {"bootstrap sigmn", raised(K::sigmn_empty, S::bootstrap),
       {{C::standard_error, ""}, {C::standard_error, "  n in dsigmn < 1"}}},
      {"a resample's VAR fit failed", raised(K::var_fit_failed, S::bootstrap, 1),
       {{C::standard_error, setvar}, {C::standard_error, setvar}, {C::standard_error, setvar}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<MessageLine> got = message_lines(c.message);
    ASSERT_EQ(got.size(), c.lines.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].channel, c.lines[i].channel) << i;
      EXPECT_EQ(got[i].text, c.lines[i].text) << i;
    }
  }
}

// write_message puts each line, with its newline, on its own channel only.
TEST(ReportMessages, WrittenOnTheirChannels) {
  Channel report, console, error_file, standard_error;
  for (Channel* c : {&report, &console, &error_file, &standard_error}) c->capture();
  const MessageChannels to{report, console, error_file, standard_error};
  write_message({MessageKind::var_fit_failed, Stage::var_fit, 2, {1, 0}}, to);
  write_message({MessageKind::sort_single_value, Stage::bootstrap, 0, {1, 0}}, to);
  EXPECT_EQ(report.text(), " Error in subroutine Setvar  1\n");
  EXPECT_EQ(console.text(), " Error in subroutine Setvar  1\n fractiles set to x since n=1 1\n");
  EXPECT_EQ(error_file.text(), " Error in subroutine Setvar  1\n");
  EXPECT_EQ(standard_error.text(), " fractiles set to x since n=1 1\n");
}

}  // namespace
}  // namespace vok
