// Input editing of record formats: numeric fields, the walk of a format over
// one row (columns, tabs, "/", groups, reversion), stamps, and the formats that
// are refused.
#include "data/record_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>

#include "data/temp_text_file.h"

namespace vok {
namespace {

// ---------------------------------------------------------------------------
// Numeric fields. Expected values are C++ float literals, which the compiler
// rounds correctly from the same decimal text.

struct RealCase {
  std::string_view field;
  int digits;
  float want;
};

TEST(DecodeReal, ValuesTable) {
  const RealCase cases[] = {
      {"   12.345", 3, 12.345f},
      {"12.345", 0, 12.345f},
      {"  -0.5", 4, -0.5f},
      {"+7.25", 2, 7.25f},
      {"12345", 3, 12.345f},  // no point: the last d digits are decimals
      {"  -12345", 2, -123.45f},
      {"5", 3, 0.005f},
      {"12345", 0, 12345.0f},
      {"123.", 5, 123.0f},  // a point written overrides d
      {".25", 1, 0.25f},
      {"1.5E3", 1, 1500.0f},
      {"1.5e+03", 1, 1500.0f},
      {"1.5D3", 1, 1500.0f},
      {"1.5d-2", 1, 0.015f},
      {"1.5Q2", 1, 150.0f},
      {"1.5+3", 1, 1500.0f},  // exponent written as a bare sign
      {"1.5-3", 1, 0.0015f},
      {"15+2", 1, 150.0f},  // implied decimals apply to the digits before the exponent
      {"15E2", 1, 150.0f},
      {" 1 2 . 5 ", 1, 12.5f},  // blanks anywhere are ignored
      {"1.5E 3", 1, 1500.0f},
      {"- 3.25", 2, -3.25f},
      {"", 3, 0.0f},  // the line ended before the field
      {"          ", 3, 0.0f},
      {"0000.000", 3, 0.0f},
      {"0.0012", 0, 0.0012f},
      {"3.4028235e38", 0, 3.4028235e38f},
      {"1e-40", 0, 1e-40f},          // subnormal
      {"1e-50", 0, 0.0f},            // below the smallest subnormal: zero
      {"16777217", 0, 16777216.0f},  // halfway between two floats: to even
      {"16777219", 0, 16777220.0f},
      {"16777217.000000001", 0, 16777218.0f},
      // Just above the midpoint of 1 and the next float; its nearest double is
      // the midpoint itself, so rounding through a double would give 1.
      {"1.000000059604644775390625000001", 0, 1.00000011920928955078125f},
      {"1.000000059604644775390625", 0, 1.0f},
      {"0.1", 0, 0.1f},
      {"123456789012345678901234567890", 0, 123456789012345678901234567890.0f},
      {"999999999999999", 0, 999999999999999.0f},     // 15 significant digits
      {"9999999999999999", 0, 9999999999999999.0f},   // 16
      {"-000000000000000012.5", 0, -12.5f},           // leading zeros are not significant
      {"0.0000000000000000000000125", 0, 1.25e-23f},  // far below 1
      {"12.5 ", 0, 12.5f},
      {"12.5  3", 0, 12.53f},  // a blank between digits, after trailing-looking blanks
  };
  for (const RealCase& c : cases) {
    SCOPED_TRACE(std::string(c.field));
    float v = -99.0f;
    ASSERT_EQ(decode_real(c.field, c.digits, v), ReadStatus::ok);
    EXPECT_EQ(v, c.want);
    EXPECT_EQ(std::signbit(v), std::signbit(c.want));
  }
}

TEST(DecodeReal, NegativeZeroKeepsItsSign) {
  float v = 1.0f;
  ASSERT_EQ(decode_real("-0.0", 1, v), ReadStatus::ok);
  EXPECT_TRUE(v == 0.0f && std::signbit(v));
  ASSERT_EQ(decode_real("-1e-60", 1, v), ReadStatus::ok);
  EXPECT_TRUE(v == 0.0f && std::signbit(v));
}

TEST(DecodeReal, FieldsThatCannotBeRead) {
  const std::pair<std::string_view, ReadStatus> cases[] = {
      {"abc", ReadStatus::bad_character},
      {"1.2.3", ReadStatus::bad_character},
      {"1,5", ReadStatus::bad_character},
      {"1.5x", ReadStatus::bad_character},
      {"1.5E3x", ReadStatus::bad_character},
      {"1.5E3.", ReadStatus::bad_character},
      {"1\t5", ReadStatus::bad_character},
      {".", ReadStatus::no_digits},
      {"-.", ReadStatus::no_digits},
      {"   -", ReadStatus::no_digits},  // a sign alone is no number
      {"+", ReadStatus::no_digits},
      {"- ", ReadStatus::no_digits},
      {"-E5", ReadStatus::no_digits},
      {"1.5E", ReadStatus::no_digits},
      {"1.5E+", ReadStatus::no_digits},
      {"E5", ReadStatus::no_digits},
      {"1.0e39", ReadStatus::out_of_range},
      {"1e41", ReadStatus::out_of_range},  // 1e39 after the implied decimals,
      {"-3.5e38", ReadStatus::out_of_range},
      {"1e99999999999", ReadStatus::out_of_range},
  };
  for (const auto& [field, status] : cases) {
    SCOPED_TRACE(std::string(field));
    float v = 0.0f;
    EXPECT_EQ(decode_real(field, 2, v), status);
  }
}

TEST(DecodeInteger, Table) {
  float v = 0.0f;
  ASSERT_EQ(decode_integer("   42", v), ReadStatus::ok);
  EXPECT_EQ(v, 42.0f);
  ASSERT_EQ(decode_integer(" - 7", v), ReadStatus::ok);
  EXPECT_EQ(v, -7.0f);
  ASSERT_EQ(decode_integer("    ", v), ReadStatus::ok);
  EXPECT_EQ(v, 0.0f);
  EXPECT_EQ(decode_integer("4.2", v), ReadStatus::bad_character);
  EXPECT_EQ(decode_integer("4E2", v), ReadStatus::bad_character);
}

// Random decimal texts against the C library's strtof, which rounds
// correctly: digit counts from 1 to 25 around every decade of the float range.
TEST(DecodeReal, AgreesWithStrtofOnRandomTexts) {
  std::mt19937_64 gen(20240611);
  for (int n = 0; n < 200000; ++n) {
    int count = 1 + static_cast<int>(gen() % 25);
    std::string digits;
    for (int i = 0; i < count; ++i) digits += static_cast<char>('0' + gen() % 10);
    int point = static_cast<int>(gen() % (count + 1));
    int exponent = static_cast<int>(gen() % 90) - 50;
    std::string text;
    if (gen() % 2) text += '-';
    text += digits.substr(0, point);
    text += '.';
    text += digits.substr(point);
    text += 'e';
    text += std::to_string(exponent);
    float want = std::strtof(text.c_str(), nullptr);
    float got = 0.0f;
    ReadStatus s = decode_real(text, 0, got);
    if (std::isinf(want)) {
      EXPECT_EQ(s, ReadStatus::out_of_range) << text;
    } else {
      ASSERT_EQ(s, ReadStatus::ok) << text;
      ASSERT_EQ(got, want) << text;
    }
  }
}

// Fields as data files write them, without an exponent: blanks, a sign,
// leading zeros, from 1 to 18 significant digits with the point anywhere or
// nowhere (then the implied decimals apply), trailing blanks. Most take the
// quick pass, those with more than 15 digits or far from 1 the full one; both
// must round as strtof does.
TEST(DecodeReal, PlainFieldsAgreeWithStrtof) {
  std::mt19937_64 gen(20261210);
  for (int n = 0; n < 200000; ++n) {
    const int count = 1 + static_cast<int>(gen() % 18);
    std::string digits(static_cast<std::size_t>(gen() % 4), '0');  // leading zeros
    for (int i = 0; i < count; ++i) digits += static_cast<char>('0' + gen() % 10);
    const bool has_point = gen() % 4 != 0;
    const int point = static_cast<int>(gen() % (digits.size() + 1));
    const int implied = static_cast<int>(gen() % 30);
    std::string field(static_cast<std::size_t>(gen() % 3), ' ');
    const bool negative = gen() % 2;
    if (negative)
      field += '-';
    else if (gen() % 4 == 0)
      field += '+';
    std::string number = digits;
    if (has_point) number.insert(static_cast<std::size_t>(point), 1, '.');
    field += number;
    field.append(static_cast<std::size_t>(gen() % 3), ' ');
    // The same value as strtof reads it.
    std::string text = negative ? "-" : "";
    text += number;
    text += 'e';
    text += std::to_string(has_point ? 0 : -implied);
    const float want = std::strtof(text.c_str(), nullptr);
    float got = -99.0f;
    ASSERT_EQ(decode_real(field, implied, got), ReadStatus::ok) << field;
    ASSERT_EQ(got, want) << field << " d " << implied;
    ASSERT_EQ(std::signbit(got), std::signbit(want)) << field;
  }
}

// A field is cut from a line that goes on: whatever stands around it, only
// its own characters count. Every cut of a line holding a number, of every
// width the quick reading takes at once (1 to 16 characters) and a little
// wider, reads as the same characters alone do.
TEST(DecodeReal, FieldCutFromALongerLineReadsOnlyItsCharacters) {
  const std::string line = "9-12.5 +3. 7 -.25 1234567.8901234 0.000001 9e5 12345678901234567 - 8";
  for (std::size_t from = 0; from < line.size(); ++from) {
    for (std::size_t width = 1; width <= 18 && from + width <= line.size(); ++width) {
      const std::string alone = line.substr(from, width);
      for (int implied : {0, 3}) {
        float got = -99.0f;
        float want = -99.0f;
        const ReadStatus s = decode_real(std::string_view(line).substr(from, width), implied, got);
        // Copied into a string of its own, the full reading decides: a blank
        // inside makes the quick pass give way.
        std::string spaced(1, ' ');
        spaced.append(alone, 0, width / 2).append(1, ' ').append(alone, width / 2);
        ASSERT_EQ(s, decode_real(spaced, implied, want)) << "\"" << alone << "\"";
        if (s == ReadStatus::ok) {
          ASSERT_EQ(got, want) << "\"" << alone << "\"";
        }
      }
    }
  }
}

// Decimals of 13 to 15 significant digits that lie within a few parts in
// 10^15 of the midpoint between two neighbouring floats: the values whose
// rounding a quick product could get wrong. They must round as strtof does.
TEST(DecodeReal, FieldsNearFloatMidpointsAgreeWithStrtof) {
  std::mt19937_64 gen(20261211);
  std::uniform_real_distribution<float> log_magnitude(-6.0f, 8.0f);
  for (int n = 0; n < 200000; ++n) {
    const float f = std::pow(10.0f, log_magnitude(gen));
    const double midpoint =
        (static_cast<double>(f) + static_cast<double>(std::nextafter(f, 1e30f))) / 2;
    const int significant = 13 + static_cast<int>(gen() % 3);
    const int decimals = significant - 1 - static_cast<int>(std::floor(std::log10(midpoint)));
    if (decimals < 1 || decimals > 22) continue;
    char field[64];
    std::snprintf(field, sizeof field, "%.*f", decimals, midpoint);
    const float want = std::strtof(field, nullptr);
    float got = -99.0f;
    ASSERT_EQ(decode_real(field, 0, got), ReadStatus::ok) << field;
    ASSERT_EQ(got, want) << field;
  }
}

// ---------------------------------------------------------------------------
// Rows read through a compiled format.

struct Rows {
  ReadStatus status = ReadStatus::ok;
  std::vector<std::vector<float>> values;
  std::vector<std::string> stamps;
  int lines_per_row = 0;
};

Rows read_rows(std::string_view format, int values, StampPosition stamp, std::string_view file,
               int rows) {
  testing::TempTextFile temp(file);
  TextFile text;
  EXPECT_EQ(text.open(temp.path()), 0);
  RecordFormat plan = RecordFormat::compile(format, values, stamp);
  RecordReader reader(plan, text);
  Rows out;
  out.lines_per_row = plan.lines_per_row();
  for (int r = 0; r < rows; ++r) {
    std::vector<float> v(static_cast<std::size_t>(std::max(values, 0)), -99.0f);
    std::string s(kStampWidth, '?');
    out.status = reader.read_row({v.data(), 1, s.data()});
    if (out.status != ReadStatus::ok) break;
    out.values.push_back(v);
    if (stamp != StampPosition::none) out.stamps.push_back(s);
  }
  return out;
}

struct RowCase {
  std::string_view format;
  int values;
  std::string_view file;
  std::vector<std::vector<float>> want;
  int lines_per_row;
};

TEST(RecordReader, DescriptorsAndWalkTable) {
  const RowCase cases[] = {
      {"(3f5.1)", 3, "  1.5  2.5 -3.5\n", {{1.5f, 2.5f, -3.5f}}, 1},
      {"(3F5.1)", 3, "  1.5  2.5 -3.5\n", {{1.5f, 2.5f, -3.5f}}, 1},  // case-insensitive
      {"(f5.1,2x,f5.1)", 2, "  1.5xx  2.5\n", {{1.5f, 2.5f}}, 1},
      {"(f3.0,x,f3.0)", 2, " 12x 34\n", {{12.0f, 34.0f}}, 1},  // X without a count
      {"(2i4)", 2, "  12  -3\n", {{12.0f, -3.0f}}, 1},
      {"(i4.2,f4.1)", 2, "  12 2.5\n", {{12.0f, 2.5f}}, 1},
      {"(e10.3,d10.3,g10.3)", 3, "  1.25E+01    2.5D-1      0.75\n", {{12.5f, 0.25f, 0.75f}}, 1},
      {"(f5.2,f5.2)", 2, "  125-0025\n", {{1.25f, -0.25f}}, 1},  // implied decimals
      {"(t6,f5.1,t1,f5.1)", 2, "  1.5  2.5\n", {{2.5f, 1.5f}}, 1},
      {"(f5.1,tl5,f5.1,tr2,f3.1)", 3, "  1.5xx2.5\n", {{1.5f, 1.5f, 2.5f}}, 1},
      {"(tl5,f5.1)", 1, "  1.5\n", {{1.5f}}, 1},           // TL stops at column 1
      {"(t20,f5.1)", 1, "  1.5\n", {{0.0f}}, 1},           // past the line's end: blanks
      {"(3f5.1)", 3, "  1.5\n", {{1.5f, 0.0f, 0.0f}}, 1},  // short line padded with blanks
      {"(3f5.1)", 3, "  1.5       2.5\r\n", {{1.5f, 0.0f, 2.5f}}, 1},  // CR is not data
      {"(3f5.1)", 3, "\n", {{0.0f, 0.0f, 0.0f}}, 1},
      {"(f5.1/f5.1)", 2, "  1.5\n  2.5\n", {{1.5f, 2.5f}}, 2},
      {"(f5.1,2/f5.1)", 2, "  1.5\nskip\n  2.5\n", {{1.5f, 2.5f}}, 3},
      {"(f5.1/)", 1, "  1.5\nskip\n  2.5\nskip\n", {{1.5f}, {2.5f}}, 2},  // trailing "/" acted on
      {"(f5.1,:/)", 1, "  1.5\n  2.5\n", {{1.5f}, {2.5f}}, 1},            // ":" ends the row first
      {"(2(f4.1,1x))", 2, " 1.5  2.5\n", {{1.5f, 2.5f}}, 1},
      {"(2(f3.1,2(1x,f3.1)))", 6, "1.0 2.0 3.04.0 5.0 6.0\n", {{1, 2, 3, 4, 5, 6}}, 1},
      // Two values per line: a row of three takes two lines (reversion to the
      // start of a format without a group).
      {"(2f5.1)", 3, "  1.0  2.0\n  3.0  9.9\n  4.0  5.0\n  6.0\n", {{1, 2, 3}, {4, 5, 6}}, 2},
      // Reversion restarts at the last top-level group, with its repeat count.
      {"(f4.1,2(1x,f4.1))", 5, " 1.0  2.0  3.0\n 4.0  5.0\n", {{1, 2, 3, 4, 5}}, 2},
      {"(f4.1,2(1x,f4.1))",
       7,
       " 1.0  2.0  3.0\n 4.0  5.0\n 6.0  7.0\n",
       {{1, 2, 3, 4, 5, 6, 7}},
       3},
      {"(1x,f4.1)", 2, "x 1.0\nx 2.0\n", {{1, 2}}, 2},
      // No value to read: the row's line is consumed.
      {"(2f5.1)", 0, "anything\n  1.0\n", {{}, {}}, 1},
      {"  (f5.1) trailing text", 1, "  1.5\n", {{1.5f}}, 1},
  };
  for (const RowCase& c : cases) {
    SCOPED_TRACE(std::string(c.format) + " | " + std::string(c.file));
    Rows got =
        read_rows(c.format, c.values, StampPosition::none, c.file, static_cast<int>(c.want.size()));
    ASSERT_EQ(got.status, ReadStatus::ok);
    EXPECT_EQ(got.values, c.want);
    EXPECT_EQ(got.lines_per_row, c.lines_per_row);
  }
}

struct StampCase {
  std::string_view format;
  StampPosition position;
  std::string_view line;
  std::string_view stamp;
  std::vector<float> values;
};

TEST(RecordReader, StampsTable) {
  const StampCase cases[] = {
      {"(a19,1x,2f10.3)",
       StampPosition::first,
       "1997-03-01 12:00:01     1.250    -2.500",
       "1997-03-01 12:00:01 ",
       {1.25f, -2.5f}},
      {"(2f10.3,1x,a19)",
       StampPosition::last,
       "     1.250    -2.500 1997-03-01 12:00:01",
       "1997-03-01 12:00:01 ",
       {1.25f, -2.5f}},
      // Wider than 20: the rightmost 20 characters.
      {"(a24,f4.1)",
       StampPosition::first,
       "Sat 1997-03-01 12:00:01 2.5",
       "1997-03-01 12:00:01 ",
       {2.5f}},
      {"(a5,f4.1)", StampPosition::first, "12:00 2.5", "12:00               ", {2.5f}},
      // A without a width reads the stamp's 20 characters.
      {"(a,f4.1)",
       StampPosition::first,
       "abcdefghijklmnopqrst 2.5",
       "abcdefghijklmnopqrst",
       {2.5f}},
      // The line ends inside the stamp: blanks.
      {"(f4.1,a20)", StampPosition::last, " 2.5stamp", "stamp               ", {2.5f}},
  };
  for (const StampCase& c : cases) {
    SCOPED_TRACE(std::string(c.format));
    Rows got = read_rows(c.format, static_cast<int>(c.values.size()), c.position,
                         std::string(c.line) + "\n", 1);
    ASSERT_EQ(got.status, ReadStatus::ok);
    EXPECT_EQ(got.stamps, std::vector<std::string>{std::string(c.stamp)});
    EXPECT_EQ(got.values, std::vector<std::vector<float>>{c.values});
  }
}

struct FailCase {
  std::string_view format;
  int values;
  StampPosition stamp;
  std::string_view file;
  ReadStatus want;
};

TEST(RecordReader, RowsThatCannotBeRead) {
  const FailCase cases[] = {
      {"(3f5.1)", 3, StampPosition::none, "  1.5  abc\n", ReadStatus::bad_character},
      {"(2i4)", 2, StampPosition::none, "  12 2.5\n", ReadStatus::bad_character},
      // An uppercase A in a plain row meets the first value.
      {"(A19,2F10.3)", 2, StampPosition::none, "x\n", ReadStatus::text_for_number},
      // Counted as stamp last, so the values meet the A field.
      {"(1x,a19,2f10.3)", 2, StampPosition::last, "x\n", ReadStatus::text_for_number},
      {"(f10.3,a19)", 2, StampPosition::first, "x\n", ReadStatus::number_for_text},
      // No descriptor that takes a value: an error, never a loop.
      {"(1x)", 2, StampPosition::none, "x\n", ReadStatus::no_value_descriptor},
      {"(f5.1,(1x))", 3, StampPosition::none, "  1.0\n  2.0\n", ReadStatus::no_value_descriptor},
      // The row's second line is missing.
      {"(2f5.1)", 3, StampPosition::none, "  1.0  2.0\n", ReadStatus::end_of_file},
      {"(f5.1)", 1, StampPosition::none, "", ReadStatus::end_of_file},
  };
  for (const FailCase& c : cases) {
    SCOPED_TRACE(std::string(c.format));
    EXPECT_EQ(read_rows(c.format, c.values, c.stamp, c.file, 1).status, c.want);
  }
}

// A row decoded from lines already read (a batch of rows read ahead): the
// plan meets the lines in order, so a field of a line given is decoded before
// a missing later line is noticed, and a missing line gives the status of the
// read that stopped the batch.
TEST(DecodeRow, LinesGivenAndAMissingLine) {
  struct Case {
    std::string_view format;
    int values;
    std::vector<std::string_view> lines;
    ReadStatus missing;
    ReadStatus want;
  };
  const Case cases[] = {
      {"(f5.1/f5.1)", 2, {"  1.0", "  2.0"}, ReadStatus::end_of_file, ReadStatus::ok},
      {"(f5.1/f5.1)", 2, {"  1.0"}, ReadStatus::end_of_file, ReadStatus::end_of_file},
      {"(f5.1/f5.1)", 2, {"  1.0"}, ReadStatus::line_read_failed, ReadStatus::line_read_failed},
      {"(f5.1/f5.1)", 2, {}, ReadStatus::line_read_failed, ReadStatus::line_read_failed},
      {"(f5.1/f5.1)", 2, {"  x.0"}, ReadStatus::line_read_failed, ReadStatus::bad_character},
      {"(f5.1/f5.1)", 2, {"  1.0", "  x.0"}, ReadStatus::end_of_file, ReadStatus::bad_character},
      // The second line is needed before the format is found to take no more
      // values.
      {"(f5.1,(1x))", 3, {"  1.0"}, ReadStatus::end_of_file, ReadStatus::end_of_file},
      {"(f5.1,(1x))",
       3,
       {"  1.0", "  2.0"},
       ReadStatus::end_of_file,
       ReadStatus::no_value_descriptor},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.format) + ", " + std::to_string(c.lines.size()) + " lines");
    const RecordFormat plan = RecordFormat::compile(c.format, c.values, StampPosition::none);
    std::vector<float> v(static_cast<std::size_t>(c.values), -99.0f);
    EXPECT_EQ(decode_row(plan, RowLines{c.lines, c.missing}, {v.data(), 1, nullptr}),
              c.want);
    if (c.want == ReadStatus::ok) {
      EXPECT_EQ(v, (std::vector<float>{1, 2}));
    }
  }
}

TEST(RecordReader, SkipPassesWholeRowsWithoutDecoding) {
  testing::TempTextFile temp("bad  bad\n  x\n  1.0  2.0\n  3.0\n");
  TextFile text;
  ASSERT_EQ(text.open(temp.path()), 0);
  RecordFormat plan = RecordFormat::compile("(2f5.1)", 3, StampPosition::none);
  RecordReader reader(plan, text);
  EXPECT_EQ(reader.skip_row(), ReadStatus::ok);
  std::vector<float> v(3);
  ASSERT_EQ(reader.read_row({v.data(), 1, nullptr}), ReadStatus::ok);
  EXPECT_EQ(v, (std::vector<float>{1, 2, 3}));
  EXPECT_EQ(reader.skip_row(), ReadStatus::end_of_file);
}

TEST(RecordReader, ValuesGoToStridedColumns) {
  testing::TempTextFile temp("  1.0  2.0\n");
  TextFile text;
  ASSERT_EQ(text.open(temp.path()), 0);
  RecordFormat plan = RecordFormat::compile("(2f5.1)", 2, StampPosition::none);
  RecordReader reader(plan, text);
  std::vector<float> matrix(6, 0.0f);
  ASSERT_EQ(reader.read_row({matrix.data() + 1, 3, nullptr}), ReadStatus::ok);
  EXPECT_EQ(matrix, (std::vector<float>{0, 1, 0, 0, 2, 0}));
}

TEST(RecordFormat, RefusedFormats) {
  struct Case {
    std::string_view format;
    std::size_t character;  // where the refusal points, 1-based
  };
  const Case cases[] = {
      {"3f5.1", 1},                          // no opening parenthesis
      {"", 1},                               //
      {"  f5.1", 3},                         //
      {"(f5.1", 1},                          // unbalanced
      {"(3q5.1)", 2},                        // unknown descriptor
      {"(2f5.1,Q)", 8},                      //
      {"(f5)", 4},                           // no digit count
      {"(i0,f5.1)", 2},                      // an integer field needs a width
      {"(f5.1,'a')", 7},                     // text in quotes
      {"(sp,f5.1)", 2},                      // sign descriptors
      {"(f5.1,SS,f5.1)", 7},                 //
      {"(f5.1,())", 7},                      // empty group
      {"(2(3( )),f5.1)", 5},                 //
      {"(1000000(1000000(1x)),f5.1)", 1},    // walks practically forever
      {"(30(30(30(30(30(1x))))),f5.1)", 1},  //
      {"(2000000f5.1)", 8},                  // repeat count above the limit
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.format));
    try {
      RecordFormat::compile(c.format, 2, StampPosition::none);
      ADD_FAILURE() << "accepted";
    } catch (const RecordFormatError& e) {
      EXPECT_EQ(e.character(), c.character) << e.what();
    }
  }
}

TEST(RecordFormat, ErrorMessageNamesTheProblem) {
  try {
    RecordFormat::compile("(3f5.1,q)", 3, StampPosition::none);
    FAIL();
  } catch (const RecordFormatError& e) {
    EXPECT_NE(std::string(e.what()).find("unknown edit descriptor"), std::string::npos) << e.what();
  }
}

// ---------------------------------------------------------------------------
// Rows without fixed columns: the format "*".

struct ListCase {
  std::string_view what;
  int values;
  std::string_view file;
  std::vector<std::vector<float>> want;
};

TEST(ListDirectedRows, SeparatorsAndLinesTable) {
  const ListCase cases[] = {
      {"blanks", 2, "1.5 -2.5\n  3   4.25\n", {{1.5f, -2.5f}, {3.0f, 4.25f}}},
      {"commas", 2, "1.5,-2.5\n3,4.25\n", {{1.5f, -2.5f}, {3.0f, 4.25f}}},
      {"comma with blanks", 2, "1.5 , -2.5\n 3 ,4.25 \n", {{1.5f, -2.5f}, {3.0f, 4.25f}}},
      {"tabs and CRLF", 2, "1.5\t-2.5\r\n3,\t4.25\r\n", {{1.5f, -2.5f}, {3.0f, 4.25f}}},
      {"exponents, no implied decimals", 3, "1.5e3,2E-1,12345\n", {{1500.0f, 0.2f, 12345.0f}}},
      {"values beyond the row ignored", 2, "1,2,3,4\n5 6 7\n", {{1, 2}, {5, 6}}},
      // A comma after the row's last value stands before values ignored.
      {"trailing comma after the last value", 2, "1,2,\n3,4,\n", {{1, 2}, {3, 4}}},
      {"empty fields and text after the last value", 2, "1,2,,\n3,4,,x,\n", {{1, 2}, {3, 4}}},
      {"no value to read: one line per row", 0, "x,y\nanything\n", {{}, {}}},
  };
  for (const ListCase& c : cases) {
    SCOPED_TRACE(c.what);
    Rows got =
        read_rows("*", c.values, StampPosition::none, c.file, static_cast<int>(c.want.size()));
    ASSERT_EQ(got.status, ReadStatus::ok);
    EXPECT_EQ(got.values, c.want);
  }
}

TEST(ListDirectedRows, RowsThatCannotBeRead) {
  const std::pair<std::string_view, ReadStatus> cases[] = {
      {"1.5,,2.5\n", ReadStatus::missing_value},
      {"1.5 , , 2.5\n", ReadStatus::missing_value},
      {",1.5,2.5\n", ReadStatus::missing_value},
      {"1.5,abc\n", ReadStatus::bad_character},
      {"1.5;2.5\n", ReadStatus::bad_character},  // only blanks and commas separate
      {"\"1.5\",2.5\n", ReadStatus::bad_character},
      {"1.5,.\n", ReadStatus::no_digits},
      {"NA,2.5\n", ReadStatus::bad_character},
      {"1.5,nan\n", ReadStatus::bad_character},
      {"1.5,Infinity\n", ReadStatus::bad_character},
      {"1.5,1e39\n", ReadStatus::out_of_range},
      // One row per line: a line short of values does not borrow from the next.
      {"1.5\n2.5\n", ReadStatus::short_line},
      {"1.5,\n2.5\n", ReadStatus::missing_value},  // a comma ends the line
      {"1.5 ,  \n2.5\n", ReadStatus::missing_value},
      // An empty line is an error unless only empty lines follow it.
      {"\n1.5 2.5\n", ReadStatus::empty_line},
      {" \t\r\n\n1.5 2.5\n", ReadStatus::empty_line},
      {"\n", ReadStatus::end_of_file},
      {"  \n\t\n\r\n", ReadStatus::end_of_file},
      {"", ReadStatus::end_of_file},
  };
  for (const auto& [file, want] : cases) {
    SCOPED_TRACE(std::string(file));
    EXPECT_EQ(read_rows("*", 2, StampPosition::none, file, 1).status, want);
  }
}

TEST(ListDirectedRows, EmptyLinesAtTheEndOfTheFileEndIt) {
  const Rows got = read_rows("*", 2, StampPosition::none, "1 2\n3 4\n\n   \n", 3);
  EXPECT_EQ(got.status, ReadStatus::end_of_file);
  EXPECT_EQ(got.values, (std::vector<std::vector<float>>{{1, 2}, {3, 4}}));
}

TEST(ListDirectedRows, SkipPassesOverOneLineWithoutDecoding) {
  // A row of column names in front of the data is passed over like any row,
  // and so is an empty line.
  testing::TempTextFile temp("x,y,extra\n\n3.0 4.0\n");
  TextFile text;
  ASSERT_EQ(text.open(temp.path()), 0);
  RecordFormat plan = RecordFormat::compile(" *  ", 2, StampPosition::none);
  EXPECT_TRUE(plan.list_directed());
  RecordReader reader(plan, text);
  EXPECT_EQ(reader.skip_row(), ReadStatus::ok);
  EXPECT_EQ(reader.skip_row(), ReadStatus::ok);
  std::vector<float> v(2);
  ASSERT_EQ(reader.read_row({v.data(), 1, nullptr}), ReadStatus::ok);
  EXPECT_EQ(v, (std::vector<float>{3, 4}));
  EXPECT_EQ(reader.skip_row(), ReadStatus::end_of_file);
}

TEST(ListDirectedRows, OnlyAStarAloneAndNeverWithAStamp) {
  EXPECT_THROW(RecordFormat::compile("*", 2, StampPosition::first), RecordFormatError);
  EXPECT_THROW(RecordFormat::compile("*,*", 2, StampPosition::none), RecordFormatError);
  EXPECT_THROW(RecordFormat::compile("(*)", 2, StampPosition::none), RecordFormatError);
  EXPECT_FALSE(RecordFormat::compile("(2f5.1)", 2, StampPosition::none).list_directed());
}

}  // namespace
}  // namespace vok
