// The keyword field readers as tables of {search text, text, expected result}.
// Positions are 1-based; a text shorter than 700 characters reads as if
// padded with blanks to 700.
#include "input/fields.h"

#include <gtest/gtest.h>

#include <string>

namespace vok {
namespace {

// Characters from 0-based index `from` up to character 700, blank-padded: what
// a range message shows of the text.
std::string rest_of(const std::string& text, std::size_t from) {
  std::string rest = from < text.size() ? text.substr(from, 700 - from) : std::string();
  rest.resize(700 - from, ' ');
  return rest;
}

std::string range_message(const std::string& text, std::size_t from, const char* bound) {
  return " The number  " + rest_of(text, from) + "  " + bound + "\n";
}

struct IntegerCase {
  std::string search;
  std::string text;
  int error;
  std::int32_t value;
  int position;
};

TEST(Numread, Table) {
  const std::string at_end = std::string(690, ' ') + "lw=1234567";  // last digit is character 700
  const IntegerCase cases[] = {
      {"ength", "frame length = 48 ", 0, 48, 16},
      {"ength   ", "frame length = 48 ", 0, 48, 16},  // trailing blanks of the search text
      {"lw", "lw =48 ", 0, 48, 5},
      {"lw", "lw =  48 ", 0, 48, 7},  // two blanks skipped
      {"lw", "lw =   48 ", 3, 0, 7},  // a third blank leaves an empty value
      {"lw", "lw =-48 ", 0, -48, 6},
      {"lw", "lw = -48 ", 0, -48, 7},
      {"lw", "lw = - 48 ", 3, 0, 7},  // blank between sign and digits
      {"lw", "lw = 9999999 ", 0, 9999999, 6},
      {"lw", "lw = 0 ", 0, 0, 6},
      {"lw", "frame 48 ", 1, 0, 0},
      {"lw", "lw 48 ", 2, 0, 0},
      {"lw", "lw 48 = 5 ", 0, 5, 9},       // the mark may stand anywhere after the search text
      // Only digits after the optional "-": anything else is error 3.
      {"n", "n = +5 ", 3, 0, 5},
      {"ength", "frame length=20x ", 3, 0, 14},
      {"lag", "VAR lag=1. ", 3, 0, 9},
      {"ength", "frame length=200.0 ", 3, 0, 14},
      {"start", "start datum=1.5 ", 3, 0, 13},
      {"sample", "resamples=1e3 ", 3, 0, 11},
      {"lw", "lw = 4-8 ", 3, 0, 6},
      {"lw", "lw = --8 ", 3, 0, 7},
      {"end", "end=3 x end=5 ", 0, 3, 5},  // first occurrence wins
      {"lw", at_end, 3, 0, 694},           // no terminator within 700 characters
      {"lw", at_end + " ", 3, 0, 694},     // character 701 is never looked at
      {"lw", std::string(698, ' ') + "lw=5 ", 2, 0, 0},  // "=" is character 701
      {"lw", std::string(699, ' ') + "lw=5 ", 1, 0, 0},  // search text reaches past 700
  };
  for (const IntegerCase& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 40) + " / " + c.search);
    FieldReaders readers;
    Channel diag;
    diag.capture();
    auto r = readers.numread(c.search, c.text, diag);
    EXPECT_EQ(r.error, c.error);
    if (c.error == 0) {
      EXPECT_EQ(r.value, c.value);
    }
    EXPECT_EQ(r.position, c.position);
    EXPECT_EQ(diag.text(), "");
  }
}

TEST(Numread, EightDigitsWriteTheRangeMessage) {
  FieldReaders readers;
  Channel diag;
  diag.capture();
  const std::string text = "lw = 12345678 rest";
  auto r = readers.numread("lw", text, diag);
  EXPECT_EQ(r.error, 4);
  EXPECT_EQ(r.position, 6);
  EXPECT_EQ(diag.text(), range_message(text, 5, "> 999999"));
}

// Row counts and datums: up to 10 digits, values up to 2,147,483,647.
TEST(LongNumread, TenDigitsUpToTheLargestInteger) {
  struct Case {
    std::string text;
    int error;
    std::int32_t value;
  };
  const Case cases[] = {
      {"rows=10000000 ", 0, 10000000},      // refused by the 7-digit reader
      {"rows=100000000 ", 0, 100000000},
      {"rows=2147483647 ", 0, 2147483647},
      {"rows=0000000012 ", 0, 12},          // leading zeros count as digits
      {"rows=-2147483647 ", 0, -2147483647},
      {"rows=2147483648 ", 4, 0},           // above the largest 32-bit integer
      {"rows=9999999999 ", 4, 0},
      {"rows=12345678901 ", 4, 0},          // 11 digits
      {"rows=1e7 ", 3, 0},
      {"rows=10000000. ", 3, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    FieldReaders readers;
    Channel diag;
    diag.capture();
    auto r = readers.long_numread("ows", c.text, diag);
    EXPECT_EQ(r.error, c.error);
    if (c.error == 0) {
      EXPECT_EQ(r.value, c.value);
    }
    EXPECT_EQ(diag.text(), c.error == 4 ? range_message(c.text, 5, "> 999999") : "");
  }
}

TEST(Numread, ErrorsReturnTheLastValueRead) {
  FieldReaders readers;
  Channel diag;
  diag.capture();
  EXPECT_EQ(readers.numread("x", "nothing here", diag).value, 0);
  EXPECT_EQ(readers.numread("x", "x = 17 ", diag).value, 17);
  auto failed = readers.numread("y", "x = 17 ", diag);
  EXPECT_EQ(failed.error, 1);
  EXPECT_EQ(failed.value, 17);
  // The real reader keeps its own value.
  EXPECT_EQ(readers.rnumread("y", "x = 17 ", diag).value, 0.0f);
}

struct RealCase {
  std::string search;
  std::string text;
  int error;
  float value;
  int position;
};

TEST(Rnumread, Table) {
  const RealCase cases[] = {
      {"larm", "false alarm = 0.05 ", 0, 0.05f, 15},
      {"a", "a=.05 ", 0, 0.05f, 3},  // no integer part
      {"a", "a=5. ", 0, 5.0f, 3},    // point then blank reads as 5.0
      // ... and the text after the blank is a comment, not a fraction.
      {"larm", "false alarm = 0. * level", 0, 0.0f, 15},
      {"a", "a=5. 25 ", 0, 5.0f, 3},
      {"a", "a=-3. x ", 0, -3.0f, 4},
      {"a", "a=-. * ", 3, 0.0f, 4},
      {"a", "a=-0.5 ", 0, -0.5f, 4},
      {"a", "a= 1.0 ", 0, 1.0f, 4},
      {"a", "a=0.51 ", 0, 0.51f, 3},
      {"a", "a=1.123456 ", 0, 1.123456f, 3},  // six fraction digits are the most
      {"a", "a=1234567.5 ", 0, 1234567.5f, 3},
      {"a", "a=1.123456789 ", 3, 0.0f, 3},  // no terminator among the 9 after the point
      {"a", "a=5 ", 0, 5.0f, 3},            // no point: a whole number
      {"a", "a=-12 ", 0, -12.0f, 4},
      {"a", "a=1234567 ", 0, 1234567.0f, 3},
      {"a", "nothing here", 1, 0.0f, 0},
      {"a", "a 5.0 ", 2, 0.0f, 0},
      // A value without a point of its own is read from its own digits, not
      // up to a point further on in the text.
      {"a", "a=5 f=a.b ", 0, 5.0f, 3},
      {"a", "a=5 file=x.dat ", 0, 5.0f, 3},
      // Digits only, on either side of one point.
      {"a", "a=1e3 ", 3, 0.0f, 3},
      {"a", "a=1.5e3 ", 3, 0.0f, 3},
      {"a", "a=+1.0 ", 3, 0.0f, 3},
      {"a", "a=1.2.3 ", 3, 0.0f, 3},
      {"a", "a=1.5x ", 3, 0.0f, 3},
      {"a", "a=x.5 ", 3, 0.0f, 3},
      {"a", "a=0x10 ", 3, 0.0f, 3},
      {"a", "a=. ", 3, 0.0f, 3},  // a point alone holds no digit
      {"a", "a=-. ", 3, 0.0f, 4},
      {"a", "a=   5.0 ", 3, 0.0f, 5},  // three blanks: an empty value
      {"a", std::string(697, ' ') + "a=5", 4, 0.0f, 700},  // no terminator, no point
      // The point may be character 699: its fraction is blank-padded.
      {"a", std::string(695, ' ') + "a=1.5", 0, 1.5f, 698},
  };
  for (const RealCase& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 40) + " / " + c.search);
    FieldReaders readers;
    Channel diag;
    diag.capture();
    auto r = readers.rnumread(c.search, c.text, diag);
    EXPECT_EQ(r.error, c.error);
    if (c.error == 0) {
      EXPECT_EQ(r.value, c.value);
    }
    EXPECT_EQ(r.position, c.position);
    EXPECT_EQ(diag.text(), "");
  }
}

TEST(Rnumread, RangeMessages) {
  struct Case {
    std::string text;
    std::size_t shown_from;  // 0-based start of the text the message shows
  };
  const Case cases[] = {
      {"a=1.1234567 ", 4},     // 7 fraction digits: shown from after the point
      {"a=1.12345678 ", 4},    // 8 fraction digits
      {"a=12345678.5 ", 2},    // 8 digits before the point: shown from the value
      {"a=12345678 ", 2},      // a whole number of 8 digits
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    FieldReaders readers;
    Channel diag;
    diag.capture();
    auto r = readers.rnumread("a", c.text, diag);
    EXPECT_EQ(r.error, 5);
    EXPECT_EQ(diag.text(), range_message(c.text, c.shown_from, "> 9,999,999"));
  }
}

TEST(Rnumread, ErrorsReturnTheLastValueRead) {
  FieldReaders readers;
  Channel diag;
  diag.capture();
  EXPECT_EQ(readers.rnumread("a", "a=2.5 ", diag).value, 2.5f);
  auto failed = readers.rnumread("a", "a=7x ", diag);
  EXPECT_EQ(failed.error, 3);
  EXPECT_EQ(failed.value, 2.5f);
}

struct TextCase {
  std::string search;
  std::string text;
  int error;
  std::string value;  // before padding to 50
  int position;
};

TEST(Charead, Table) {
  const std::string long_value(60, 'x');
  const TextCase cases[] = {
      {"graphing", "graphing =yes more", 0, "yes ", 11},  // keeps its terminating blank
      {"graphing", "graphing = yes", 3, "", 11},          // text values skip no blank
      {"ile name", "data file name=run.dat", 0, "run.dat ", 16},
      {"name", "name=" + long_value + " ", 0, long_value.substr(0, 50), 6},  // cut at 50
      {"name", "nothing", 1, "", 0},
      {"name", "name only", 2, "", 0},
      {"name", std::string(690, ' ') + "name=abcde", 3, "", 696},  // value ends at character 700
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 40) + " / " + c.search);
    FieldReaders readers;
    auto r = readers.charead(c.search, c.text);
    EXPECT_EQ(r.error, c.error);
    EXPECT_EQ(r.value.size(), 50u);
    if (c.error == 0) {
      EXPECT_EQ(r.value, c.value + std::string(50 - c.value.size(), ' '));
    }
    EXPECT_EQ(r.position, c.position);
  }
}

TEST(Number, CountsOneToSevenOnly) {
  EXPECT_EQ(number("0", -1), 0);
  EXPECT_EQ(number("123", -1), 123);
  EXPECT_EQ(number("9999999", -1), 9999999);
  EXPECT_EQ(number("+5", -1), -45);  // no check for digits
  EXPECT_EQ(number("", 42), 42);
  EXPECT_EQ(number("12345678", 42), 42);
}

}  // namespace
}  // namespace vok
