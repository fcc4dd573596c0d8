#include "stats/var.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <new>

#include "stats/cholesky.h"

namespace vok {
namespace {

// Allocates `count` elements, or raises the allocation message of the arrays'
// owner and halts.
template <typename T>
std::vector<T> allocate(std::size_t count, Arrays owner, Messages& out) {
  try {
    return std::vector<T>(count, T{});
  } catch (const std::bad_alloc&) {
    halt_out_of_memory(out, owner);
  }
}

// Two doubles side by side: two sums, each in its own lane.
typedef double Pair2 __attribute__((vector_size(16)));

// The uncentred moment sums of lag h, S(g, u) = sum over t = 1..n - h of
// x(t + h, g) x(t, u), into sums[(g - 1) k + u - 1], each added in rising t.
// For two series, the case of every frame, the four sums are formed side by
// side in one pass.
void lagged_sums(std::span<const float> series, int k, int n, int h, double* sums) {
  const float* x = series.data();
  if (k == 2) {
    const float* y = x + n;
    Pair2 x_lead{}, y_lead{};  // {S(1, 1), S(1, 2)} and {S(2, 1), S(2, 2)}
    for (int t = 0; t < n - h; ++t) {
      const Pair2 now = {x[t], y[t]};
      x_lead += static_cast<double>(x[t + h]) * now;
      y_lead += static_cast<double>(y[t + h]) * now;
    }
    sums[0] = x_lead[0];
    sums[1] = x_lead[1];
    sums[2] = y_lead[0];
    sums[3] = y_lead[1];
    return;
  }
  for (int g = 0; g < k; ++g) {
    for (int u = 0; u < k; ++u) {
      const float* lead = x + static_cast<std::size_t>(g) * n + h;
      const float* same = x + static_cast<std::size_t>(u) * n;
      double s = 0.0;
      for (int t = 0; t < n - h; ++t) s += static_cast<double>(lead[t]) * same[t];
      sums[g * k + u] = s;
    }
  }
}

// The residuals of equation g, e(t) = x(t, g) - sum over h = 1..p, u = 1..k
// of phi(g; h, u) x(t - h, u) (0 for t <= p), and their sums of squares
// ssr[g - 1] in rising t. For two series the two equations share one pass.
// With a constant, c[g] is subtracted from each fitted equation g first
// (e = x - c - sum ...).
template <bool kConstant>
void residual_sums(std::span<const float> series, std::span<float> residuals, int k, int n, int p,
                   const double* phi, const double* c0, double* ssr) {
  const int kp = k * p;
  const float* x = series.data();
  for (int g = 0; g < k; ++g)
    std::fill_n(residuals.data() + static_cast<std::size_t>(g) * n, std::min(p, n), 0.0f);
  // The fitted value of equation g at time t (0-based), its terms in the
  // order h = 1..p, u = 1..k.
  const auto fitted = [&](int g, int t) {
    const double* c = phi + static_cast<std::size_t>(g) * kp;
    double sum = 0.0;
    for (int h = 1; h <= p; ++h)
      for (int u = 0; u < k; ++u)
        sum += c[(h - 1) * k + u] * x[static_cast<std::size_t>(u) * n + t - h];
    return sum;
  };
  if (k == 2) {
    // Both equations' fitted values side by side, their coefficients paired
    // term by term.
    std::vector<Pair2> coefficients(static_cast<std::size_t>(kp));
    for (int j = 0; j < kp; ++j) coefficients[j] = Pair2{phi[j], phi[kp + j]};
    float* ex = residuals.data();
    float* ey = ex + n;
    const float* y = x + n;
    Pair2 squares{};
    for (int t = p; t < n; ++t) {
      Pair2 sum{};
      const Pair2* c = coefficients.data();
      for (int h = 1; h <= p; ++h, c += 2) {
        sum += c[0] * static_cast<double>(x[t - h]);
        sum += c[1] * static_cast<double>(y[t - h]);
      }
      Pair2 level = Pair2{x[t], y[t]};
      if constexpr (kConstant) level -= Pair2{c0[0], c0[1]};
      const Pair2 residual = level - sum;
      ex[t] = static_cast<float>(residual[0]);
      ey[t] = static_cast<float>(residual[1]);
      squares += residual * residual;
    }
    ssr[0] = squares[0];
    ssr[1] = squares[1];
    return;
  }
  for (int g = 0; g < k; ++g) {
    float* e = residuals.data() + static_cast<std::size_t>(g) * n;
    const float* own = x + static_cast<std::size_t>(g) * n;
    double sum = 0.0;
    for (int t = p; t < n; ++t) {
      double level = own[t];
      if constexpr (kConstant) level -= c0[g];
      const double residual = level - fitted(g, t);
      e[t] = static_cast<float>(residual);
      sum += residual * residual;
    }
    ssr[g] = sum;
  }
}

// The constant of each equation: the mean over t = p + 1..n of
// x(t, g) - sum phi(g; h, u) x(t - h, u), summed in double in rising t.
void intercepts(std::span<const float> series, int k, int n, int p, const double* phi,
                double* c0) {
  const int kp = k * p;
  const float* x = series.data();
  for (int g = 0; g < k; ++g) {
    const double* c = phi + static_cast<std::size_t>(g) * kp;
    const float* own = x + static_cast<std::size_t>(g) * n;
    double sum = 0.0;
    for (int t = p; t < n; ++t) {
      double fitted = 0.0;
      for (int h = 1; h <= p; ++h)
        for (int u = 0; u < k; ++u)
          fitted += c[(h - 1) * k + u] * x[static_cast<std::size_t>(u) * n + t - h];
      sum += own[t] - fitted;
    }
    c0[g] = n > p ? sum / (n - p) : 0.0;
  }
}

// The series centred on their means (each summed in double in rising t),
// rounded to 32 bits.
std::vector<float> centred(std::span<const float> series, int k, int n, Messages& out) {
  std::vector<float> c = allocate<float>(static_cast<std::size_t>(k) * n, Arrays::var_equations, out);
  for (int g = 0; g < k; ++g) {
    const float* own = series.data() + static_cast<std::size_t>(g) * n;
    float* to = c.data() + static_cast<std::size_t>(g) * n;
    double sum = 0.0;
    for (int t = 0; t < n; ++t) sum += own[t];
    const double mean = n > 0 ? sum / n : 0.0;
    for (int t = 0; t < n; ++t) to[t] = static_cast<float>(own[t] - mean);
  }
  return c;
}

}  // namespace

VarFit fit(std::span<const float> series, std::span<float> residuals, int k, int n, int p,
           Messages& out, Trend trend) {
  const bool constant = trend == Trend::c;
  const int kp = k * p;
  const int m = k * kp;
  const auto order = static_cast<std::size_t>(m);

  VarFit result;
  // The coefficients and their standard errors belong to setvar's call, the
  // normal equations to var's; each has its own allocation message.
  result.phi = allocate<double>(order, Arrays::var_coefficients, out);
  result.se = allocate<float>(order, Arrays::var_coefficients, out);
  std::vector<double> a = allocate<double>(order * order, Arrays::var_equations, out);
  std::vector<double> rhs = allocate<double>(order, Arrays::var_equations, out);
  std::vector<double> diag = allocate<double>(order, Arrays::var_equations, out);
  result.resid_se = allocate<float>(static_cast<std::size_t>(k), Arrays::var_equations, out);

  auto matrix = [&](int i, int j) -> double& {
    return a[static_cast<std::size_t>(j - 1) * order + static_cast<std::size_t>(i - 1)];
  };

  // Lagged moments M(g, u, h) = (1/n) sum x(t + h, g) x(t, u), uncentred. The
  // matrix is block-diagonal with k equal blocks, one per equation; within a
  // block the regressor pair (lag l, series g), (lag l + h, series u) gets
  // M(g, u, h). Only pairs whose column lag is at least their row lag are
  // filled: the upper triangle, which is all the factorisation reads.
  const auto pairs = static_cast<std::size_t>(k) * k;
  std::vector<double> sums = allocate<double>(pairs * (p + 1), Arrays::var_equations, out);
  {
    // The slopes of a fit with a constant come from the centred series.
    std::vector<float> centred_series;
    if (constant) centred_series = centred(series, k, n, out);
    const std::span<const float> moments_of =
        constant ? std::span<const float>(centred_series) : series;
    for (int h = 0; h <= p; ++h) lagged_sums(moments_of, k, n, h, sums.data() + h * pairs);
  }
  double total = 0.0;
  for (int g = 1; g <= k; ++g) {
    for (int h = 0; h <= p; ++h) {
      for (int u = 1; u <= k; ++u) {
        const double s = sums[h * pairs + (g - 1) * k + u - 1];
        if (h == 0 && u == g) total += s;
        const double moment = s / n;
        if (h >= 1) rhs[(g - 1) * kp + (h - 1) * k + u - 1] = moment;
        if (h < p) {
          for (int b = 1; b <= k; ++b)
            for (int l = 1; l <= p - h; ++l)
              matrix((b - 1) * kp + (l - 1) * k + g, (b - 1) * kp + (l + h - 1) * k + u) = moment;
        }
      }
    }
  }

  if (dcholdc(a, m, diag) != 0) {
    out.raise(MessageKind::cholesky_failed);
    result.status = 1;
    return result;
  }
  dcholsl(a, m, diag, rhs, result.phi);

  // Residuals. The first p times have no full set of lagged regressors and
  // are set to 0; the residual standard error still divides by n - k p, the
  // degrees of freedom of the whole system.
  const int dof = n - kp - (constant ? 1 : 0);
  std::vector<double> ssr = allocate<double>(static_cast<std::size_t>(k), Arrays::var_equations, out);
  if (constant) {
    result.constant = allocate<double>(static_cast<std::size_t>(k), Arrays::var_coefficients, out);
    intercepts(series, k, n, p, result.phi.data(), result.constant.data());
    residual_sums<true>(series, residuals, k, n, p, result.phi.data(), result.constant.data(),
                        ssr.data());
  } else {
    residual_sums<false>(series, residuals, k, n, p, result.phi.data(), nullptr, ssr.data());
  }
  double ssr_total = 0.0;
  for (int g = 1; g <= k; ++g) {
    ssr_total += ssr[g - 1];
    // With no degrees of freedom left the residual standard error, and with
    // it every coefficient standard error, is reported as 0: disvar then
    // writes its standard-error lines instead of a block of infinite t values.
    result.resid_se[g - 1] = dof > 0 ? static_cast<float>(std::sqrt(ssr[g - 1] / dof)) : 0.0f;
  }
  // T = 0 cannot pass the factorisation (every lag-0 moment would be 0); the
  // guard keeps the ratio defined whatever the caller hands in.
  result.r_square = total != 0.0 ? 1.0f - static_cast<float>(ssr_total / total) : 0.0f;

  // The inverse is that of the divisor-n moment matrix, n times the inverse of
  // the cross-product matrix: dividing its diagonal by n gives the usual
  // least-squares standard errors.
  dinverse(a, m, diag);
  for (int g = 1; g <= k; ++g) {
    const double s = result.resid_se[g - 1];
    for (int j = 1; j <= kp; ++j) {
      const int v = (g - 1) * kp + j;
      result.se[v - 1] = static_cast<float>(s * std::sqrt(matrix(v, v) / n));
    }
  }
  return result;
}

std::optional<VarFit> setvar(std::span<const float> series, std::span<float> residuals, int k,
                             int n, int p, Messages& messages, Trend trend) {
  if (p < 1) {
    const auto count = static_cast<std::size_t>(k) * static_cast<std::size_t>(n);
    std::copy_n(series.begin(), count, residuals.begin());
    return std::nullopt;
  }
  VarFit result = fit(series, residuals, k, n, p, messages, trend);
  if (result.status > 0) halt(messages, MessageKind::var_fit_failed, result.status);
  return result;
}

}  // namespace vok
