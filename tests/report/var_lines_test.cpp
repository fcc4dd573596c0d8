#include "report/var_lines.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "output/free_format.h"

namespace vok {
namespace {

std::string lines(std::initializer_list<std::string> ls) {
  std::string out;
  for (const std::string& l : ls) out += l + "\n";
  return out;
}

class DisvarTest : public ::testing::Test {
 protected:
  DisvarTest() { out.capture(); }
  Channel out;
};

TEST_F(DisvarTest, LayoutOfTwoSeriesTwoLags) {
  VarFit f;
  f.phi = {0.5, -0.125, 0.25, 0.0, -1.5, 2.0, 0.1, -0.3};
  f.se = {0.25f, 0.5f, 0.1f, 2.0f, 0.75f, 4.0f, 0.05f, 0.2f};
  f.resid_se = {1.0f, 1.0f};
  f.r_square = 0.4321f;
  disvar(f, 2, 2, out);
  EXPECT_EQ(out.text(), lines({"",
                               "                    R Square =  0.432",
                               "",
                               "                 VAR(  2) parameters / t values",
                               "          ==============================================",
                               "",
                               "",
                               "       Equation  1    Lag  1",
                               "",
                               " c( 1) =   0.500  c( 2) =  -0.125  ",
                               "",
                               "    t  =    2.00     t  =   -0.25   ",
                               "",
                               "       Equation  1    Lag  2",
                               "",
                               " c( 1) =   0.250  c( 2) =   0.000  ",
                               "",
                               "    t  =    2.50     t  =    0.00   ",
                               "",
                               "       Equation  2    Lag  1",
                               "",
                               " c( 1) =  -1.500  c( 2) =   2.000  ",
                               "",
                               "    t  =   -2.00     t  =    0.50   ",
                               "",
                               "       Equation  2    Lag  2",
                               "",
                               " c( 1) =   0.100  c( 2) =  -0.300  ",
                               "",
                               "    t  =    2.00     t  =   -1.50   "}));
}

TEST_F(DisvarTest, ChecksOnlyTheFirstPStandardErrors) {
  VarFit f;
  f.phi = {0.5, -0.125, 0.25, 0.0, -1.5, 2.0, 0.1, -0.3};
  f.r_square = 0.5f;
  f.resid_se = {1.0f, 1.0f};

  // Entry 3 lies beyond the first p = 2: the block is written.
  f.se = {0.25f, 0.5f, -0.5f, 2.0f, 0.75f, 4.0f, 0.05f, 0.2f};
  disvar(f, 2, 2, out);
  EXPECT_NE(out.text().find(" c( 1) =   0.250  c( 2) =   0.000  \n\n    t  =   -0.50"),
            std::string::npos)
      << out.text();

  // Entries 1 and 2 bad: one line each and no block.
  out.clear_text();
  f.se = {0.0f, -0.5f, 1.0f, 2.0f, 0.75f, 4.0f, 0.05f, 0.2f};
  disvar(f, 2, 2, out);
  EXPECT_EQ(out.text(),
            free_format({"Standard error ", 0.0f, " k = ", 1, " < 0 in disvar"}) + "\n" +
                free_format({"Standard error ", -0.5f, " k = ", 2, " < 0 in disvar"}) + "\n");
}

TEST_F(DisvarTest, LinesHoldAtMostFiftyGroups) {
  const int k = 51;
  VarFit f;
  f.phi.assign(k * k, 0.25);
  f.se.assign(k * k, 0.5f);
  f.resid_se.assign(k, 1.0f);
  f.r_square = 0.5f;
  disvar(f, k, 1, out);
  std::string group_c, group_t;
  for (int u = 1; u <= 50; ++u) {
    group_c += (u < 10 ? "c( " : "c(") + std::to_string(u) + ") =   0.250  ";
    group_t += "  t  =    0.50   ";
  }
  // The 51st group continues on a new line from the start of the group.
  const std::string equation_1 =
      lines({"       Equation  1    Lag  1", "", " " + group_c, "c(51) =   0.250  ", "",
             "  " + group_t, "  t  =    0.50   "});
  EXPECT_NE(out.text().find(equation_1), std::string::npos) << out.text().substr(0, 2000);
}

}  // namespace
}  // namespace vok
