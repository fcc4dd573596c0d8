#include "control/program.h"

#include <exception>
#include <string>
#include <utility>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <set>
#include <vector>

#include "control/control_files.h"
#include "control/folder_locks.h"
#include "control/interruption.h"
#include "output/whole_files.h"
#include "report/results_file.h"
#include "control/run_driver.h"
#include "control/clock.h"
#include "output/channel.h"
#include "output/failure.h"
#include "output/free_format.h"
#include "exec/parallel.h"

namespace vok {
namespace {

// The line a person at a terminal sees after each completed run: where the
// report went and how many frames each test found significant.
std::string summary_line(const RunOutcome& run) {
  std::string line = "Report written: " + escaped_text(run.report) + "; significant frames of " +
                     std::to_string(run.frames) + " by test:";
  const char* separator = " ";
  for (Test test : kColumnOrder) {
    line += separator;
    line += name(test);
    line += ' ' + std::to_string(run.counts[test]);
    separator = ", ";
  }
  return line;
}

// The percent of a caution's frames that show it, to one decimal.
std::string share_text(const Caution& c) {
  const double share = c.frames > 0 ? 100.0 * c.count / c.frames : 0.0;
  std::string text = std::to_string(static_cast<long long>(std::lround(share * 10.0)));
  if (text.size() < 2) text = "0" + text;
  const char tenths = text.back();
  text.pop_back();
  return text + '.' + tenths + '%';
}

// What a person at a terminal is told after a run, one line per caution of
// the analysis: changing variance (in x and y together) and clipping with a
// bootstrap of the unclipped data in the settings of this program, the
// others as the library words them.
std::vector<std::string> caution_lines(const RunOutcome& run) {
  std::vector<std::string> lines;
  std::string variance;
  for (const Caution& c : run.cautions) {
    if (c.kind == CautionKind::changing_variance) {
      variance += variance.empty() ? "Changing variance: McLeod-Li significant in " : " and ";
      variance += share_text(c) + " of the frames of " + c.series;
    }
  }
  if (!variance.empty())
    lines.push_back(variance +
                    "; the bicorrelation tests fire on changing variance alone: clip the series "
                    "to tell (a line clip data in the run control file)");
  for (const Caution& c : run.cautions) {
    if (c.kind == CautionKind::changing_variance) continue;
    if (c.kind == CautionKind::clip_data_bootstrap)
      lines.push_back(
          "Clipped series with a bootstrap of the unclipped data: its thresholds belong to other "
          "statistics; run with --bootstrap frames");
    else
      lines.push_back("Caution: " + c.message);
  }
  return lines;
}

// The key of an output's name in the set of files an execution wrote: the
// same file by any name a run gives it ("./a.out", "a.out").
std::string written_key(const std::string& path) {
  std::error_code ignored;
  const std::filesystem::path absolute = std::filesystem::absolute(path, ignored);
  return (absolute.empty() ? std::filesystem::path(path) : absolute).lexically_normal().string();
}

// The end of a run, completed or stopped: its files replace those of an
// earlier execution together, and the files of its set that this execution
// did not write go, so that the folder holds one execution's outputs; the
// error file as it stands is committed with them. A run that could not
// write a file whole commits nothing: the earlier files stay as they were.
// Returns false then.
bool commit_run(Execution& execution, int output_errors_before, std::set<std::string>& written,
                Channels& all) {
  for (Channel* c : {&all.report, &all.graph, &all.frames, &all.xy_graph}) c->close();
  const std::vector<Channels::Staged> staged = all.take_staged();
  const std::vector<std::string> set = std::exchange(execution.output_set, {});
  const CommitSection section;
  // The error file as it stands goes with every run's end, whatever the run
  // committed: it tells of this execution's runs alone.
  struct CommitErrorFile {
    Channel& errors;
    ~CommitErrorFile() {
      if (const long long committed = errors.commit_so_far(); committed >= 0)
        note_error_file(errors.descriptor(), errors.temporary_path().c_str(),
                        errors.path().c_str(), committed);
    }
  } commit_error_file{all.error_file};
  if (all.output_errors() != output_errors_before) {
    for (const Channels::Staged& s : staged) discard_temporary(s.temporary_path);
    return false;
  }
  for (const Channels::Staged& s : staged) {
    if (const int error = commit_temporary(s.temporary_path, s.path); error != 0)
      all.report_write_error(s.path, error);
    written.insert(written_key(s.path));
  }
  for (const std::string& name : set) {
    struct stat info;
    if (!written.contains(written_key(name)) && ::lstat(name.c_str(), &info) == 0 &&
        !S_ISDIR(info.st_mode))
      ::unlink(name.c_str());
  }
  return all.output_errors() == output_errors_before;
}

// The list of the results files the execution's runs wrote, committed at
// once (the runs' own files are committed already).
void write_results_index(const std::vector<std::string>& results_files, Channels& all) {
  Channel index(kResultsIndexName, all);
  if (index.open_file(index.name()) != 0) {
    all.report_write_error(index);
    return;
  }
  index.append(results_index_json(results_files));
  index.close();
  const CommitSection section;
  for (const Channels::Staged& s : all.take_staged())
    if (const int error = commit_temporary(s.temporary_path, s.path); error != 0)
      all.report_write_error(s.path, error);
}

}  // namespace

int run_program(Channels& out, const ExecutionOptions& options) {
  int status = kExitCompleted;
  out.reset_write_errors();
  FolderLocks folders;
  if (!folders.take("")) {
    const std::string line = "Another vok is running in " + escaped_text(folder_of("Runvok.cnl"));
    out.console.line(line);
    out.standard_error.line(line);
    out.console.flush();
    out.standard_error.flush();
    return kExitStopped;
  }
  std::vector<std::string> results_files;
  // The outputs this execution committed, which no later run of it removes.
  std::set<std::string> written;
  // The analysis's threads start while the control files are read.
  start_threads(options.threads > 0 ? options.threads : processor_count());
  try {
    const ControlChannels control{out.console, out.error_file};
    create_error_file(control);
    Execution execution(options.seed,
                        options.threads > 0 ? options.threads : processor_count());
    execution.bootstrap = options.bootstrap;
    execution.trend = options.trend;
    execution.kernel = options.kernel;
    execution.results_file = options.results_file;
    execution.row_batching = options.row_batching;
    execution.folders = &folders;
    TopControlFile top(control);
    const SharedSettings shared = top.read(execution.readers);
    execution.shared_source = top.source();
    // Every run's closing stamp counts processor time from here.
    execution.start_time = processor_time();
    bool run_ended = false;
    // Only a person at a terminal gets a summary line: redirected or piped,
    // the console holds exactly the program's own lines.
    const bool terminal = out.console.is_terminal();
    for (int run = 1; run <= shared.runs; ++run) {
      set_run_in_progress(run);
      const std::string name = top.next_run_name(run);
      execution.run_name_line = top.name_line();
      const int output_errors_before = out.output_errors();
      try {
        const RunOutcome summary = run_driver(name, shared, run, execution, out);
        // An output that could not be written ends its run as one that
        // ends early does: nothing of it is committed, the next run follows.
        if (!commit_run(execution, output_errors_before, written, out)) {
          run_ended = true;
          continue;
        }
        if (options.results_file) results_files.push_back(results_file_name(summary.report));
        if (terminal) {
          out.console.line(summary_line(summary));
          for (const std::string& line : caution_lines(summary)) out.console.line(line);
        }
      } catch (const RunEnded&) {
        commit_run(execution, output_errors_before, written, out);
        run_ended = true;
      } catch (...) {
        commit_run(execution, output_errors_before, written, out);
        throw;
      }
    }
    status = run_ended ? kExitRunEnded : kExitCompleted;
  } catch (const Stop& stop) {
    status = stop.status();
  } catch (const std::exception& e) {
    // Nothing should get here; if something does, say so instead of aborting.
    ChannelGroup{&out.console, &out.error_file}.write_free({"**** Internal error:", e.what()});
    status = kExitStopped;
  }
  const int output_errors = out.output_errors();
  if (options.results_file) write_results_index(results_files, out);
  if (out.output_errors() != output_errors && status == kExitCompleted) status = kExitRunEnded;
  forget_error_file();
  // The console or the error file that could not be written is a failure
  // whatever the runs did (a run's own files end only that run). The run
  // files are closed before the error file, which reports their failures.
  const int before_close = out.output_errors();
  const bool closed = out.close_all();
  if (!closed && out.write_errors() - out.output_errors() > 0) status = kExitStopped;
  if (out.output_errors() != before_close && status == kExitCompleted) status = kExitRunEnded;
  return status;
}

int run_program_in(Channels& out, const std::string& directory, int threads,
                   const ExecutionOptions& options) {
  // Restores the working directory, however the execution ends.
  struct Restore {
    std::filesystem::path directory = std::filesystem::current_path();
    ~Restore() {
      std::error_code ignored;
      std::filesystem::current_path(directory, ignored);
    }
  } restore;
  std::filesystem::current_path(directory);
  ExecutionOptions with_threads = options;
  with_threads.threads = threads;
  return run_program(out, with_threads);
}

}  // namespace vok
