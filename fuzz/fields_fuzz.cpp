// The keyword field readers on any text.
//
// Input: the search text, a newline, then the text searched. A first byte
// '\x01' instead asks for separators of its own: the next two bytes are the
// assignment mark and the terminator. Besides "no crash", the readers must keep
// their promises: error numbers 0 to 5, a position inside the searched text, a
// text value of exactly 50 characters, and no range message without error 4
// (integers) or 5 (reals).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "text/fields.h"
#include "output/channel.h"

namespace {

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "field reader broke its promise: %s\n", what);
    std::abort();
  }
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

  const auto i = readers.numread(search, text, diag, separators);
  check_common(i);
  check(i.error != 5, "numread uses error numbers up to 4");
  check(diag.text().empty() == (i.error != 4), "range message exactly with error 4");
  diag.clear_text();

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
