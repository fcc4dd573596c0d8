// Ordering by an index permutation (heapsort) and fractiles.
#pragma once

#include <span>

#include "stats/messages.h"

namespace vok {

// p receives 1-based indices with x(p(1)) <= ... <= x(p(n)); x is untouched.
// Requires x.size() >= 1 and p.size() >= x.size(). The order among equal
// values is the one the heapsort produces.
void indexx(std::span<const float> x, std::span<int> p);

// Status codes of sort.
inline constexpr int kSortOk = 0;
inline constexpr int kSortEmpty = 1;
inline constexpr int kSortBadControl = 2;
inline constexpr int kSortNoFractiles = 3;
inline constexpr int kSortSingleValue = 4;

// Control 'S' orders x into p; 'F' takes the fractiles at `levels` into
// `fractiles` from a p ordered earlier; 'B' does both. Messages are
// raised on `messages`. Returns the status.
int sort(std::span<int> p, std::span<const float> x, std::span<const float> levels,
         std::span<float> fractiles, char control, Messages& messages);

// Where sort puts the fractile at `level` among n >= 2 ordered values: at
// position level (n + 1) between the order statistics k <= k1 (1-based),
// clamped to 1..n, with weight d on the upper one; a level of 1 or more is
// the largest value and one of 0 or less the smallest, not interpolated.
struct FractilePosition {
  int k, k1;
  float d;
  bool interpolated;
};
FractilePosition fractile_position(float level, int n);
// The fractile from the values at ranks k and k1, as sort forms it.
float fractile_value(const FractilePosition& at, float at_k, float at_k1);

// The fractile at `level` of x (at least two values, none NaN) that sort's
// control 'B' gives, found by selecting the one or two order statistics it
// interpolates between instead of ordering x: the same value to the last bit
// (only the values at the two ranks count, not the order among equal ones),
// in time linear in x.size(). x is reordered.
float select_fractile(std::span<float> x, float level);

}  // namespace vok
