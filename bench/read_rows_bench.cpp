// Reading stamped data rows: 1,000,000 rows of (a19,1x,3f12.4) through datc,
// the way a run reads its data file (two columns and the stamps of frame ends
// kept). Write the data first:
//
//   python3 bench/make_read_rows_data.py /tmp/read_rows_data.txt
//   VOK_READ_ROWS_DATA=/tmp/read_rows_data.txt build/read_rows_bench
//
// The bytes per second reported are those of the whole file, over wall time;
// the first argument is the number of threads that decode rows, the second
// (BM_BlockSizes) the KiB read as one block.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "input/text_file.h"
#include "data/datc.h"
#include "output/channel.h"
#include "exec/parallel.h"

namespace {

std::string data_path() {
  const char* path = std::getenv("VOK_READ_ROWS_DATA");
  return path != nullptr ? path : "read_rows_data.txt";
}

void read_rows(benchmark::State& state, const char* format, vok::RowBatching batching = {}) {
  const std::string path = data_path();
  vok::TextFile data;
  if (data.open(path) != 0) {
    state.SkipWithError(("no data file " + path + ": run bench/make_read_rows_data.py").c_str());
    return;
  }
  const int rows = 1'000'000;
  const int columns = 3;
  // What a run keeps: two of the columns, and the stamps of the first and
  // last rows of frames of 1000.
  const int kept[] = {1, 2};
  std::vector<float> matrix(static_cast<std::size_t>(rows) * 2);
  std::vector<std::uint32_t> frame_ends;
  for (std::uint32_t s = 0; s < rows; s += 1000) frame_ends.insert(frame_ends.end(), {s, s + 999});
  vok::StampArray stamps = vok::StampArray::of_rows(std::move(frame_ends));
  const vok::DataFormat compiled = vok::DataFormat::compile(format, columns);
  vok::Channel report, console, error_file;
  report.capture();
  console.capture();
  error_file.capture();
  batching.threads = static_cast<int>(state.range(0));
  int read = 0;
  for (auto _ : state) {
    read = vok::datc(matrix, stamps, compiled, 1, rows, data, {report, console, error_file}, kept,
                     batching);
    benchmark::DoNotOptimize(matrix.data());
    benchmark::ClobberMemory();
  }
  if (read != rows) state.SkipWithError("the data file holds fewer rows than expected");
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(std::filesystem::file_size(path)));
  state.counters["rows"] = read;
}

void BM_ReadStampedRows(benchmark::State& state) {
  read_rows(state, "(a19,1x,3f12.4)");
}
BENCHMARK(BM_ReadStampedRows)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);

// The same lines with the stamp passed over by a column skip.
void BM_ReadValuesOnly(benchmark::State& state) {
  read_rows(state, "(20x,3f12.4)");
}
BENCHMARK(BM_ReadValuesOnly)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);

// Block sizes: larger blocks start fewer loops, smaller ones overlap more
// of the reading with decoding (the first block is read alone).
void BM_BlockSizes(benchmark::State& state) {
  vok::RowBatching batching;
  batching.bytes = static_cast<std::size_t>(state.range(1)) << 10;
  read_rows(state, "(a19,1x,3f12.4)", batching);
}
BENCHMARK(BM_BlockSizes)
    ->ArgsProduct({{1, 2}, {64, 256, 1024, 4096}})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
