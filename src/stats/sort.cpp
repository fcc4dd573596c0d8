#include "stats/sort.h"

#include <algorithm>
#include <string>

namespace vok {

void indexx(std::span<const float> x, std::span<int> p) {
  const int n = static_cast<int>(x.size());
  // 1-based views of the two arrays, so the heap arithmetic reads as usual.
  auto X = [&](int i) { return x[i - 1]; };
  auto P = [&](int i) -> int& { return p[i - 1]; };
  if (n == 1) {
    P(1) = 1;
    return;
  }
  for (int j = 1; j <= n; ++j) P(j) = j;
  int l = n / 2 + 1;
  int h = n;
  for (;;) {
    int t;
    float v;
    if (l > 1) {
      --l;
      t = P(l);
      v = X(t);
    } else {
      t = P(h);
      v = X(t);
      P(h) = P(1);
      if (--h == 1) {
        P(1) = t;
        return;
      }
    }
    // Sift t down from l; strict comparisons, so ties keep the order this
    // heap produces (the result is not stable).
    int i = l;
    int j = l + l;
    while (j <= h) {
      if (j < h && X(P(j)) < X(P(j + 1))) ++j;
      if (v < X(P(j))) {
        P(i) = P(j);
        i = j;
        j += j;
      } else {
        j = h + 1;
      }
    }
    P(i) = t;
  }
}

FractilePosition fractile_position(float level, int n) {
  if (level >= 1.0f) return {n, n, 0.0f, false};
  if (level <= 0.0f) return {1, 1, 0.0f, false};
  // Position f (n + 1) between two order statistics, clamped to 1..n.
  const float z = level * static_cast<float>(n + 1);
  int k = static_cast<int>(z);
  const float d = z - static_cast<float>(k);
  const int k1 = std::min(k + 1, n);
  k = std::min(std::max(k, 1), n);
  return {k, k1, d, true};
}

float fractile_value(const FractilePosition& at, float at_k, float at_k1) {
  return at.interpolated ? (1.0f - at.d) * at_k + at.d * at_k1 : at_k;
}

float select_fractile(std::span<float> x, float level) {
  const FractilePosition at = fractile_position(level, static_cast<int>(x.size()));
  const auto at_k = x.begin() + (at.k - 1);
  std::nth_element(x.begin(), at_k, x.end());
  const float lower = *at_k;
  // Rank k + 1 is the least of the values after rank k.
  const float upper = at.k1 == at.k ? lower : *std::min_element(at_k + 1, x.end());
  return fractile_value(at, lower, upper);
}

int sort(std::span<int> p, std::span<const float> x, std::span<const float> levels,
         std::span<float> fractiles, char control, Messages& messages) {
  const int n = static_cast<int>(x.size());
  const int m = static_cast<int>(levels.size());
  int status = kSortOk;

  if (n < 1) {
    messages.raise(MessageKind::sort_empty, n);
    return kSortEmpty;
  }
  const bool orders = control == 'S' || control == 'B';
  const bool fractile = control == 'F' || control == 'B';
  if (!orders && !fractile) {
    status = kSortBadControl;
    messages.raise(MessageKind::sort_bad_control, control);
  }
  if (m <= 0 && control != 'S') {
    messages.raise(MessageKind::sort_no_fractiles, m);
    return kSortNoFractiles;
  }
  if (n == 1 && control != 'S') {
    messages.raise(MessageKind::sort_single_value, n);
    for (int i = 0; i < m; ++i) fractiles[i] = x[0];
    return kSortSingleValue;
  }
  if (orders) indexx(x, p);
  if (fractile) {
    auto ranked = [&](int k) { return x[p[k - 1] - 1]; };
    for (int i = 0; i < m; ++i) {
      const FractilePosition at = fractile_position(levels[i], n);
      fractiles[i] = fractile_value(at, ranked(at.k), ranked(at.k1));
    }
  }
  return status;
}

}  // namespace vok
