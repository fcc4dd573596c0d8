// The seven tests, their names, and the orders in which vok's outputs list
// them. Every layer takes its order from here: the library, the console
// program's files and lines, the Python and R tables, and vok-plot, which
// reads the files without linking the library (this header needs nothing of
// it). <vok/vok.h> includes it.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace vok {

// The seven tests: correlation tests Cx, Cy, Cxy and bicorrelation tests
// Hxxx, Hyyy, Hxxy, Hyyx.
enum class Test { hxxy, hyyx, hxxx, hyyy, cx, cy, cxy };

inline constexpr int kTestCount = 7;

// Position of a test in kTests, the index of arrays held in that order.
constexpr std::size_t test_index(Test test) {
  return static_cast<std::size_t>(test);
}

// Order of the thresholds, the significance counts and the bootstrap's
// arrays: Hxxy, Hyyx, Hxxx, Hyyy, Cx, Cy, Cxy.
inline constexpr std::array<Test, kTestCount> kTests{Test::hxxy, Test::hyyx, Test::hxxx, Test::hyyy,
                                                     Test::cx,   Test::cy,   Test::cxy};

// Order of the per-test columns of the frame table (NAME.csv), of the Python
// and R tables and of the console's closing line: Cx, Cy, Cxy, Hxxx, Hyyy,
// Hxxy, Hyyx.
inline constexpr std::array<Test, kTestCount> kColumnOrder{
    Test::cx, Test::cy, Test::cxy, Test::hxxx, Test::hyyy, Test::hxxy, Test::hyyx};

// Order of the seven CDF values of a graph record: Hxxy, Hyyx, Hxxx, Hyyy,
// Cxy, Cx, Cy.
inline constexpr std::array<Test, kTestCount> kGraphOrder{
    Test::hxxy, Test::hyyx, Test::hxxx, Test::hyyy, Test::cxy, Test::cx, Test::cy};

// "Hxxy", "Hyyx", ..., "Cxy" (kTests order).
inline constexpr std::array<std::string_view, kTestCount> kTestNames{"Hxxy", "Hyyx", "Hxxx", "Hyyy",
                                                                     "Cx",   "Cy",   "Cxy"};

constexpr std::string_view test_name(Test test) {
  return kTestNames[test_index(test)];
}

// The bicorrelation tests (kTests order): Hxxy, Hyyx, Hxxx, Hyyy. The
// others are the correlation tests.
inline constexpr std::array<Test, 4> kBicorrelationTests{Test::hxxy, Test::hyyx, Test::hxxx,
                                                         Test::hyyy};

constexpr bool is_bicorrelation(Test test) {
  for (Test t : kBicorrelationTests)
    if (t == test) return true;
  return false;
}

// The colour of each test in the pictures of the p-values, seven distinct
// ones (kTests order; vok-plot, its run page, the Python and the R plots
// draw with these).
inline constexpr std::array<std::string_view, kTestCount> kTestColours{
    "#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#8c564b", "#e377c2", "#ff7f0e"};

constexpr std::string_view test_colour(Test test) {
  return kTestColours[test_index(test)];
}

// The smallest p-value the pictures draw: a p-value below it (0 among them)
// is drawn at it, the bottom line. A CDF value the report writes as 1.0000
// leaves at most this much.
inline constexpr double kSmallestPValueDrawn = 0.00005;

namespace detail {
// Each order names each test once; kTests is the order of Test's enumerators
// (test_index relies on it).
constexpr bool is_order(const std::array<Test, kTestCount>& order) {
  std::array<int, kTestCount> seen{};
  for (Test t : order) {
    if (test_index(t) >= seen.size()) return false;
    ++seen[test_index(t)];
  }
  for (int n : seen)
    if (n != 1) return false;
  return true;
}
constexpr bool enumerator_order(const std::array<Test, kTestCount>& order) {
  for (std::size_t i = 0; i < order.size(); ++i)
    if (test_index(order[i]) != i) return false;
  return true;
}
}  // namespace detail
static_assert(detail::enumerator_order(kTests));
static_assert(detail::is_order(kColumnOrder) && detail::is_order(kGraphOrder));

}  // namespace vok
