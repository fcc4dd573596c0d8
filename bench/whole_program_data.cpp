// Writes the data file of the whole-program benchmark: a title line, a
// keyword line and N stamped rows of three columns in the record format
// (a19,1x,3f12.5), one row a second from 1997-03-01 00:00:00.
//
//   g++ -O2 -std=c++20 -o whole_program_data bench/whole_program_data.cpp
//   ./whole_program_data path rows
//
// Column 1 is a skewed AR(1) series, column 2 an AR(1) series driven by x and,
// in every other block of 50,000 rows, by a bilinear term in past x (so that
// frames light up and the frames file fills as in real use), column 3 noise.
// The values come from a seeded generator and plain arithmetic (no library
// function whose last bit may differ between systems), so every run on every
// machine writes the same file; 100 million rows (5.7 GB) take about 10 s
// of processor time.
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// splitmix64: a small, fast generator with a fixed sequence for a seed.
class Generator {
 public:
  explicit Generator(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  // A standard normal value, near enough for benchmark data: the sum of four
  // uniform values on (-1/2, 1/2) scaled to unit variance.
  double normal() {
    double sum = 0.0;
    for (int i = 0; i < 2; ++i) {
      const std::uint64_t bits = next();
      sum += static_cast<double>(bits >> 32) + static_cast<double>(bits & 0xffffffffULL);
    }
    constexpr double kUnit = 1.0 / 4294967296.0;
    constexpr double kScale = 1.7320508075688772;  // sqrt(12 / 4)
    return (sum * kUnit - 2.0) * kScale;
  }

 private:
  std::uint64_t state_;
};

// The clock of the stamps, one second at a time.
class Stamp {
 public:
  Stamp() { render(); }
  // "YYYY-MM-DD HH:MM:SS", 19 characters.
  void write(char* out) const { std::memcpy(out, text_, 19); }
  void tick() {
    if (++second_ == 60) {
      second_ = 0;
      if (++minute_ == 60) {
        minute_ = 0;
        if (++hour_ == 24) {
          hour_ = 0;
          if (++day_ > days_in_month()) {
            day_ = 1;
            if (++month_ > 12) {
              month_ = 1;
              ++year_;
            }
          }
        }
      }
    }
    render();
  }

 private:
  int days_in_month() const {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year_ % 4 == 0 && year_ % 100 != 0) || year_ % 400 == 0;
    return kDays[month_ - 1] + (month_ == 2 && leap ? 1 : 0);
  }
  static void two_digits(int v, char* out) {
    out[0] = static_cast<char>('0' + v / 10);
    out[1] = static_cast<char>('0' + v % 10);
  }
  void render() {
    two_digits(year_ / 100, text_);
    two_digits(year_ % 100, text_ + 2);
    text_[4] = '-';
    two_digits(month_, text_ + 5);
    text_[7] = '-';
    two_digits(day_, text_ + 8);
    text_[10] = ' ';
    two_digits(hour_, text_ + 11);
    text_[13] = ':';
    two_digits(minute_, text_ + 14);
    text_[16] = ':';
    two_digits(second_, text_ + 17);
  }
  int year_ = 1997, month_ = 3, day_ = 1, hour_ = 0, minute_ = 0, second_ = 0;
  char text_[19];
};

// v as Fortran's f12.5 writes it: rounded to 5 decimals, right-justified in
// 12 characters.
void write_f12_5(double v, char* out) {
  const long long scaled = std::llround(v * 1e5);
  unsigned long long magnitude = scaled < 0 ? -scaled : scaled;
  char digits[24];
  int length = 0;
  for (int i = 0; i < 5; ++i) {
    digits[length++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  }
  digits[length++] = '.';
  do {
    digits[length++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (scaled < 0) digits[length++] = '-';
  if (length > 12) {
    std::memset(out, '*', 12);
    return;
  }
  std::memset(out, ' ', 12 - length);
  for (int i = 0; i < length; ++i) out[12 - 1 - i] = digits[i];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s path rows\n", argv[0]);
    return 2;
  }
  char* end = nullptr;
  errno = 0;
  const long long rows = std::strtoll(argv[2], &end, 10);
  if (errno != 0 || *end != '\0' || rows < 1) {
    std::fprintf(stderr, "%s: rows must be a positive number, not \"%s\"\n", argv[0], argv[2]);
    return 2;
  }
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) {
    std::fprintf(stderr, "%s: cannot write %s: %s\n", argv[0], argv[1], std::strerror(errno));
    return 1;
  }
  std::fprintf(out, "Benchmark series: skewed AR(1) x, y with bilinear stretches, noise\n");
  std::fprintf(out, "rows=%lld columns=3 interval=1.0 format=(a19,1x,3f12.5)\n", rows);

  constexpr int kRowLength = 19 + 1 + 3 * 12 + 1;
  constexpr int kRowsPerWrite = 16384;
  static char buffer[kRowLength * kRowsPerWrite];
  Generator gen(19970301);
  Stamp stamp;
  double x1 = 0.0, x2 = 0.0, y1 = 0.0;
  int buffered = 0;
  for (long long t = 0; t < rows; ++t) {
    const double e = gen.normal();
    const double x = 0.4 * x1 + 0.7 * e * std::fabs(e);
    const double bilinear = (t / 50000) % 2 == 1 ? 0.6 * x1 * x2 : 0.0;
    const double y = 0.3 * y1 + 0.2 * x1 + bilinear + gen.normal();
    const double z = gen.normal();
    char* row = buffer + static_cast<std::ptrdiff_t>(buffered) * kRowLength;
    stamp.write(row);
    row[19] = ' ';
    write_f12_5(x, row + 20);
    write_f12_5(y, row + 32);
    write_f12_5(z, row + 44);
    row[56] = '\n';
    x2 = x1;
    x1 = x;
    y1 = y;
    stamp.tick();
    if (++buffered == kRowsPerWrite) {
      std::fwrite(buffer, kRowLength, buffered, out);
      buffered = 0;
    }
  }
  std::fwrite(buffer, kRowLength, buffered, out);
  if (std::fclose(out) != 0) {
    std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
    return 1;
  }
  return 0;
}
