#include "control/options.h"

#include <charconv>
#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>

#include "control/program.h"
#include "frames/covxy.h"
#include "output/channel.h"
#include "output/failure.h"
#include "output/free_format.h"
#include "vok/version.h"

namespace vok {
namespace {

constexpr int kMaxThreads = 1024;

Options refuse(std::string error) {
  Options o;
  o.action = Options::Action::refuse;
  o.error = std::move(error);
  return o;
}

// A thread count: a whole decimal number from 1 to kMaxThreads, nothing else.
bool read_threads(std::string_view text, int& threads) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return false;
  if (value < 1 || value > kMaxThreads) return false;
  threads = value;
  return true;
}

// A seed: a whole decimal number from 0 to 2^64 - 1, nothing else.
bool read_seed(std::string_view text, std::uint64_t& seed) {
  std::uint64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return false;
  seed = value;
  return true;
}

// The value of an option spelt `name VALUE` or `name=VALUE` (the latter only
// for long names): false when args[i] is not that option.
bool option_value(std::span<const std::string_view> args, std::size_t& i, std::string_view name,
                  std::optional<std::string_view>& value) {
  const std::string_view arg = args[i];
  if (arg == name) {
    value.reset();
    if (i + 1 < args.size()) value = args[++i];
    return true;
  }
  if (name.starts_with("--") && arg.starts_with(name) && arg.size() > name.size() &&
      arg[name.size()] == '=') {
    value = arg.substr(name.size() + 1);
    return true;
  }
  return false;
}

}  // namespace

Options parse_options(std::span<const std::string_view> args) {
  Options o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--help" || arg == "-h") {
      o.action = Options::Action::help;
      return o;
    }
    if (arg == "--version") {
      o.action = Options::Action::version;
      return o;
    }
    std::optional<std::string_view> value;
    if (arg == "--reference-kernel") {
      o.reference_kernel = true;
    } else if (arg == "--sync") {
      o.sync = true;
    } else if (arg == "--results") {
      o.results = true;
    } else if (option_value(args, i, "--threads", value)) {
      if (!value) return refuse("option --threads needs a number of threads");
      if (!read_threads(*value, o.threads))
        return refuse("--threads " + std::string(*value) + ": the number of threads must be 1 to " +
                      std::to_string(kMaxThreads));
    } else if (option_value(args, i, "-C", value) || option_value(args, i, "--directory", value)) {
      if (!value || value->empty())
        return refuse(arg.starts_with("--") ? "option --directory needs a directory"
                                            : "option -C needs a directory");
      // A relative directory after another one is found inside it; an
      // absolute one replaces it.
      o.directory = (std::filesystem::path(o.directory) / *value).string();
    } else if (option_value(args, i, "--seed", value)) {
      if (!value) return refuse("option --seed needs a number");
      if (!read_seed(*value, o.seed))
        return refuse("--seed " + std::string(*value) +
                      ": the seed must be a whole number from 0 to 18446744073709551615");
    } else if (option_value(args, i, "--bootstrap", value)) {
      if (!value) return refuse("option --bootstrap needs data or frames");
      if (!parse(*value, o.bootstrap))
        return refuse("--bootstrap " + std::string(*value) + ": must be data or frames");
    } else if (option_value(args, i, "--trend", value)) {
      if (!value) return refuse("option --trend needs n or c");
      if (*value != "n" && *value != "c")
        return refuse("--trend " + std::string(*value) + ": must be n or c");
      o.trend = parse_trend(*value);
    } else if (arg.starts_with("-")) {
      return refuse("unknown option " + std::string(arg));
    } else {
      return refuse("unexpected argument " + std::string(arg) +
                    " (the runs are named in Runvok.cnl)");
    }
  }
  return o;
}

ExecutionOptions execution_options(const Options& options, ExecutionOptions execution) {
  execution.seed = options.seed;
  execution.threads = options.threads;
  execution.bootstrap = options.bootstrap;
  execution.trend = options.trend;
  execution.kernel = options.reference_kernel ? SumsKernel::reference : SumsKernel::fast;
  execution.results_file = options.results;
  return execution;
}

std::string usage_text() {
  return "Usage: vok [-C DIR] [--threads N] [--seed N] [--bootstrap data|frames]\n"
         "           [--trend n|c] [--sync] [--results]\n"
         "Runs the tests that Runvok.cnl in the working directory describes.\n"
         "\n"
         "Options:\n"
         "  -C DIR       run in DIR, as if started there\n"
         "  --threads N  use N threads (default: one per processor core);\n"
         "               the output is the same for any N\n"
         "  --seed N     seed of the bootstrap's random stream (default 0,\n"
         "               the fixed stream: the same thresholds every time)\n"
         "  --bootstrap frames\n"
         "               put each bootstrap resample through the frames' VAR fit\n"
         "               and clipping before its tests (default: data, the\n"
         "               resamples tested as drawn)\n"
         "  --trend c    fit each frame's VAR with a constant, so that a series'\n"
         "               level does not reach the tests (default: n, no constant)\n"
         "  --sync       flush every output file to the disk before it replaces\n"
         "               the earlier one, so that it survives a power loss\n"
         "  --results    write each run's results beside its report as NAME.json\n"
         "               (every number exact) and their list as Vok-results.json\n"
         "  --help       show this text and exit\n"
         "  --version    show the version and exit\n";
}

std::string version_text() {
  return "vok " VOK_VERSION "\n";
}

int run_command_line(Channels& out, std::span<const std::string_view> args,
                     ExecutionOptions execution) {
  const Options o = parse_options(args);
  switch (o.action) {
    case Options::Action::help:
      out.console.append(usage_text());
      return out.close_all() ? kExitCompleted : kExitStopped;
    case Options::Action::version:
      out.console.append(version_text());
      return out.close_all() ? kExitCompleted : kExitStopped;
    case Options::Action::refuse:
      out.standard_error.line("vok: " + escaped_text(o.error));
      out.standard_error.line("Try 'vok --help' for the options.");
      out.close_all();
      return kExitUsage;
    case Options::Action::run:
      break;
  }
  if (!o.directory.empty()) {
    std::error_code error;
    std::filesystem::current_path(o.directory, error);
    if (error) {
      out.standard_error.line("vok: cannot change to directory " + escaped_text(o.directory) +
                              ": " + error.message());
      out.close_all();
      return kExitStopped;
    }
  }
  out.sync_outputs = o.sync;
  return run_program(out, execution_options(o, std::move(execution)));
}

int run_command_line(std::span<const std::string_view> args) {
  Channels out;
  out.attach_standard_streams();
  return run_command_line(out, args);
}

}  // namespace vok
