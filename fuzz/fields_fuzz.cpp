// The keyword field readers on any text.
//
// Input: the search text, a newline, then the text searched. A first byte
// '\x01' instead asks for separators of its own: the next two bytes are the
// assignment mark and the terminator. Besides "no crash", the readers must keep
// their promises: error numbers 0 to 5, a position inside the searched text, a
// text value of exactly 50 characters, and no range message without error 4
// (integers) or 5 (reals). What numread (and long_numread) accepts is an
// optional "-" and a run of digits, nothing else, and its value is the
// decimal reading of those characters (std::from_chars).
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "input/fields.h"
#include "output/channel.h"

namespace {

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "field reader broke its promise: %s\n", what);
    std::abort();
  }
}

// The characters an integer reader took for an accepted value: from its
// position up to the terminator, in the text as the readers see it (the first
// 700 characters, blank-padded).
void check_integer_value(const vok::FieldRead<std::int32_t>& r, std::string_view search,
                         std::string_view text, std::string_view separators,
                         std::size_t max_digits) {
  if (r.error != 0) return;
  // A few blanks past character 700 stand for what the readers see there.
  std::string window(text.substr(0, vok::kSearchLimit));
  window.resize(vok::kSearchLimit + 4, ' ');
  const char mark = separators.empty() ? ' ' : separators[0];
  const char terminator = separators.size() > 1 ? separators[1] : ' ';
  check(r.position >= 1, "an accepted value has a position");
  const std::size_t start = static_cast<std::size_t>(r.position - 1);
  // The value starts after the mark, at most two blanks and the sign.
  while (!search.empty() && search.back() == ' ') search.remove_suffix(1);
  std::size_t p = window.find(mark, window.find(search)) + 1;
  for (int i = 0; i < 2 && window[p] == ' '; ++i) ++p;
  const bool minus = window[p] == '-';
  check(p + (minus ? 1 : 0) == start, "the value starts after the mark, blanks and sign");
  const std::size_t end = window.find(terminator, start);
  check(end != std::string::npos && end > start, "an accepted value ends at its terminator");
  const std::string_view digits = std::string_view(window).substr(start, end - start);
  for (char c : digits) check(c >= '0' && c <= '9', "only digits are accepted");
  check(digits.size() <= max_digits, "no more digits than the reader takes");
  std::int64_t magnitude = -1;
  const auto parsed = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
  check(parsed.ec == std::errc{} && parsed.ptr == digits.data() + digits.size(),
        "the digits read as a decimal number");
  check(static_cast<std::int64_t>(r.value) == (minus ? -magnitude : magnitude),
        "the value is the decimal reading of its characters");
}

template <typename T>
void check_common(const vok::FieldRead<T>& r) {
  check(r.error >= 0 && r.error <= 5, "error number 0..5");
  check(r.position >= 0 && r.position <= static_cast<int>(vok::kSearchLimit) + 3,
        "position inside the searched text");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string separators = "= ";
  if (!input.empty() && input[0] == '\x01') {
    if (input.size() < 3) return 0;
    separators = std::string(input.substr(1, 2));
    input.remove_prefix(3);
  }
  const std::size_t newline = input.find('\n');
  if (newline == std::string_view::npos || newline > 20) return 0;
  const std::string_view search = input.substr(0, newline);
  const std::string_view text = input.substr(newline + 1);

  vok::Channel diag;
  diag.capture();
  vok::FieldReaders readers;

  const auto c = readers.charead(search, text, separators);
  check_common(c);
  check(c.error != 4 && c.error != 5, "charead uses error numbers up to 3");
  check(c.value.size() == 50, "text value of 50 characters");

  // Both integer readers: error numbers up to 4, the range message exactly
  // with error 4, and what they accept.
  auto check_integer_reader = [&](const vok::FieldRead<std::int32_t>& read,
                                  std::size_t max_digits) {
    check_common(read);
    check(read.error != 5, "integer readers use error numbers up to 4");
    check(diag.text().empty() == (read.error != 4), "range message exactly with error 4");
    diag.clear_text();
    check_integer_value(read, search, text, separators, max_digits);
  };
  const auto i = readers.numread(search, text, diag, separators);
  check_integer_reader(i, 7);
  vok::FieldReaders count_readers;
  check_integer_reader(count_readers.long_numread(search, text, diag, separators), 10);

  const auto r = readers.rnumread(search, text, diag, separators);
  check_common(r);
  check(diag.text().empty() == (r.error != 5), "range message exactly with error 5");
  // A value read is finite: at most 7 digits either side of the point.
  if (r.error == 0) check(std::abs(r.value) < 1e9f, "real value of at most 7+7 digits");

  // Reading again gives the same answer (the readers keep only their last value).
  const auto again = readers.numread(search, text, diag, separators);
  check(again.error == i.error && again.value == i.value && again.position == i.position,
        "numread repeatable");

  (void)vok::number(text.substr(0, 9), 0);
  return 0;
}
