// Edit descriptors as tables of {layout, values, expected lines}.
// Where a compiler's rendering served as a second opinion, the rendering was
// taken from gfortran 12 with write(*,'(<layout>)') <values>; the rules of the
// reports win where the two differ (a negative value that rounds to zero is
// written without its minus sign).
#include "output/layout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace vok {
namespace {

struct Case {
  std::string_view layout;
  std::vector<Value> values;
  std::vector<std::string> want;
};

void check(const Case& c) {
  SCOPED_TRACE(std::string(c.layout));
  Layout layout = Layout::parse(c.layout);
  EXPECT_EQ(layout.format(c.values), c.want);
}

TEST(LayoutFixed, Table) {
  const Case cases[] = {
      {"F5.2", {-1.0f}, {"-1.00"}},
      {"F5.2", {0.5f}, {" 0.50"}},
      {"F5.2", {-0.001f}, {" 0.00"}},  // rounds to zero: no minus sign
      {"SP F5.2", {-0.001f}, {"+0.00"}},
      {"SP F7.4", {0.25f}, {"+0.2500"}},
      {"F6.4", {0.05f}, {"0.0500"}},
      {"F5.4", {0.95f}, {".9500"}},  // no room for the leading zero
      {"F4.2", {-0.5f}, {"-.50"}},
      {"F3.2", {-0.5f}, {"***"}},
      {"F5.2", {0.125f}, {" 0.12"}},  // exact binary tie: to even
      {"F5.2", {0.375f}, {" 0.38"}},
      {"F4.0", {2.5f}, {"  2."}},
      {"F5.2", {123.0f}, {"*****"}},
      {"F5.1", {12.5f}, {" 12.5"}},
      {"F10.7", {1.0f}, {" 1.0000000"}},
      {"F6.3", {-0.0f}, {" 0.000"}},
      {"F7.4", {std::numeric_limits<float>::quiet_NaN()}, {"    NaN"}},
      {"F7.4", {std::numeric_limits<float>::infinity()}, {"    Inf"}},
      {"F10.2", {-std::numeric_limits<float>::infinity()}, {" -Infinity"}},
      {"F9.2", {59.99f}, {"    59.99"}},
  };
  for (const Case& c : cases) check(c);
}

TEST(LayoutGeneral, Table) {
  const Case cases[] = {
      {"G9.4", {0.95f}, {".9500    "}},
      {"G9.4", {0.05f}, {".5000E-01"}},
      {"G12.3", {12.345f}, {"    12.3    "}},
      {"G12.3", {123456.0f}, {"   0.123E+06"}},
      {"G12.3", {0.0f}, {"    0.00    "}},
      {"G9.4", {0.99996f}, {"1.000    "}},  // rounds up into the next decade
      {"G9.4", {9999.6f}, {".1000E+05"}},
      {"G10.3", {-1.0f}, {" -1.00    "}},
      {"G10.2", {15.344f}, {"   15.    "}},
      {"G14.4", {0.1f}, {"    0.1000    "}},
      {"G14.4", {0.2f}, {"    0.2000    "}},
      {"G12.3", {-1.0f}, {"   -1.00    "}},
      {"G10.3", {0.0f}, {"  0.00    "}},
      {"G14.3", {1e-5f}, {"     0.100E-04"}},
      {"G10.3", {-1.912f}, {" -1.91    "}},
      // More significant digits than a short buffer holds.
      {"E80.70", {1.0f}, {"    0.1" + std::string(69, '0') + "E+01"}},
      {"G80.70", {0.5f}, {"    0.5" + std::string(69, '0') + "    "}},
      {"F560.550", {0.5f}, {std::string(8, ' ') + "0.5" + std::string(549, '0')}},
      // No column left for the fixed form beside its four blanks.
      {"G4.1", {1.5f}, {"****"}},
      {"G1.5", {0.0f}, {"*"}},
      {"G2.1", {1e10f}, {"**"}},
      {"G3.600", {1.5f}, {"***"}},
  };
  for (const Case& c : cases) check(c);
}

TEST(LayoutIntegerAndText, Table) {
  const Case cases[] = {
      {"I3", {1000}, {"***"}},
      {"SP I6", {1}, {"    +1"}},
      {"I5", {-42}, {"  -42"}},
      {"I2", {9}, {" 9"}},
      {"I0", {1234}, {"1234"}},
      {"A5", {"abcdefg"}, {"abcde"}},
      {"A5", {"ab"}, {"   ab"}},
      {"A", {"as is "}, {"as is "}},
      {R"("x" I3 "y")", {7}, {"x  7y"}},
      // A real under I is cut to its integer part; one that no integer holds
      // (NaN, infinities, beyond 2^63) fills the field with asterisks.
      {"I4", {-12.7f}, {" -12"}},
      {"I4", {std::nanf("")}, {"****"}},
      {"I4", {-INFINITY}, {"****"}},
      {"I5", {1e30f}, {"*****"}},
  };
  for (const Case& c : cases) check(c);
}

TEST(LayoutLines, SlashesColonsAndValuesRunningOut) {
  const Case cases[] = {
      {R"(60("="))", {}, {std::string(60, '=')}},
      {R"(/ 7X "ERROR - 1/resamples > test threshold " F7.5 /)",
       {},
       {"", "       ERROR - 1/resamples > test threshold "}},
      {R"(/ 7X "Increase number of resamples in Run = " I2 /)",
       {3},
       {"", "       Increase number of resamples in Run =  3", ""}},
      {R"(A80 /)", {"title"}, {std::string(75, ' ') + "title", ""}},
      {"I2 // I2", {1, 2}, {" 1", "", " 2"}},
      {"700(: F6.3 2X)", {0.1f, -0.2f, 0.3f}, {" 0.100  -0.200   0.300  "}},
      {R"L(700(: "xy(" I3 ")" 1X))L", {-1, 0, 1}, {"xy( -1) xy(  0) xy(  1) "}},
      {R"("a" I2 "b" I2 "c")", {1}, {"a 1b"}},
      {R"(SP I6 7(1X F7.4))",
       {1, 0.25f, 0.5f, 0.0f, 1.0f, 0.125f, 0.75f, 0.1f},
       {"    +1 +0.2500 +0.5000 +0.0000 +1.0000 +0.1250 +0.7500 +0.1000"}},
  };
  for (const Case& c : cases) check(c);
}

TEST(LayoutLines, ReversionGoesToTheLastGroup) {
  // More values than the layout holds: a new line from the last top-level group.
  check({"I2 2(I3)", {1, 2, 3, 4, 5, 6}, {" 1  2  3", "  4  5", "  6"}});
  // No group: back to the start.
  check({"I2 1X", {1, 2, 3}, {" 1 ", " 2 ", " 3 "}});
  // A record of more than 700 values continues on further lines.
  std::vector<Value> many(702, Value(0.5f));
  Layout xy = Layout::parse("700(: F6.3 2X)");
  std::vector<std::string> lines = xy.format(many);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].size(), 700u * 8);
  EXPECT_EQ(lines[1], " 0.500   0.500  ");
}

TEST(LayoutLines, ReversionWithoutValueFieldsStops) {
  // Values left over and nothing that takes them: the layout is written once.
  check({R"(3("-"))", {1, 2}, {"---"}});
}

TEST(LayoutParse, RecordFormats) {
  Layout f = Layout::parse("(a19,1x,3f12.4)");
  ASSERT_EQ(f.edits().size(), 3u);
  EXPECT_EQ(f.edits()[0].kind, EditKind::text);
  EXPECT_EQ(f.edits()[0].width, 19);
  EXPECT_EQ(f.edits()[1].kind, EditKind::blanks);
  EXPECT_EQ(f.edits()[2].kind, EditKind::fixed);
  EXPECT_EQ(f.edits()[2].count, 3);
  EXPECT_EQ(f.reversion_point(), 0);
  // Text after the closing parenthesis is not part of the format.
  EXPECT_EQ(Layout::parse("(2F10.3)   junk").edits().size(), 1u);
  Layout g = Layout::parse("(f5.1,2(i3,e10.3e2),t20,tl3,tr2,d9.2)");
  EXPECT_EQ(g.edits()[g.reversion_point()].kind, EditKind::group_open);
  EXPECT_EQ(g.edits()[g.reversion_point()].count, 2);
}

TEST(LayoutParse, BadLayoutsAreReportedWithTheirOffset) {
  const char* bad[] = {"(2f10.3",
                       "F7",
                       "Q5",
                       "I",
                       "\"open",
                       "0I3",
                       "2000000I3",
                       "F1000000.2",
                       "3(",
                       ")",
                       "A0",
                       "T0",
                       "999999\"twelve chars\"",  // 12 MB of repeated text
                       "(((((((((((((((((((((((((((((((((((I1)))))))))))))))))))))))))))))))))))"};
  for (const char* text : bad) {
    SCOPED_TRACE(text);
    EXPECT_THROW(Layout::parse(text), LayoutError);
  }
  try {
    Layout::parse("I5 2X Q7");
    ADD_FAILURE() << "an unknown descriptor was accepted";
  } catch (const LayoutError& e) {
    EXPECT_EQ(e.offset(), 6u);
    EXPECT_NE(std::string(e.what()).find("Q7"), std::string::npos);
  }
}

}  // namespace
}  // namespace vok
