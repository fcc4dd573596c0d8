// Output channels: named sinks of lines. A channel writes to a file, to one of
// the process's standard streams, or into memory (for tests, and for work that
// is computed ahead and written later in order).
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "output/free_format.h"
#include "output/layout.h"

namespace vok {

struct Channels;

class Channel {
 public:
  // A channel of its own: a write error only marks it failed, and a file
  // closed complete is renamed over its name at once.
  explicit Channel(std::string name = {}) : name_(std::move(name)) {}
  // A channel of `owner`: its first write error is reported and counted by
  // the owner (Channels::report_write_error), and a file closed complete is
  // staged with the owner (Channels::take_staged), flushed to the disk first
  // when the owner's sync_outputs is on.
  Channel(std::string name, Channels& owner) : name_(std::move(name)), owner_(&owner) {}
  ~Channel();
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;

  // Writes a file whole: under a temporary name beside `path` until the
  // channel is closed, when the complete file is staged with the owner (or,
  // without one, renamed over `path`); a file that could not be written whole
  // is removed instead. Returns 0 on success or the system's error number; a
  // channel already open is closed first. A file that cannot be opened keeps
  // its path and error number, for the message about it.
  int open_file(const std::string& path);
  // Renames a copy of what a file channel holds so far over its name, the
  // channel staying open. Returns the bytes committed, or minus the
  // system's error number.
  long long commit_so_far();
  // The open file's descriptor and temporary name (-1 and "" otherwise).
  int descriptor() const;
  const std::string& temporary_path() const { return temporary_path_; }
  // Closes a file without staging it: the temporary file is removed.
  void discard();
  // Writes to a standard stream that the channel does not own.
  void attach(std::FILE* stream);
  // Keeps everything written in memory; text() returns it.
  void capture();
  // Flushes and closes; true when every write and the close succeeded.
  bool close();
  bool flush();

  bool is_open() const { return mode_ != Mode::closed; }
  // True when the channel writes to a standard stream that is a terminal
  // (not a file, a pipe or memory).
  bool is_terminal() const;
  // True once any write to this channel failed (a full device, say). The
  // first failure of a channel is reported by its owner (see
  // Channels::report_write_error).
  bool failed() const { return failed_; }
  const std::string& name() const { return name_; }
  const std::string& path() const { return path_; }
  // The system's error number of the first failed write (0: none known).
  int error_number() const { return error_number_; }
  // Captured text (memory channels).
  const std::string& text() const { return buffer_; }
  void clear_text() { buffer_.clear(); }

  // Writes one line; a newline is added. Writing to a closed channel does
  // nothing.
  void line(std::string_view text);
  // Writes the lines of a layout applied to values.
  void write(const Layout& layout, std::span<const Value> values);
  void write(const Layout& layout, std::initializer_list<Value> values = {}) {
    write(layout, std::span<const Value>(values.begin(), values.size()));
  }
  // Writes a free-format line.
  void write_free(std::initializer_list<Value> items) {
    line(free_format(std::span<const Value>(items.begin(), items.size())));
  }
  void write_free(std::span<const Value> items) { line(free_format(items)); }
  // Appends text that already holds whole lines (with their newlines).
  void append(std::string_view lines);

 private:
  enum class Mode { closed, file, stream, memory };
  void put(std::string_view bytes);
  void fail();
  // A file closed complete: staged with the owner, or renamed into place.
  void finish_file();

  std::string name_;
  Channels* owner_ = nullptr;
  std::string path_;
  Mode mode_ = Mode::closed;
  std::FILE* file_ = nullptr;
  std::string temporary_path_;  // of a file channel
  std::string buffer_;
  bool failed_ = false;
  int error_number_ = 0;
  bool reported_ = false;
};

// Several channels that take the same lines: the one way to send a message
// to more than one channel. Each call writes to every member in the order
// given, so each channel receives the message as a single channel would.
//
//   const ChannelGroup both{&console, &error_file};
//   both.write_free({"VAR parameter ", p, " < 0"});
//   both.each([&](Channel& ch) { ch.write(kHeading); ch.write_free({...}); });
//
// A single channel converts to a group of one, so a routine that takes a
// group can be handed one channel.
class ChannelGroup {
 public:
  static constexpr std::size_t kMaxMembers = 8;

  // Throws std::length_error beyond kMaxMembers.
  ChannelGroup(std::initializer_list<Channel*> members);
  ChannelGroup(Channel& only) : ChannelGroup({&only}) {}

  void line(std::string_view text) const;
  void write(const Layout& layout, std::span<const Value> values) const;
  void write(const Layout& layout, std::initializer_list<Value> values = {}) const {
    write(layout, std::span<const Value>(values.begin(), values.size()));
  }
  void write_free(std::initializer_list<Value> items) const {
    write_free(std::span<const Value>(items.begin(), items.size()));
  }
  void write_free(std::span<const Value> items) const;
  void append(std::string_view lines) const;
  // A message of several lines, written by `write` on each member in turn.
  template <typename Write>
  void each(Write&& write) const {
    for (std::size_t i = 0; i < size_; ++i) write(*members_[i]);
  }

 private:
  std::array<Channel*, kMaxMembers> members_{};
  std::size_t size_ = 0;
};

// The same lines on each channel of `targets` in turn, written by `write`:
// targets.each(write) for a list of channels named in place, as in
//   to_each({&console, &error_file}, [&](Channel& ch) { ... });
template <typename Write>
void to_each(const ChannelGroup& targets, Write&& write) {
  targets.each(write);
}

// The output channels of one execution of the program, owned by its entry
// (run_command_line) and handed to what writes. Each channel knows its
// owner, so a Channels object stays where it was made: it is neither
// copied nor moved. The console and standard error start closed.
struct Channels {
  Channels() = default;
  // Removes the temporary files of the files still open or staged: what was
  // not committed (close_all) is not written.
  ~Channels();
  Channels(const Channels&) = delete;
  Channels& operator=(const Channels&) = delete;

  // The console on the standard output stream, standard error on its own.
  void attach_standard_streams();

  Channel console{"console", *this};
  Channel standard_error{"standard error", *this};
  Channel error_file{"Vok-error.out", *this};
  Channel report{"report", *this};
  Channel graph{"graph file", *this};
  Channel frames{"frames file", *this};
  Channel xy_graph{"xy graph file", *this};

  // Flushes the standard streams, then flushes and closes every file channel,
  // the error file last. Returns false when any channel saw a write error
  // since the last reset_write_errors(), on a file since replaced included.
  bool close_all();
  // True when any channel saw a write error.
  bool any_failed() const;

  // A write to `failed` failed: " **** Error writing file " and its name go
  // to the console and the error file (not to the failed channel itself),
  // then " at " the file (or the channel's name) ": " and the system's
  // reason, and the failure is counted; a failure of a run's file (not the
  // console, standard error or the error file) also as an output failure.
  void report_write_error(const Channel& failed);
  // The same lines for an output file that could not be committed.
  void report_write_error(const std::string& path, int error_number);

  // Files written whole and closed, waiting to be renamed over their names.
  struct Staged {
    std::string temporary_path, path;
  };
  void stage(Staged file) { staged_.push_back(std::move(file)); }
  std::vector<Staged> take_staged() { return std::exchange(staged_, {}); }
  int write_errors() const { return write_errors_; }
  // The failures among them of the runs' output files: a run that sees one
  // commits none of its files.
  int output_errors() const { return output_errors_; }
  // Every file is flushed to the disk (fsync) before it is staged: it then
  // survives a power loss once renamed. Off, a rename still replaces the
  // earlier file whole for every reader and after the program's own end.
  bool sync_outputs = false;
  void reset_write_errors() { write_errors_ = output_errors_ = 0; }

 private:
  int write_errors_ = 0;
  int output_errors_ = 0;
  std::vector<Staged> staged_;
};

// The detail line after a message about a file: "at " file ": " and the
// system's reason for `error_number` (written as a free-format line).
std::string file_error_line(const std::string& path, int error_number);

// For tests: a program's channels whose console and standard error stream
// are kept in memory; every file channel is closed (and its file committed)
// when it ends. Hand all() to the code under test.
class CapturedChannels {
 public:
  CapturedChannels();
  ~CapturedChannels();
  CapturedChannels(const CapturedChannels&) = delete;
  CapturedChannels& operator=(const CapturedChannels&) = delete;
  Channels& all() { return channels_; }
  std::string console() const { return channels_.console.text(); }
  std::string standard_error() const { return channels_.standard_error.text(); }

 private:
  Channels channels_;
};

}  // namespace vok
