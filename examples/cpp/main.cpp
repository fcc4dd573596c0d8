// Reads a data file of the console program (a title line, a line of
// keywords, then rows whose first two numbers are x and y), analyses x and y
// in frames of 200 rows with a VAR(1) fit and 100 bootstrap resamples, and
// prints each frame's p-values and the messages raised while analysing.
#include <vok/vok.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: vok-example DATA-FILE\n";
    return 2;
  }
  std::ifstream in(argv[1]);
  std::string line;
  std::getline(in, line);  // title
  std::getline(in, line);  // rows=..., format=...
  std::vector<float> x, y;
  while (std::getline(in, line)) {
    std::istringstream row(line);
    float a, b;
    if (row >> a >> b) {
      x.push_back(a);
      y.push_back(b);
    }
  }

  vok::Settings settings;
  settings.frame_length = 200;
  settings.exponent = 0.4f;
  settings.var_lag = 1;
  settings.resamples = 100;
  settings.false_alarm = 0.05f;
  try {
    const vok::Result result = vok::analyse(x, y, settings);
    std::printf("frame  first   last    Hxxy    Hyyx    Hxxx    Hyyy      Cx      Cy     Cxy\n");
    for (const vok::Frame& f : result.frames) {
      const vok::PerTest<float> p = f.p_values();
      std::printf("%5d %6d %6d", f.number, f.first_row, f.last_row);
      for (vok::Test t : vok::kTests) std::printf(" %7.4f%s", p[t], f.significant[t] ? "*" : " ");
      std::printf("\n");
    }
    std::printf("* below the threshold (%s):", result.bootstrapped ? "bootstrapped" : "nominal");
    for (vok::Test t : vok::kTests) std::printf(" %s %.4g", vok::name(t), result.thresholds[t]);
    std::printf("\n");
    for (const vok::Message& m : result.messages)
      std::printf("frame %d, %s: %s\n", m.frame, vok::name(m.kind), vok::describe(m).c_str());
  } catch (const vok::Error& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
  return 0;
}
