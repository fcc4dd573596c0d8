// The whole program, in-process, on a fuzzed "Runvok.cnl", run control file and
// data file.
//
// Input: the three files separated by the line "%%": "Runvok.cnl", then
// "run.cnl", then "data.dat" (a part that is missing is not written, so a
// missing file is explored too). The seeds name run.cnl and data.dat; the
// fuzzer may rename them, or point several runs at the same file.
//
// Keeping one execution small: inputs are at most a few kilobytes (-max_len),
// so the rows actually read are few; what a header or a control file merely
// announces is bounded here before the program sees it. An input is passed over
// (not run) when the data file's header announces more than 2 million values
// (the run's arrays are allocated for what the header says before any row is
// read), or when the settings would make the frame engine or the bootstrap do
// more than about 30 million steps. A "/" in either control file is passed
// over too: it would let the program read or write outside its directory.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "control/control_files.h"
#include "input/fields.h"
#include "control/program.h"
#include "fuzz_files.h"
#include "output/channel.h"

namespace {

std::vector<std::string_view> split(std::string_view text, std::string_view separator) {
  std::vector<std::string_view> parts;
  while (true) {
    const std::size_t at = text.find(separator);
    if (at == std::string_view::npos) break;
    parts.push_back(text.substr(0, at));
    text.remove_prefix(at + separator.size());
  }
  parts.push_back(text);
  return parts;
}

std::vector<std::string> lines_of(std::string_view text) {
  std::vector<std::string> lines;
  for (std::string_view line : split(text, "\n")) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
  }
  return lines;
}

// The parameter lines of "Runvok.cnl" joined as the program joins them.
std::string joined_top(const std::vector<std::string>& lines) {
  std::string joined;
  for (std::size_t i = 0; i < lines.size() && i < 18; ++i) {
    const std::string record = vok::as_record(lines[i]);
    const std::size_t star = record.find('*');
    if (star == std::string::npos) break;
    joined += record.substr(0, star);
    if (record.find('#') != std::string::npos) break;
  }
  joined.resize(std::max<std::size_t>(joined.size(), 700), ' ');
  return joined;
}

// True when the input stays within the bounds above.
bool small_enough(std::string_view top, std::string_view data) {
  vok::Channel diag;
  diag.capture();
  vok::FieldReaders readers;

  const std::vector<std::string> data_lines = lines_of(data);
  if (data_lines.size() >= 2) {
    const std::string keywords = data_lines[1].substr(0, 120);
    const auto rows = readers.long_numread("ows", keywords, diag);
    const auto columns = readers.numread("olumns", keywords, diag);
    if (rows.error == 0 && columns.error == 0 &&
        static_cast<double>(rows.value) * std::max(columns.value, 1) > 2e6)
      return false;
  }
  const double n = static_cast<double>(data_lines.size());  // rows that can be read

  const std::vector<std::string> top_lines = lines_of(top);
  const std::string joined = joined_top(top_lines);
  const auto lw_read = readers.numread("ength", joined, diag);
  const auto exponent = readers.rnumread("onent", joined, diag);
  const auto overlap = readers.numread("lap", joined, diag);
  const auto resamples = readers.numread("sample", joined, diag);
  auto var = readers.numread("R lag", joined, diag);
  if (var.error != 0) var = readers.numread("r lag", joined, diag);
  const double lw = lw_read.value;
  if (lw_read.error != 0 || lw < 12 || lw > n) return true;  // no frame: cheap
  const double e = std::clamp(static_cast<double>(exponent.value), 0.0, 0.5);
  const double lg = std::round(std::pow(lw, e));
  const double M = lg * (2 * lg + 1);
  const double ov = overlap.value;
  const double frames = ov > 0 ? (n - lw) / ov + 1 : n / lw;
  const double q = 2.0 * std::clamp(static_cast<double>(var.value), 0.0, lw / 2);
  // Besides the lag sums and the VAR fit, each frame and each resample has a
  // fixed cost (work arrays, statistics, report lines) of some thousand steps.
  const double per_frame = lw * M + lw * q * q + q * q * q + lw * lg + 5000;
  const double bootstrap = std::max(resamples.value, 0) * (lw * M + 2 * lw + 2000);
  const double runs = static_cast<double>(top_lines.size());
  return runs * (frames * per_frame + bootstrap) <= 3e7;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vok::fuzz::work_directory();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(bytes), size);
  const std::vector<std::string_view> parts = split(input, "\n%%\n");
  if (parts.size() > 3) return 0;
  const std::string_view top = parts[0];
  const std::string_view run = parts.size() > 1 ? parts[1] : std::string_view();
  const std::string_view data = parts.size() > 2 ? parts[2] : std::string_view();
  if (top.find('/') != std::string_view::npos || run.find('/') != std::string_view::npos) return 0;
  if (!small_enough(top, data)) return 0;

  vok::fuzz::clear_work_directory();
  vok::fuzz::write_file("Runvok.cnl", top);
  if (parts.size() > 1) vok::fuzz::write_file("run.cnl", run);
  if (parts.size() > 2) vok::fuzz::write_file("data.dat", data);

  vok::CapturedChannels captured;
  const int status = vok::run_program(captured.all());
  if (status < 0 || status > 2) std::abort();
  return 0;
}
