#include "vok_plot.h"

#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

#include "plot_input.h"
#include "plot_script.h"
#include "run_page.h"

extern char** environ;

namespace vok::plot {

namespace {

constexpr std::string_view kUsageText =
    "usage: vok-plot NAME\n"
    "       vok-plot --html NAME\n"
    "       vok-plot --help | --version\n"
    "\n"
    "Draws the results of a vok run with gnuplot. NAME is the run's report name\n"
    "without \".out\", for example runA_1-_2 (the run of runA.cnl on columns 1 and 2,\n"
    "with graphing=yes). vok-plot reads NAME.graph, the run's xy graph file\n"
    "(runA-xy.graph) and the thresholds in NAME.out, and writes beside them:\n"
    "  NAME-pvalues.png, NAME-pvalues.svg  p-values 1 - P of the seven tests by frame\n"
    "                                      (or by the frames' start stamps), log scale\n"
    "  NAME-xy.png, NAME-xy.svg            cross-correlations by frame and lag s;\n"
    "                                      rxy(s) pairs x(t+s) with y(t), so s > 0:\n"
    "                                      y leads x, s < 0: x leads y\n"
    "\n"
    "The significant frames (circled, and counted in the key) are those the run\n"
    "judged significant, read from its frame table NAME.csv when that stands\n"
    "beside NAME.graph. Without it (or when it belongs to another run) they are\n"
    "judged from the graph file's CDF values, written to four decimals, against\n"
    "the report's thresholds: a frame whose p-value lies within 0.00005 of its\n"
    "threshold may then be judged otherwise than the run judged it.\n"
    "\n"
    "With --html, vok-plot writes instead NAME.html, the run's page: one file\n"
    "that needs nothing else (open it in any browser) showing the run's settings,\n"
    "thresholds and significant frames, the cautions, the p-values by frame, the\n"
    "cross-correlation map and the frame table, sortable by any column. It reads\n"
    "NAME.out and the frame table NAME.csv, and when they are there the results\n"
    "file NAME.json (vok --results: its 64-bit p-values, settings, cross-\n"
    "correlations and cautions) and the xy graph file. It needs no gnuplot.\n"
    "\n"
    "Options:\n"
    "  --html     write the run's page NAME.html\n"
    "  --help     show this text and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "Exit status: 0 done, 1 an input file is missing or malformed (or the page\n"
    "cannot be written), 2 wrong arguments, 3 gnuplot is missing or failed.\n";

bool is_executable(const std::string& file) {
  struct stat st;
  return ::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(file.c_str(), X_OK) == 0;
}

// A private directory for the script and its data, removed when done.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vok-plot-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~ScratchDirectory() {
    if (path_.empty() || keep_) return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  bool ok() const { return !path_.empty(); }
  std::string file(const char* name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }
  void keep() { keep_ = true; }

 private:
  std::string path_;
  bool keep_ = false;
};

bool write_text(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  return static_cast<bool>(out.flush());
}

// Runs gnuplot on the script; returns its exit status, or -1 when it could
// not be started.
int run_gnuplot(const std::string& gnuplot, const std::string& script) {
  std::string arg0 = "gnuplot";
  std::string arg1 = script;
  char* argv[] = {arg0.data(), arg1.data(), nullptr};
  pid_t pid;
  if (::posix_spawn(&pid, gnuplot.c_str(), nullptr, nullptr, argv, environ) != 0) return -1;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

bool written(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec) && std::filesystem::file_size(path, ec) > 0;
}

// Writes NAME.html from the run's files; returns the exit status.
int write_run_page(const std::string& name, std::ostream& out, std::ostream& err) {
  RunPage page;
  std::string html_file;
  try {
    const RunFiles files = run_files(name);
    page.title = std::filesystem::path(files.name).filename().string();
    const std::string report = read_file(files.report);
    page.head = report_head(report);
    page.thresholds = parse_thresholds(report, files.report);
    page.counts = parse_counts(report, files.report);
    page.table = parse_frames_table(read_file(files.table), files.table);
    std::error_code ec;
    const std::string results = files.name + ".json";
    if (std::filesystem::exists(results, ec)) {
      try {
        page.results = parse_json(read_file(results));
      } catch (const std::runtime_error& e) {
        if (dynamic_cast<const InputError*>(&e) != nullptr) throw;
        throw InputError(results + ": not a results file (" + e.what() + ")");
      }
      const JsonValue* frames = page.results->find("frames");
      if (frames == nullptr || frames->items.size() != page.table.frames.size())
        err << "vok-plot: warning: " << results << " does not match " << files.table
            << " (other frames); its p-values and cross-correlations are not shown\n";
    }
    if (std::filesystem::exists(files.xy_graph, ec))
      page.xy = parse_xy_graph(read_file(files.xy_graph), files.xy_graph);
    html_file = files.name + ".html";
  } catch (const InputError& e) {
    err << "vok-plot: " << e.what() << "\n";
    return kBadInput;
  }
  if (!write_text(html_file, run_page_html(page))) {
    err << "vok-plot: cannot write " << html_file << ": " << std::strerror(errno) << "\n";
    return kBadInput;
  }
  out << html_file << "\n";
  return kDone;
}

}  // namespace

std::string version_text() {
  return "vok-plot " VOK_VERSION "\n";
}

std::string find_program(std::string_view name, std::string_view path) {
  std::size_t begin = 0;
  while (begin <= path.size()) {
    std::size_t end = path.find(':', begin);
    if (end == std::string_view::npos) end = path.size();
    std::string file(path.substr(begin, end - begin));
    if (file.empty()) file.push_back('.');  // an empty entry is the working directory
    file += '/';
    file += name;
    if (is_executable(file)) return file;
    begin = end + 1;
  }
  return {};
}

int run_vok_plot(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                 std::string_view path) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    out << kUsageText;
    return kDone;
  }
  if (args.size() == 1 && args[0] == "--version") {
    out << version_text();
    return kDone;
  }
  if (args.size() == 2 && args[0] == "--html" && !args[1].empty() && !args[1].starts_with("-"))
    return write_run_page(args[1], out, err);
  if (args.size() != 1 || args[0].empty() || args[0].starts_with("-")) {
    err << kUsageText;
    return kUsage;
  }

  PlotJob job;
  try {
    const RunFiles files = run_files(args[0]);
    job.title = std::filesystem::path(files.name).filename().string();
    job.graph = parse_graph(read_file(files.graph), files.graph);
    job.xy = parse_xy_graph(read_file(files.xy_graph), files.xy_graph);
    job.thresholds = parse_thresholds(read_file(files.report), files.report);
    job.significant = significance_from_graph(job.graph, job.thresholds);
    std::error_code ec;
    if (std::filesystem::exists(files.table, ec)) {
      const FramesTable table = parse_frames_table(read_file(files.table), files.table);
      if (std::optional<Significance> judged = significance_from_table(table, job.graph))
        job.significant = std::move(*judged);
      else
        err << "vok-plot: warning: " << files.table << " does not match " << files.graph
            << " (other CDF values or frames); the significant frames are judged from the "
               "graph file's four decimals\n";
    }
    if (!job.graph.has_captions)
      err << "vok-plot: warning: " << files.graph
          << " ends without its caption lines; the run may not have finished\n";
    if (job.xy.records.size() != job.graph.frames.size())
      err << "vok-plot: warning: " << files.xy_graph << " has " << job.xy.records.size()
          << " frames, " << files.graph << " has " << job.graph.frames.size()
          << "; the xy graph file may come from another run of the same control file\n";
    job.pvalues_png = files.name + "-pvalues.png";
    job.pvalues_svg = files.name + "-pvalues.svg";
    job.xy_png = files.name + "-xy.png";
    job.xy_svg = files.name + "-xy.svg";
  } catch (const InputError& e) {
    err << "vok-plot: " << e.what() << "\n";
    return kBadInput;
  }

  const std::string gnuplot = find_program("gnuplot", path);
  if (gnuplot.empty()) {
    err << "vok-plot: gnuplot not found; install it with: apt-get install gnuplot-nox\n";
    return kNoGnuplot;
  }

  ScratchDirectory scratch;
  if (!scratch.ok()) {
    err << "vok-plot: cannot make a temporary directory: " << std::strerror(errno) << "\n";
    return kNoGnuplot;
  }
  const std::string pvalues = scratch.file("pvalues.dat");
  const std::string xy = scratch.file("xy.dat");
  const std::string script = scratch.file("plot.gp");
  if (!write_text(pvalues, pvalue_data(job.graph, job.significant)) ||
      !write_text(xy, xy_data(job.xy)) || !write_text(script, gnuplot_script(job, pvalues, xy))) {
    err << "vok-plot: cannot write in " << scratch.path() << "\n";
    return kNoGnuplot;
  }
  const int status = run_gnuplot(gnuplot, script);
  if (status != 0) {
    scratch.keep();
    err << "vok-plot: " << gnuplot
        << (status < 0 ? " could not be started" : " failed with status " + std::to_string(status))
        << "; its script and data are kept in " << scratch.path() << "\n";
    return kNoGnuplot;
  }
  for (const std::string* file : {&job.pvalues_png, &job.pvalues_svg, &job.xy_png, &job.xy_svg}) {
    if (!written(*file)) {
      scratch.keep();
      err << "vok-plot: gnuplot did not write " << *file << "; its script and data are kept in "
          << scratch.path() << "\n";
      return kNoGnuplot;
    }
    out << *file << "\n";
  }
  return kDone;
}

}  // namespace vok::plot
