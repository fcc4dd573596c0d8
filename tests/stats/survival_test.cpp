#include "stats/survival.h"

#include <cmath>

#include <gtest/gtest.h>

namespace vok {
namespace {

// Reference values from scipy 1.10.1:
//   from scipy.stats import chi2; print("%.17g" % chi2.sf(x, df))
// They cover both branches (series below df/2 + 1, continued fraction above),
// the far tail where 1 - CDF in 32 bits is 0, and the degrees of freedom of
// the list tests of long frames (L = 40: df = L(2L + 1) = 3240).
struct Case {
  double x;
  int df;
  double want;
};
constexpr Case kCases[] = {
    {0.5, 1, 0.47950012218695337},      {3.84, 1, 0.050043521248705189},
    {10, 5, 0.075235246146512169},      {50, 5, 1.3857973367009573e-09},
    {200, 10, 1.6139305336977317e-37},  {0.001, 3, 0.9999915920809419},
    {3000, 3240, 0.99885602063621814},  {3500, 3240, 0.00080100795765928473},
    {4500, 3240, 8.3119918325493356e-45}, {100, 1, 1.5239706048320995e-23},
    {700, 3, 2.0991308534204487e-151},  {20, 20, 0.45792971447185232},
    {21, 20, 0.39713259935081091},
};

TEST(ChiSquareSurvival, AgreesWithAReferenceToElevenDigitsIntoTheFarTail) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << "x = " << c.x << ", df = " << c.df);
    // ln of the prefactor is about -1e4 at df 3240, so 1e-12 of it is lost.
    EXPECT_NEAR(chi_square_survival(c.x, c.df) / c.want, 1.0, 1e-11);
  }
}

TEST(ChiSquareSurvival, EdgesOfItsDomain) {
  EXPECT_EQ(chi_square_survival(0.0, 3), 1.0);
  EXPECT_EQ(chi_square_survival(-1.0, 3), 1.0);
  EXPECT_EQ(chi_square_survival(INFINITY, 3), 0.0);
  EXPECT_TRUE(std::isnan(chi_square_survival(1.0, 0)));  // no degrees of freedom: no test
  EXPECT_TRUE(std::isnan(chi_square_survival(NAN, 3)));
  const double beyond_doubles = chi_square_survival(1500.0, 1);  // about 1e-328
  EXPECT_GE(beyond_doubles, 0.0);
  EXPECT_LT(beyond_doubles, 1e-300);
}

}  // namespace
}  // namespace vok
