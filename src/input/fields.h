// Keyword field readers: find a setting by its search text in a long text and
// read the value after its "=". They never stop the program; each reports
// through an error number (0 success, 1-5 as below) that the caller prints.
//   1 search text not in the first 700 characters
//   2 no assignment mark at or after the search text
//   3 no terminator / empty value (see each reader)
//   4 integer: more than 7 digits (long_numread: a value above 2,147,483,647);
//     real: no terminator and no decimal point before character 700
//   5 real: more than 7 digits before the point, or 7-8 after it
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "output/channel.h"

namespace vok {

inline constexpr std::size_t kSearchLimit = 700;

template <typename T>
struct FieldRead {
  T value{};
  int position = 0;  // 1-based start of the value; 0 when not found
  int error = 0;
};

// A number value is checked: an optional "-", then digits only (and for a
// real at most one point, with digits on one side of it at least). Anything
// else ("+", a letter, an exponent, a second point) is error 3.
//
// The readers keep the last value they returned: on an error the integer and
// real readers return that kept value (0 before any success).
class FieldReaders {
 public:
  // Text value: up to and including its terminating blank, cut to 50 and
  // padded with blanks to 50 characters.
  FieldRead<std::string> charead(std::string_view search, std::string_view text,
                                 std::string_view separators = "= ");
  FieldRead<std::int32_t> numread(std::string_view search, std::string_view text, Channel& diag,
                                  std::string_view separators = "= ");
  // Counts of rows: up to 10 digits, values up to 2,147,483,647.
  FieldRead<std::int32_t> long_numread(std::string_view search, std::string_view text,
                                       Channel& diag, std::string_view separators = "= ");
  // A real value; without a point it is a whole number.
  FieldRead<float> rnumread(std::string_view search, std::string_view text, Channel& diag,
                            std::string_view separators = "= ");

 private:
  static constexpr std::size_t kShortDigits = 7;
  static constexpr std::size_t kLongDigits = 10;
  FieldRead<std::int32_t> read_integer(std::string_view search, std::string_view text,
                                       Channel& diag, std::string_view separators,
                                       std::size_t max_digits);

  std::int32_t last_integer_ = 0;
  float last_real_ = 0.0f;
};

// Decimal reading of 1 to 7 characters (not checked to be digits: the readers
// check before they call it); any other count returns `previous`.
std::int32_t number(std::string_view digits, std::int32_t previous);

}  // namespace vok
