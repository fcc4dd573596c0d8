#include "stats/sort.h"

#include <algorithm>
#include <string>

#include "output/channel.h"

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

int sort(std::span<int> p, std::span<const float> x, std::span<const float> levels,
         std::span<float> fractiles, char control) {
  return sort(p, x, levels, fractiles, control, channels().console, channels().standard_error);
}

int sort(std::span<int> p, std::span<const float> x, std::span<const float> levels,
         std::span<float> fractiles, char control, Channel& console, Channel& standard_error) {
  const int n = static_cast<int>(x.size());
  const int m = static_cast<int>(levels.size());
  int status = kSortOk;

  if (n < 1) {
    console.write_free({"n in x(n) < 1 ", n});
    return kSortEmpty;
  }
  const bool orders = control == 'S' || control == 'B';
  const bool fractile = control == 'F' || control == 'B';
  if (!orders && !fractile) {
    status = kSortBadControl;
    console.write_free({"Isrt control character in SORT is wrong ", std::string(1, control)});
  }
  if (m <= 0 && control != 'S') {
    console.write_free({"Number of fractiles in SORT <= 0: ", m});
    return kSortNoFractiles;
  }
  if (n == 1 && control != 'S') {
    console.write_free({"fractiles set to x since n=1", n});
    standard_error.write_free({"fractiles set to x since n=1", n});
    for (int i = 0; i < m; ++i) fractiles[i] = x[0];
    return kSortSingleValue;
  }
  if (orders) indexx(x, p);
  if (fractile) {
    auto ranked = [&](int k) { return x[p[k - 1] - 1]; };
    for (int i = 0; i < m; ++i) {
      const float f = levels[i];
      if (f >= 1.0f) {
        fractiles[i] = ranked(n);
      } else if (f <= 0.0f) {
        fractiles[i] = ranked(1);
      } else {
        // Position f (n + 1) between two order statistics, clamped to 1..n.
        const float z = f * static_cast<float>(n + 1);
        int k = static_cast<int>(z);
        const float d = z - static_cast<float>(k);
        const int k1 = std::min(k + 1, n);
        k = std::min(std::max(k, 1), n);
        fractiles[i] = (1.0f - d) * ranked(k) + d * ranked(k1);
      }
    }
  }
  return status;
}

}  // namespace vok
