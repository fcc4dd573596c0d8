// Reading observation rows (datc and the record reader) from any data file.
//
// Input: three parameter bytes, the record format line, then the data lines
// (the two header lines are supplied here). The bytes choose the column count
// (-1 to 8), the first row (1 to 4) and the number of rows (1 to 16); the rows
// are stamped when the format holds a lowercase "a", as the run driver decides.
// The reader may stop the program (a bad format or row) or meet the end of the
// file; it must never write outside the matrix or the stamp array, and it
// reports no more rows than were asked for.
//
// A second check compares numeric fields with the C library: a field that
// strtof reads completely (digits, one point, an exponent with E) must give
// the same 32-bit value, correctly rounded.
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "input/text_file.h"
#include "data/datc.h"
#include "data/record_reader.h"
#include "data/stamp_array.h"
#include "fuzz_files.h"
#include "output/channel.h"
#include "output/failure.h"

namespace {

// A field made only of what strtof and the field reader both accept.
bool plain_number(std::string_view field) {
  if (field.empty() || field.size() > 40) return false;
  for (char c : field)
    if (!((c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == 'e' || c == 'E'))
      return false;
  return true;
}

void compare_with_strtof(std::string_view field) {
  if (!plain_number(field)) return;
  const std::string text(field);
  char* end = nullptr;
  errno = 0;
  const float expected = std::strtof(text.c_str(), &end);
  if (end != text.c_str() + text.size()) return;  // not wholly a C number
  const bool range = errno == ERANGE;
  float got = 0;
  const vok::ReadStatus s = vok::decode_real(field, 0, got);
  if (range && std::isinf(expected)) {
    if (s != vok::ReadStatus::out_of_range) {
      std::fprintf(stderr, "\"%s\": overflow not reported (status %d)\n", text.c_str(),
                   static_cast<int>(s));
      std::abort();
    }
    return;
  }
  if (s != vok::ReadStatus::ok || std::memcmp(&got, &expected, sizeof got) != 0) {
    std::fprintf(stderr, "\"%s\": read %a (status %d), strtof %a\n", text.c_str(),
                 static_cast<double>(got), static_cast<int>(s), static_cast<double>(expected));
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vok::fuzz::work_directory();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const int columns = data[0] % 10 - 1;
  const int first = 1 + data[1] % 4;
  const int last = first + data[2] % 16;
  std::string_view input(reinterpret_cast<const char*>(data) + 3, size - 3);
  const std::size_t newline = input.find('\n');
  if (newline == std::string_view::npos) return 0;
  std::string format(input.substr(0, std::min<std::size_t>(newline, 50)));
  format.resize(50, ' ');
  const std::string_view rows = input.substr(newline + 1);

  for (std::size_t at = 0; at < rows.size();) {
    std::size_t end = rows.find('\n', at);
    if (end == std::string_view::npos) end = rows.size();
    compare_with_strtof(rows.substr(at, end - at));
    at = end + 1;
  }

  std::string file = "title\nrows=9 columns=9 interval=1.0 format=(f9.1)\n";
  file.append(rows);
  vok::fuzz::write_file("rows.dat", file);

  vok::TextFile text;
  if (text.open("rows.dat") != 0) std::abort();
  const vok::DataFormat compiled = vok::DataFormat::compile(format, columns);
  const std::size_t n = static_cast<std::size_t>(last - first + 1);
  // Exactly the sizes the run driver allocates: n rows of max(columns, 0)
  // values, and n + 1 stamps with stamps (one without).
  std::vector<float> matrix(n * static_cast<std::size_t>(std::max(columns, 0)));
  vok::StampArray stamps(compiled.stamped() ? n + 1 : 1);
  vok::Channel report, console, error_file;
  report.capture();
  console.capture();
  error_file.capture();
  try {
    const int read =
        vok::datc(matrix, stamps, compiled, first, last, text, {report, console, error_file});
    if (read < 0 || static_cast<std::size_t>(read) > n) std::abort();
  } catch (const vok::Stop&) {
  }
  return 0;
}
