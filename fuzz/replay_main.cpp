// Runs a fuzz target over saved inputs, without libFuzzer: every file named on
// the command line, and every file inside each directory named, is fed once to
// LLVMFuzzerTestOneInput. Used by CI to replay the corpus under the sanitizers
// with the ordinary compiler. Prints how many inputs ran and the slowest one.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

int main(int argc, char** argv) {
  std::vector<std::filesystem::path> inputs;
  for (int i = 1; i < argc; ++i) {
    // Absolute, since a target may change the working directory.
    const std::filesystem::path arg = std::filesystem::absolute(argv[i]);
    if (std::filesystem::is_directory(arg)) {
      for (const auto& entry : std::filesystem::directory_iterator(arg))
        if (entry.is_regular_file()) inputs.push_back(entry.path());
    } else {
      inputs.push_back(arg);
    }
  }
  // A fixed order, so a failure is reproduced by the same run.
  std::sort(inputs.begin(), inputs.end());
  if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);
  double slowest = 0.0;
  std::string slowest_name;
  for (const auto& path : inputs) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "cannot read %s\n", path.c_str());
      return 2;
    }
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
    // A private copy of exactly the input's size, as libFuzzer hands it over,
    // so a read past its end is caught.
    std::vector<std::uint8_t> copy(bytes.begin(), bytes.end());
    const auto start = std::chrono::steady_clock::now();
    LLVMFuzzerTestOneInput(copy.empty() ? nullptr : copy.data(), copy.size());
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (seconds > slowest) {
      slowest = seconds;
      slowest_name = path.filename().string();
    }
  }
  std::printf("%s: %zu inputs replayed, slowest %.3f s (%s)\n",
              std::filesystem::path(argv[0]).filename().c_str(), inputs.size(), slowest,
              slowest_name.c_str());
  return 0;
}
