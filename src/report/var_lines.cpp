#include "report/var_lines.h"

#include <vector>

namespace vok {

void disvar(const VarFit& fit, int k, int p, Channel& out) {
  // After a failed factorisation there are no coefficients to show.
  if (fit.status != 0) return;

  // Only the first p entries are checked: lag 1 .. of equation 1.
  bool bad = false;
  for (int v = 1; v <= p; ++v) {
    if (fit.se[v - 1] <= 0.0f) {
      out.write_free({"Standard error ", fit.se[v - 1], " k = ", v, " < 0 in disvar"});
      bad = true;
    }
  }
  if (bad) return;

  static const Layout kRSquare = Layout::parse(R"(/ 20X "R Square = " F6.3 /)");
  static const Layout kTitle = Layout::parse(R"(17X "VAR(" I3 ") parameters / t values")");
  static const Layout kRule = Layout::parse(R"(10X 46("=") /)");
  static const Layout kEquation = Layout::parse(R"(/ 7X "Equation " I2 4X "Lag " I2 /)");
  // The colon ends each line after its k groups.
  static const Layout kCoefficients = Layout::parse(R"(1X 50(: "c(" I2 ") = " F7.3 2X))");
  static const Layout kTValues = Layout::parse(R"(/ 2X 50(: 2X "t  = " F7.2 3X))");

  out.write(kRSquare, {fit.r_square});
  out.write(kTitle, {p});
  out.write(kRule);
  const int kp = k * p;
  std::vector<Value> coefficients;
  std::vector<Value> t_values;
  for (int g = 1; g <= k; ++g) {
    for (int h = 1; h <= p; ++h) {
      out.write(kEquation, {g, h});
      coefficients.clear();
      t_values.clear();
      for (int u = 1; u <= k; ++u) {
        const int v = (g - 1) * kp + (h - 1) * k + u;
        const double phi = fit.phi[v - 1];
        coefficients.emplace_back(u);
        coefficients.emplace_back(phi);
        t_values.emplace_back(phi / fit.se[v - 1]);
      }
      out.write(kCoefficients, coefficients);
      out.write(kTValues, t_values);
    }
  }
  // A fit with a constant shows it last, in a line of its own.
  if (fit.constant.size() == static_cast<std::size_t>(k)) {
    static const Layout kConstants =
        Layout::parse(R"(/ 7X "Constants" 50(: 2X "c0(" I2 ") = " G12.4))");
    std::vector<Value> constants;
    for (int g = 1; g <= k; ++g) {
      constants.emplace_back(g);
      constants.emplace_back(fit.constant[g - 1]);
    }
    out.write(kConstants, constants);
  }
}

}  // namespace vok
