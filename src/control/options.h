// The command line. With no options the program does exactly what its control
// files say, on every processor core; the options only tune how it runs:
//
//   vok [-C DIR] [--threads N] [--seed N] [--bootstrap data|frames] [--trend n|c] [--sync]
//       [--results]
//   vok --help | --version
//
// A hidden option, --reference-kernel, computes the lag sums of the frame
// tests with the direct pass instead of the fast kernel (for benchmarks; the
// results are the same).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "control/program.h"

namespace vok {

// Exit status of a command line the program does not understand.
inline constexpr int kExitUsage = 64;

struct Options {
  enum class Action { run, help, version, refuse };
  Action action = Action::run;
  int threads = 0;        // 0: one per processor core
  std::string directory;  // "": the working directory the program was started in
  // Seed of the bootstrap's uniform stream; 0, the default, gives the
  // program's fixed stream.
  std::uint64_t seed = 0;
  // What the bootstrap's resamples go through: data (the default) tests them
  // as drawn; frames puts each through the frames' VAR fit and clipping.
  Bootstrap bootstrap = Bootstrap::data;
  // The VAR fit's constant: n (the default) fits none; c fits one.
  Trend trend = Trend::n;
  bool reference_kernel = false;
  bool sync = false;  // outputs flushed to the disk before they replace earlier files
  // Each completed run's results file beside its report, and their list.
  bool results = false;
  std::string error;  // Action::refuse: what is wrong
};

// The arguments after the program name. Options: "-C DIR" (or "--directory
// DIR", "--directory=DIR"; a relative DIR after another is taken inside it,
// as cd would), "--threads N" (or "--threads=N", N from 1 to 1024), "--seed
// N" (or "--seed=N", N from 0 to 2^64 - 1), "--bootstrap data" or
// "--bootstrap frames" (or "--bootstrap=..."), "--trend n" or "--trend c" (or
// "--trend=..."), "--help" ("-h"), "--version",
// "--sync", "--results", "--reference-kernel". Anything else is refused.
Options parse_options(std::span<const std::string_view> args);

// What the options set on an execution (seed, threads, bootstrap, trend), with the
// rest of it as `execution` gives it.
ExecutionOptions execution_options(const Options& options, ExecutionOptions execution);

// The text of --help, line by line with newlines.
std::string usage_text();
// The text of --version: "vok 1.0.0" and a newline.
std::string version_text();

// Does what the command line asks, on `out`: the usage text or the version on
// the console (status 0); a refusal on the standard error stream with a
// pointer to --help (status kExitUsage); or the settings applied to the
// program (the sums kernel, execution_options, --sync on `out`), the working
// directory changed to the -C directory (one that cannot be entered is told
// on the standard error stream, status kExitStopped, nothing written) and the
// execution run with the seed (its status). `execution` gives what the
// command line does not set (tests read the rows in small blocks).
int run_command_line(Channels& out, std::span<const std::string_view> args,
                     ExecutionOptions execution = {});

// The console program: the command line run on channels of its own, the
// console on the standard output stream.
int run_command_line(std::span<const std::string_view> args);

}  // namespace vok
